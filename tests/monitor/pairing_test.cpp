#include "pairing.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace pairing;

TEST(Pairing, OnlyWholeNumbersFrom0To99NameASensor) {
    EXPECT_EQ(SensorSlotOf("0"), 0);
    EXPECT_EQ(SensorSlotOf("99"), 99);
    EXPECT_EQ(SensorSlotOf("07"), 7);
    for (const char* text : {"-1", "100", "", "abc", "4x", " 4", "1.5", "+3", "99999999999"})
        EXPECT_FALSE(SensorSlotOf(text)) << text;
}

TEST(Pairing, ReadingsRoundToTwoPlacesAndNeverFail) {
    EXPECT_EQ(ReadingText(0.125, '.'), "0.12");
    EXPECT_EQ(ReadingText(0.375, '.'), "0.38");
    EXPECT_EQ(ReadingText(40, '.'), "40");
    EXPECT_EQ(ReadingText(-3.5, '.'), "-3.5");
    EXPECT_EQ(ReadingText(3.3125, ','), "3,31");
    EXPECT_EQ(ReadingText(-0.001, '.'), "0");
    EXPECT_EQ(ReadingText(std::nan(""), '.'), "NA");
    EXPECT_EQ(ReadingText(-INFINITY, '.'), "NA");
}

TEST(Pairing, StoredValueRoundTrips) {
    const std::vector<std::string> rows = {"4", "7", "-1", "-1", "-1", "-1", "-1", "-1", "-1"};
    const std::string value = JoinSensorsValue(rows);
    EXPECT_EQ(value, "4\\7\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\");
    EXPECT_EQ(value.size(), 25u);
    EXPECT_EQ(SplitSensorsValue(value), rows);
    EXPECT_EQ(JoinSensorsValue(std::vector<std::string>(9, "-1")).size(), 27u);
}

TEST(Pairing, StoredValuesOfAnyShapeGiveNineRows) {
    using Rows = std::vector<std::string>;
    const Rows unpaired(9, "-1");
    EXPECT_EQ(SplitSensorsValue(""), unpaired);
    EXPECT_EQ(SplitSensorsValue("1\\2\\3"),
              (Rows{"1", "2", "-1", "-1", "-1", "-1", "-1", "-1", "-1"}));
    EXPECT_EQ(SplitSensorsValue("1\\\\3\\"),
              (Rows{"1", "", "3", "-1", "-1", "-1", "-1", "-1", "-1"}));
    EXPECT_EQ(SplitSensorsValue("0\\1\\2\\3\\4\\5\\6\\7\\8\\9\\10\\"),
              (Rows{"0", "1", "2", "3", "4", "5", "6", "7", "8"}));
    // Only 99 characters are read: the ninth item's backslash lies beyond.
    std::string longValue = std::string(95, 'x') + "\\" + "a\\b\\";
    EXPECT_EQ(SplitSensorsValue(longValue)[0], std::string(95, 'x'));
    EXPECT_EQ(SplitSensorsValue(longValue)[1], "a");
    EXPECT_EQ(SplitSensorsValue(longValue)[2], "-1");
    EXPECT_EQ(SplitSensorsValue(std::string("1\\2\0\\3\\", 7))[2], "-1");
    EXPECT_EQ(SplitSensorsValue(std::string(1 << 20, '\\')).size(), 9u);
}

TEST(Pairing, CpuTypeDropsOnlyALeadingAmdWord) {
    using namespace std::string_literals;
    EXPECT_EQ(CpuTypeText("AMD Athlon(tm) XP 2400+"), "Athlon(tm) XP 2400+");
    EXPECT_EQ(CpuTypeText("AMD-K6(tm) 3D processor"), "K6(tm) 3D processor");
    EXPECT_EQ(CpuTypeText("Mobile AMD Athlon(tm)"), "Mobile AMD Athlon(tm)");
    EXPECT_EQ(CpuTypeText("amd athlon"), "amd athlon");
    EXPECT_EQ(CpuTypeText("AMD"), "AMD");
    EXPECT_EQ(CpuTypeText("  AMD Ryzen 7\0\0\0"s), "Ryzen 7");
    EXPECT_EQ(CpuTypeText(""), "");
}
