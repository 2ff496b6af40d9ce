#pragma once

// Sensor readings gathered for publication, and the sensor block built from them.

#include "mod_mbm_access.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hwmon {

// What a reading measures, in the unit the block carries it in.
enum class Kind : std::uint8_t {
    Other,       // a table file's reading
    Temperature, // degrees Celsius
    Voltage,     // volts
    Fan,         // revolutions per minute
    Clock,       // megahertz
    Percent,     // per cent (humidity, a load)
    Power,       // watts
    Current,     // amperes
    Energy,      // joules
};

// The entry's leading byte, as monitors of the block's format write it: 1
// temperature, 2 voltage, 3 fan, 4 MHz, 5 per cent; 0 for what the format
// has no type for (power, current, energy, a table's readings).
std::uint8_t TypeByte(Kind kind);

struct Reading {
    Kind kind = Kind::Other;
    std::string name; // single-byte text; cut to 12 bytes when published
    double value = 0; // NaN when the input faults or cannot be read
    // Stable across runs: "nvme-pci-0100/temp2" (the chip as the sensors
    // command names it, and the feature), "cpu0/clock", or a table line's
    // name. Empty: placed in order (publish-table).
    std::string key;
    std::string chip; // the chip's short name ("nvme"); empty for others
};

// Things worth telling the operator: skipped files, cut names, dropped sensors.
using Warnings = std::vector<std::string>;

// The version of the block's format that the header gives.
inline constexpr double kFormatVersion = 5.0;

// A name as an entry holds it: control characters become "?" (no display
// shows them), and it is cut to 12 bytes.
std::string PublishedName(std::string name);
// Fills an entry: its type byte, its name (at most 12 bytes, NUL-filled) and
// its reading; every other byte zero.
void PutEntry(modMBMAccess::SensorEntry& entry, Kind kind, std::string_view name, double value);

// What a table may hold: a larger table, or a longer line, is refused.
inline constexpr std::size_t kMaxTableBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxTableLine = 4096;

// The block with the readings in slots 0 onward, at most 100 of them; names
// are cut to 12 bytes and NUL-filled, control characters in them become "?",
// unused slots and fields stay zero. The header carries the format's version
// and the count of entries of each type.
modMBMAccess::SensorSnapshot BuildSnapshot(const std::vector<Reading>& readings,
                                           Warnings* warnings);

// The block's header: the format's version (a double at offset 0) and ten
// (type, count) pairs of 32-bit integers from offset 8, counting the
// entries of each type up to the last slot in use, empty slots among them
// as type 0, so that a reader that sizes its loop from the counts reads
// every entry.
void WriteHeader(modMBMAccess::SensorSnapshot& snapshot);

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
