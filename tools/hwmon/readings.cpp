#include "readings.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace hwmon {

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// The number of bytes of the UTF-8 sequence at `text`, or 0 when it is not a
// well-formed one (overlong forms, surrogates and code points past U+10FFFF
// are not); `code` receives its code point.
std::size_t Utf8Sequence(std::string_view text, std::uint32_t& code) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
    code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

bool IsUtf8(std::string_view text) {
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Sequence(text.substr(i), code);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

} // namespace

std::uint8_t TypeByte(Kind kind) {
    switch (kind) {
    case Kind::Temperature:
        return 1;
    case Kind::Voltage:
        return 2;
    case Kind::Fan:
        return 3;
    case Kind::Clock:
        return 4;
    case Kind::Percent:
        return 5;
    case Kind::Other:
    case Kind::Power:
    case Kind::Current:
    case Kind::Energy:
        break;
    }
    return 0;
}

std::string PublishedName(std::string name) {
    for (char& c : name)
        if (IsControl(static_cast<unsigned char>(c))) c = '?'; // no display shows them
    name.resize(std::min(name.size(), modMBMAccess::kNameLength));
    return name;
}

void PutEntry(modMBMAccess::SensorEntry& entry, Kind kind, std::string_view name, double value) {
    entry = {};
    entry.Kind = TypeByte(kind);
    std::memcpy(entry.Name, name.data(), std::min(name.size(), modMBMAccess::kNameLength));
    entry.Current = value;
}

modMBMAccess::SensorSnapshot BuildSnapshot(const std::vector<Reading>& readings,
                                           Warnings* warnings) {
    modMBMAccess::SensorSnapshot snapshot{};
    for (std::size_t slot = 0; slot < readings.size() && slot < modMBMAccess::kSensorCount;
         ++slot) {
        const Reading& reading = readings[slot];
        const std::string name = PublishedName(reading.name);
        if (name.size() < reading.name.size() && warnings)
            warnings->push_back("name \"" + ForTerminal(reading.name) + "\" cut to 12 bytes: \"" +
                                ForTerminal(name) + "\"");
        PutEntry(snapshot.Sensors[slot], reading.kind, name, reading.value);
    }
    WriteHeader(snapshot);
    return snapshot;
}

void WriteHeader(modMBMAccess::SensorSnapshot& snapshot) {
    std::size_t used = 0;
    for (std::size_t slot = 0; slot < modMBMAccess::kSensorCount; ++slot)
        if (snapshot.Sensors[slot].Kind != 0 || snapshot.Sensors[slot].Name[0] != '\0')
            used = slot + 1;
    std::int32_t counts[6] = {};
    for (std::size_t slot = 0; slot < used; ++slot)
        ++counts[std::min<std::uint8_t>(snapshot.Sensors[slot].Kind, 5)];
    std::memset(snapshot.Leading, 0, sizeof snapshot.Leading);
    std::memcpy(snapshot.Leading, &kFormatVersion, sizeof kFormatVersion);
    // Types 1 to 5, then 0; the four pairs after them stay empty.
    for (std::size_t pair = 0; pair < 6; ++pair) {
        const auto type = static_cast<std::int32_t>((pair + 1) % 6);
        std::memcpy(snapshot.Leading + 8 + 8 * pair, &type, 4);
        std::memcpy(snapshot.Leading + 12 + 8 * pair, &counts[static_cast<std::size_t>(type)], 4);
    }
}

std::string ToSingleByte(std::string_view text) {
    if (!IsUtf8(text)) return std::string(text);
    std::string out;
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < text.size();) {
        i += Utf8Sequence(text.substr(i), code);
        out += code <= 0xFF ? static_cast<char>(code) : '?';
    }
    return out;
}

std::string ForTerminal(std::string_view latin1) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControl(byte) || byte == '\\') {
            out += byte == '\\' ? std::string("\\\\")
                                : std::string{'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        } else if (byte >= 0xA0) { // its UTF-8 form
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<Reading> ParseTable(std::string_view text, Warnings* warnings) {
    const std::string decoded = ToSingleByte(text);
    text = decoded;
    std::vector<Reading> readings;
    int number = 0;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++number;
        if (line.size() > kMaxTableLine) {
            if (warnings)
                warnings->push_back("line " + std::to_string(number) +
                                    " is longer than 4 KiB; the table is refused");
            return {};
        }
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
                                    ": expected \"name value\", skipped: " + ForTerminal(line));
            continue;
        }
        std::string_view name = line.substr(0, gap);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        readings.push_back({Kind::Other, std::string(name), value, {}, {}});
    }
    return readings;
}

} // namespace hwmon
