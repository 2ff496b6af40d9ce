#pragma once

// Number-to-text conversions shared by the window, the report and the drive
// survey. They never consult the process locale: the decimal separator is
// always passed in, and digits come from std::to_chars.

#include <cstdint>
#include <string>

namespace numtext {

// Rounds to `places` decimal places (0 to 15), halves to the even neighbour,
// judged on the double's exact binary value: 0.125 gives 0.12, 0.375 gives
// 0.38, 12.5 gives 12. Values that are not finite come back unchanged.
double RoundHalfEven(double value, int places);

// The general conversion: at most 15 significant digits, trailing zeros and a
// bare separator dropped, no grouping. Magnitudes from 1E+15 up and below
// 0.0001 use the exponent form "1E+15", "1.5E-05". Zero is "0", never "-0".
// A value that is not finite gives "NaN", "Inf" or "-Inf".
std::string FormatGeneral(double value, char decimalSeparator);

// A byte count as gigabytes with one decimal place: bytes / 1024 three times,
// each step kept to 4 decimal places, then to 1 place, halves to even at every
// step, done exactly in integers. A whole number of gigabytes is written with
// ".0" whatever the separator (75.0); any other value with the separator (74,5).
std::string GigabytesText(std::uint64_t bytes, char decimalSeparator);

} // namespace numtext
