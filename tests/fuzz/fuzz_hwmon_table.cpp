// Any table file: readings are finite and the block never holds more than 100.
#include "readings.h"

#include <cmath>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hwmon::Warnings warnings;
    const auto readings =
        hwmon::ParseTable(std::string_view(reinterpret_cast<const char*>(data), size), &warnings);
    for (const auto& reading : readings)
        if (!std::isfinite(reading.value)) __builtin_trap();
    hwmon::BuildSnapshot(readings, &warnings);
    return 0;
}
