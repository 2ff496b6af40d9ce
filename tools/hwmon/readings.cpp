#include "readings.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace hwmon {

modMBMAccess::SensorSnapshot BuildSnapshot(const std::vector<Reading>& readings,
                                           Warnings* warnings) {
    modMBMAccess::SensorSnapshot snapshot{};
    if (readings.size() > modMBMAccess::kSensorCount && warnings)
        warnings->push_back(std::to_string(readings.size()) + " sensors found; only the first " +
                            std::to_string(modMBMAccess::kSensorCount) + " are published");
    for (std::size_t slot = 0; slot < readings.size() && slot < modMBMAccess::kSensorCount;
         ++slot) {
        const Reading& reading = readings[slot];
        modMBMAccess::SensorEntry& entry = snapshot.Sensors[slot];
        entry.Kind = static_cast<std::uint8_t>(reading.kind);
        const std::size_t length = std::min(reading.name.size(), modMBMAccess::kNameLength);
        if (length < reading.name.size() && warnings)
            warnings->push_back("name \"" + reading.name + "\" cut to 12 bytes: \"" +
                                reading.name.substr(0, length) + "\"");
        std::memcpy(entry.Name, reading.name.data(), length);
        entry.Current = reading.value;
    }
    return snapshot;
}

std::string ToSingleByte(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        bool valid = c >= 0xC0 && c < 0xF8 && i + extra < utf8.size();
        std::uint32_t code = c & (0x3F >> extra);
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += static_cast<char>(c);
            continue;
        }
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += extra;
    }
    return out;
}

std::vector<Reading> ParseTable(std::string_view text, Warnings* warnings) {
    std::vector<Reading> readings;
    int number = 0;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.front() == '#') continue;

        const auto gap = line.find_last_of(" \t");
        double value = 0;
        const std::string_view word = gap == std::string_view::npos ? line : line.substr(gap + 1);
        const auto parsed = std::from_chars(word.data(), word.data() + word.size(), value);
        if (gap == std::string_view::npos || parsed.ec != std::errc() ||
            parsed.ptr != word.data() + word.size() || !std::isfinite(value)) {
            if (warnings)
                warnings->push_back("line " + std::to_string(number) +
                                    ": expected \"name value\", skipped: " + std::string(line));
            continue;
        }
        std::string_view name = line.substr(0, gap);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        readings.push_back({Kind::Other, ToSingleByte(name), value});
    }
    return readings;
}

} // namespace hwmon
