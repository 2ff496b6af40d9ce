#pragma once

// The readings of the hardware monitors that Windows users run today, as
// their own formats give them, and the choice of which to publish. Parsing
// only: what fetches them is the platform's (sources_win32.cpp). Plain C++
// and Qt Core's JSON.
//
// LibreHardwareMonitor: its web server's /data.json, a tree of nodes (id,
// Text, Min, Value, Max, ImageURL, Children); hardware nodes carry a
// HardwareId ("/amdcpu/0"), sensor nodes a SensorId
// ("/amdcpu/0/temperature/2", the same from run to run), a Type and
// RawMin/RawValue/RawMax, which older versions write as text in the Windows
// user's culture with the unit glued on ("46,9 °C") and newer ones as
// numbers.
//
// HWiNFO: its shared memory, a packed little-endian header ('HWiS' while
// live, 'DEAD' once stopped; version, revision, the poll time, where the
// sensor and reading elements are, their sizes and counts, the polling
// period), then sensor elements (id, instance, names) and reading elements
// (type, the sensor's index, the reading's id, labels, unit, value, min,
// max, average). Elements are stepped through by the sizes the header gives.

#include "readings.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace hwmon {

// What a hardware monitor gave: its readings, or nothing, with why, while
// it gives none that are current.
struct SourceReadings {
    std::optional<std::vector<Reading>> readings;
    std::string why;
};

// A value as LibreHardwareMonitor writes it ("46,9 °C", "1204 RPM", "12,144
// V", "3,1 %", "NaN", ""): the number, whichever of ',' and '.' marks its
// decimals, and in `unit` what follows it. NaN for "NaN" and for nothing.
double ParseCultureValue(std::string_view text, std::string* unit);

// The readings of a /data.json body, in the tree's order, keyed by their
// SensorId, with each reading's kind from its Type and the unit the block
// carries (°F is converted to °C, GHz to MHz; a value whose unit does not
// fit its kind is left out, said in `warnings`). Its hardware's short name
// ("amdcpu") tells equal names apart.
SourceReadings ParseLibreHardwareMonitor(std::string_view json, Warnings* warnings);

inline constexpr std::uint32_t kHwinfoLive = 0x53695748; // "HWiS"
inline constexpr std::uint32_t kHwinfoDead = 0x44414544; // "DEAD"

// The readings of HWiNFO's shared memory as `bytes` hold it, keyed
// "hwinfo/SENSOR.INSTANCE/READING", or nothing while it is stopped ('DEAD')
// or its poll time (seconds since 1970) is older than five polling periods
// at `now`. A header, or an element, that does not fit the bytes makes it
// none, said so.
SourceReadings ParseHwinfo(std::string_view bytes, std::int64_t now, Warnings* warnings);

// Which readings are published: those of the chosen kinds, and those an
// include pattern names, unless an exclude pattern names them. A pattern
// ('*' any text, '?' one character) matches a reading's key or its name.
struct Choice {
    std::set<Kind> kinds = {Kind::Temperature, Kind::Fan,     Kind::Voltage,
                            Kind::Clock,       Kind::Percent, Kind::Power};
    std::vector<std::string> include;
    std::vector<std::string> exclude;
};

// "temperature,fan,voltage,clock,load,power,current,other" and the like;
// nothing, with why, for a word that names no kind.
std::optional<std::set<Kind>> ParseKinds(std::string_view text, std::string* why);

bool PatternMatches(std::string_view pattern, std::string_view text);

std::vector<Reading> Choose(const std::vector<Reading>& readings, const Choice& choice);

} // namespace hwmon
