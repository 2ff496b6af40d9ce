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

// What a table may hold: a larger table, or a longer line, is refused.
inline constexpr std::size_t kMaxTableBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxTableLine = 4096;

// The block with the readings in slots 0 onward, at most 100 of them; names
// are cut to 12 bytes and NUL-filled, control characters in them become "?",
// unused slots and fields stay zero.
modMBMAccess::SensorSnapshot BuildSnapshot(const std::vector<Reading>& readings,
                                           Warnings* warnings);

// Single-byte (Latin-1) text: a text that is well-formed UTF-8 is decoded,
// characters past U+00FF becoming "?"; any other text is taken as Latin-1
// bytes as they stand (so an overlong form never decodes to a NUL).
std::string ToSingleByte(std::string_view text);

// Latin-1 text made safe to print on a UTF-8 terminal: control characters
// and backslashes escaped ("\x1b", "\\"), letters past ASCII in UTF-8.
std::string ForTerminal(std::string_view latin1);

// The readings of a table file: one "name value" a line, the name being
// everything before the last blank-separated word. The text is decoded as
// ToSingleByte says. Blank lines and lines starting with '#' are skipped
// silently, broken lines with a warning; a line longer than kMaxTableLine
// refuses the whole table (no readings, one warning).
std::vector<Reading> ParseTable(std::string_view text, Warnings* warnings);

} // namespace hwmon
