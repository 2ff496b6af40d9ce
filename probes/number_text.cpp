#include "number_text.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace numtext {

double RoundHalfEven(double value, int places) {
    // Doubles of 2^53 and more are whole already; fixed notation of them
    // would only cost time.
    if (!std::isfinite(value) || std::fabs(value) >= 9007199254740992.0) return value;
    // to_chars works on the exact binary value and settles exact ties to even.
    char buf[400];
    const auto printed =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, places);
    double rounded = value;
    std::from_chars(buf, printed.ptr, rounded);
    return rounded;
}

std::string FormatGeneral(double value, char decimalSeparator) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
    if (value == 0) return "0";

    // d.dddddddddddddde±XX: exactly 15 significant digits, correctly rounded.
    char buf[48];
    const auto printed =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string_view text(buf, static_cast<std::size_t>(printed.ptr - buf));

    std::string result;
    if (text.front() == '-') {
        result = "-";
        text.remove_prefix(1);
    }
    const auto e = text.find('e');
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    exponent);
    std::string digits;
    digits += text[0];
    digits.append(text.substr(2, e - 2));
    digits.erase(digits.find_last_not_of('0') + 1);

    if (exponent >= 15 || exponent < -4) {
        result += digits[0];
        if (digits.size() > 1) {
            result += decimalSeparator;
            result.append(digits, 1);
        }
        result += exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(exponent);
        if (magnitude < 10) result += '0';
        result += std::to_string(magnitude);
    } else if (exponent < 0) {
        result += '0';
        result += decimalSeparator;
        result.append(static_cast<std::size_t>(-exponent - 1), '0');
        result += digits;
    } else {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            result += digits;
            result.append(whole - digits.size(), '0');
        } else {
            result.append(digits, 0, whole);
            result += decimalSeparator;
            result.append(digits, whole);
        }
    }
    return result;
}

namespace {

// A non-negative number with four decimal places: whole + frac / 10000.
struct Fixed4 {
    std::uint64_t whole;
    std::uint64_t frac;
};

// x / 1024 kept to four places, halves to even. The whole part is split so
// that nothing overflows for any 64-bit byte count.
Fixed4 Div1024(Fixed4 x) {
    const std::uint64_t high = x.whole / 1024;
    const std::uint64_t numerator = (x.whole % 1024) * 10000 + x.frac;
    std::uint64_t q = numerator / 1024;
    const std::uint64_t r = numerator % 1024;
    // high * 10000 is even, so the parity of the result is that of q.
    if (r > 512 || (r == 512 && (q & 1))) ++q;
    return {high + q / 10000, q % 10000};
}

} // namespace

std::string GigabytesText(std::uint64_t bytes, char decimalSeparator) {
    const Fixed4 gb = Div1024(Div1024(Div1024({bytes, 0})));
    std::uint64_t whole = gb.whole;
    std::uint64_t tenths = gb.frac / 1000;
    const std::uint64_t rest = gb.frac % 1000;
    if (rest > 500 || (rest == 500 && (tenths & 1))) ++tenths;
    if (tenths == 10) {
        ++whole;
        tenths = 0;
    }
    if (tenths == 0) return std::to_string(whole) + ".0";
    return std::to_string(whole) + decimalSeparator + static_cast<char>('0' + tenths);
}

} // namespace numtext
