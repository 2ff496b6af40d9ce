#include "number_text.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>

using numtext::FormatGeneral;
using numtext::GigabytesText;
using numtext::RoundHalfEven;

TEST(RoundHalfEven, SettlesExactTiesToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.125, 2), 0.12);
    EXPECT_EQ(RoundHalfEven(0.375, 2), 0.38);
    EXPECT_EQ(RoundHalfEven(12.5, 0), 12);
    EXPECT_EQ(RoundHalfEven(13.5, 0), 14);
    EXPECT_EQ(RoundHalfEven(0.25, 1), 0.2);
    EXPECT_EQ(RoundHalfEven(-3.5, 2), -3.5);
    EXPECT_EQ(RoundHalfEven(-2.5, 0), -2);
    // 2.675 is stored just below the half, so it goes down.
    EXPECT_EQ(RoundHalfEven(2.675, 2), 2.67);
    EXPECT_EQ(RoundHalfEven(1e300, 2), 1e300);
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""), 2)));
    EXPECT_EQ(RoundHalfEven(INFINITY, 2), INFINITY);
}

TEST(FormatGeneral, WritesUpToFifteenSignificantDigits) {
    struct Case {
        double value;
        const char* point;
        const char* comma;
    };
    const Case cases[] = {
        {0, "0", "0"},
        {-0.0, "0", "0"},
        {40, "40", "40"},
        {45.5, "45.5", "45,5"},
        {-3.5, "-3.5", "-3,5"},
        {2000, "2000", "2000"},
        {0.1 + 0.2, "0.3", "0,3"},
        {1.0 / 3, "0.333333333333333", "0,333333333333333"},
        {123456789012345, "123456789012345", "123456789012345"},
        {999999999999999.9, "1E+15", "1E+15"},
        {1e15, "1E+15", "1E+15"},
        {1.5e20, "1.5E+20", "1,5E+20"},
        {0.0001, "0.0001", "0,0001"},
        {0.00001, "1E-05", "1E-05"},
        {-1.25e-7, "-1.25E-07", "-1,25E-07"},
        {1e300, "1E+300", "1E+300"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324",
         "4,94065645841247E-324"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatGeneral(c.value, '.'), c.point) << c.value;
        EXPECT_EQ(FormatGeneral(c.value, ','), c.comma) << c.value;
    }
}

TEST(FormatGeneral, NonFiniteValuesGiveText) {
    EXPECT_EQ(FormatGeneral(std::nan(""), '.'), "NaN");
    EXPECT_EQ(FormatGeneral(INFINITY, '.'), "Inf");
    EXPECT_EQ(FormatGeneral(-INFINITY, '.'), "-Inf");
}

TEST(GigabytesText, RoundsEachStepAndKeepsPointZero) {
    constexpr std::uint64_t GiB = 1ull << 30;
    EXPECT_EQ(GigabytesText(2 * GiB, '.'), "2.0");
    EXPECT_EQ(GigabytesText(2 * GiB, ','), "2.0");         // whole numbers keep the point
    EXPECT_EQ(GigabytesText(GiB / 4, '.'), "0.2");         // 0.25, half to even
    EXPECT_EQ(GigabytesText(GiB / 4 * 3, '.'), "0.8");     // 0.75
    EXPECT_EQ(GigabytesText(80000000000ull, '.'), "74.5"); // 74.5058
    EXPECT_EQ(GigabytesText(80000000000ull, ','), "74,5");
    EXPECT_EQ(GigabytesText(0, '.'), "0.0");
    EXPECT_EQ(GigabytesText(GiB / 2, '.'), "0.5");
    EXPECT_EQ(GigabytesText(static_cast<std::uint64_t>(1.96 * GiB), '.'), "2.0");
    // 0.05 GiB exactly: the kept 0.0500 ties and goes to the even 0.0.
    EXPECT_EQ(GigabytesText(53687091ull + 1, '.'), "0.0");
    EXPECT_EQ(GigabytesText(UINT64_MAX, '.'), "17179869184.0");
}
