#pragma once

// Sensor readings gathered for publication, and the sensor block built from them.

#include "mod_mbm_access.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hwmon {

// The leading byte of each published entry says what the reading measures.
enum class Kind : std::uint8_t {
    Other = 0,       // a table file's reading
    Temperature = 1, // degrees Celsius
    Voltage = 2,     // volts
    Fan = 3,         // revolutions per minute
    Clock = 4,       // megahertz
};

struct Reading {
    Kind kind = Kind::Other;
    std::string name; // single-byte text; cut to 12 bytes when published
    double value = 0;
};

// Things worth telling the operator: skipped files, cut names, dropped sensors.
using Warnings = std::vector<std::string>;

// The block with the readings in slots 0 onward, at most 100 of them; names
// are cut to 12 bytes and NUL-filled, unused slots and fields stay zero.
modMBMAccess::SensorSnapshot BuildSnapshot(const std::vector<Reading>& readings,
                                           Warnings* warnings);

// Single-byte text for a name read as UTF-8: characters up to U+00FF become
// their Latin-1 byte, others "?"; bytes that are not UTF-8 stay as they are.
std::string ToSingleByte(std::string_view utf8);

// The readings of a table file: one "name value" a line, the name being
// everything before the last blank-separated word. Blank lines and lines
// starting with '#' are skipped silently, broken lines with a warning.
std::vector<Reading> ParseTable(std::string_view text, Warnings* warnings);

} // namespace hwmon
