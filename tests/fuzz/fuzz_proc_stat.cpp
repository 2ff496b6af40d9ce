// Any /proc/stat text, read twice: the load is always 0 to 100.
#include "proc_stat.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto half = text.size() / 2;
    const auto before = ParseCpuLine(text.substr(0, half));
    const auto after = ParseCpuLine(text.substr(half));
    if (before && after) {
        const auto load = BusyPercent(*before, *after);
        if (load < 0 || load > 100) __builtin_trap();
    }
    return 0;
}
