#pragma once

// The rules of the sensor list and the nine parameter rows, as plain text
// functions. Texts are single-byte (Latin-1) strings.

#include "mod_mbm_access.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pairing {

inline constexpr int kParamCount = 9;
inline constexpr std::array<std::string_view, kParamCount> kParamNames = {
    "MBoTemperature",   "CPUTemperature", "MBoFan",     "CPUFan",  "Core0 Voltage",
    "3.3-VIO Voltage)", "+5Voltage",      "+12Voltage", "CPUSpeed"};
inline constexpr std::array<std::string_view, kParamCount> kPlaceholders = {
    "NA", "NA", "-NA-", "-NA-", "NA", "NA", "NA", "-NA-", "-NA-"};
inline constexpr std::string_view kUnpaired = "-1";
// Written by SensorRowText between the name and the reading.
inline constexpr std::string_view kValueSeparator = " / ";
// Shown for a reading that is not a finite number.
inline constexpr std::string_view kNoReading = "NA";

// "No. 3: CPU / 45.5" for slot 2: the number one above the slot, the cleaned
// name, and the reading in the general number text ("NA" for a reading that
// is not a finite number).
std::string SensorRowText(int slot, const modMBMAccess::SensorEntry& entry, char decimalSeparator);

// The value text of a sensor row: what follows the row's last " / ", so that
// a sensor name holding "/" cannot bleed into it.
std::string ValueTextOfRow(std::string_view sensorRow);

// The sensor slot that a List4 text names: a whole number from 0 to 99.
// Nothing for "-1" and for any text that names no sensor.
std::optional<int> SensorSlotOf(std::string_view list4Text);

// A reading as the refresh shows it: rounded to two places, halves to even,
// in the general number text; "NA" for a value that is not a finite number.
std::string ReadingText(double reading, char decimalSeparator);

// The stored form of the nine List4 texts: each followed by a backslash.
std::string JoinSensorsValue(const std::vector<std::string>& list4Texts);

// The nine List4 texts of a stored value: its first 99 characters up to any
// NUL, split at backslashes; items load as they stand, text after the ninth
// backslash is ignored, and missing items read as "-1".
std::vector<std::string> SplitSensorsValue(std::string_view value);

// The CPU type shown for a processor name: the name cleaned, less a leading
// "AMD " (the brand is plain from the rest of the name).
std::string CpuTypeText(std::string_view nameStr);

} // namespace pairing
