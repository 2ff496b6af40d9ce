#pragma once

// The rules of the nine parameter rows and of the stored pairs, as plain
// text functions. Texts are single-byte (Latin-1) strings.

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
// Start asks about unpaired rows 0 to 7; row 8 (CPUSpeed) is optional.
inline constexpr int kCheckedParamRows = 8;
// Shown for a reading that is not a finite number.
inline constexpr std::string_view kNoReading = "NA";

// The report's key for a parameter row: the first five characters of its name.
std::string_view ReportKey(int row);

// The sensor slot that a List4 text names: a whole number from 0 to 99.
// Nothing for "-1" and for any text that names no sensor.
std::optional<int> SensorSlotOf(std::string_view list4Text);

// A reading as the sensor list shows it: the general number text; "NA" for a
// value that is not a finite number.
std::string SensorReadingText(double reading, char decimalSeparator);

// A reading as the refresh shows it: rounded to two places, halves to even,
// in the general number text; "NA" for a value that is not a finite number.
std::string ReadingText(double reading, char decimalSeparator);

// The stored form of the nine List4 texts: each followed by a backslash.
std::string JoinSensorsValue(const std::vector<std::string>& list4Texts);

// The nine List4 texts of a stored value: its first 99 characters up to any
// NUL, split at backslashes; items load as they stand, text after the ninth
// backslash is ignored, and missing items read as "-1".
std::vector<std::string> SplitSensorsValue(std::string_view value);

// The CPU type shown for a processor name: the name cleaned, less its first
// four characters when it starts with "AMD" (the brand and the character
// after it: "AMD Athlon", "AMD-K6"), the brand being plain from the rest.
std::string CpuTypeText(std::string_view nameStr);

} // namespace pairing
