#include "ini_text.h"

#include <gtest/gtest.h>

TEST(IniText, FindsValuesAsTheProfileFunctionsDo) {
    const std::string text = "; pairs\r\n[Other]\r\nSensors=wrong\r\n"
                             "[ korvid ]\r\n  SENSORS = 1\\2\\ \r\nQuoted=\"a b\"\r\n";
    EXPECT_EQ(ini::FindValue(text, "Korvid", "Sensors"), "1\\2\\");
    EXPECT_EQ(ini::FindValue(text, "KORVID", "quoted"), "a b");
    EXPECT_EQ(ini::FindValue(text, "Korvid", "Missing"), std::nullopt);
    EXPECT_EQ(ini::FindValue(text, "Missing", "Sensors"), std::nullopt);
    EXPECT_EQ(ini::FindValue("Sensors=1\\", "Korvid", "Sensors"), std::nullopt);
    // A byte-order mark is no part of the first line; ';' starts a comment
    // only at the start of a line.
    EXPECT_EQ(ini::FindValue("\xEF\xBB\xBF[Korvid]\nAllow=1.2.3.4 ; not 5\n", "Korvid", "Allow"),
              "1.2.3.4 ; not 5");
    EXPECT_EQ(ini::FindValue("[Korvid]\n;Allow=1.2.3.4\n", "Korvid", "Allow"), std::nullopt);
}

// Which of two was meant is not guessed: the value cannot be told, and the
// problem names the lines.
TEST(IniText, ASectionOrKeyGivenTwiceIsRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"[Korvid]\nAllow=1.2.3.4\n[Other]\n[korvid]\nAllow=\n",
         "[Korvid] is there twice, on lines 1 and 4"},
        {"[Korvid]\nAllow=\nALLOW = 1.2.3.4\n",
         "Allow= in [Korvid] is there twice, on lines 2 and 3"},
        {"[Other]\nAllow=1\n[Korvid]\nAllow=2\n[Other]\nAllow=3\n", ""},
    };
    for (const auto& [text, problem] : cases) {
        std::string found;
        const auto value = ini::FindValue(text, "Korvid", "Allow", &found);
        EXPECT_EQ(found, problem) << text;
        EXPECT_EQ(value.has_value(), *problem == '\0') << text;
    }
}

TEST(IniText, SetValueTouchesOnlyItsLine) {
    const std::string text = "# top comment\n[Display]\nPort=9001\n\n[KORVID]\n; mine\n"
                             "sensors=old\nOther=keep\n[Last]\nx=1";
    EXPECT_EQ(ini::SetValue(text, "Korvid", "Sensors", "1\\2\\"),
              "# top comment\n[Display]\nPort=9001\n\n[KORVID]\n; mine\n"
              "sensors=1\\2\\\nOther=keep\n[Last]\nx=1");
    // A missing key goes after the section's last entry, a missing section at the end.
    EXPECT_EQ(ini::SetValue("[Korvid]\r\nA=1\r\n\r\n[B]\r\n", "Korvid", "Sensors", "v"),
              "[Korvid]\r\nA=1\r\nSensors=v\r\n\r\n[B]\r\n");
    EXPECT_EQ(ini::SetValue("[B]\nx=1", "Korvid", "Sensors", "v"),
              "[B]\nx=1\n[Korvid]\nSensors=v\n");
    EXPECT_EQ(ini::SetValue("", "Korvid", "Sensors", "v"), "[Korvid]\nSensors=v\n");
    EXPECT_EQ(ini::SetValue("[Korvid]", "Korvid", "Sensors", "v"), "[Korvid]\nSensors=v\n");
}
