#include "pairing.h"
#include "profile.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testing_support::TempDir;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(ProfileFile, SaveAndLoadRoundTripKeepingTheRestOfTheFile) {
    TempDir dir;
    const std::string file = dir.File("sub/dir/Korvid.INI"); // directories are created
    std::string error;
    const std::string value =
        pairing::JoinSensorsValue({"4", "7", "-1", "-1", "-1", "-1", "-1", "-1", "-1"});
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", value, file, &error)) << error;
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", value, file, &error)) << error;
    EXPECT_EQ(ReadFile(file), "[Korvid]\nSensors=4\\7\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\\n");
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file), value);

    WriteFile(file, "; kept\n[Other]\nkey=1\n[korvid]\nSensors=old\nExtra=2\n");
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", "new\\", file, &error));
    EXPECT_EQ(ReadFile(file), "; kept\n[Other]\nkey=1\n[korvid]\nSensors=new\\\nExtra=2\n");

    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, dir.File("missing.ini")), "");
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "dflt", 2, dir.File("missing.ini")), "df");
}

TEST(ProfileFile, FailedSaveSaysWhyAndKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    TempDir dir;
    const std::string file = dir.File("Korvid.INI");
    WriteFile(file, "[Korvid]\nSensors=1\\\n");
    ::chmod(fs::path(file).parent_path().c_str(), 0500);
    std::string error;
    EXPECT_FALSE(profile::WriteString("Korvid", "Sensors", "2\\", file, &error));
    EXPECT_NE(error.find("Korvid.INI"), std::string::npos);
    ::chmod(fs::path(file).parent_path().c_str(), 0700);
    EXPECT_EQ(ReadFile(file), "[Korvid]\nSensors=1\\\n");
}

TEST(ProfileFile, SaveIntoADirectoryThatIsAFileFails) {
    TempDir dir;
    WriteFile(dir.File("blocker"), "not a directory");
    std::string error;
    EXPECT_FALSE(
        profile::WriteString("Korvid", "Sensors", "1\\", dir.File("blocker/Korvid.INI"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(ProfileFile, HostileFilesAlwaysGiveNineRows) {
    TempDir dir;
    const std::string file = dir.File("Korvid.INI");
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 400), pick(0, 5);
    const char* pieces[] = {"[Korvid]", "Sensors=", "\\", "\n", "\r\n", "="};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int n = length(random);
        for (int i = 0; i < n; ++i)
            text += byte(random) < 64 ? std::string(pieces[pick(random)])
                                      : std::string(1, static_cast<char>(byte(random)));
        WriteFile(file, text);
        const auto rows =
            pairing::SplitSensorsValue(profile::GetString("Korvid", "Sensors", "", 99, file));
        ASSERT_EQ(rows.size(), 9u);
        std::string error;
        ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", "1\\", file, &error)) << error;
        ASSERT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file), "1\\");
    }
    WriteFile(file, "[Korvid]\nSensors=" + std::string(1 << 20, '7') + "\n");
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file).size(), 99u);
    const char binary[] = "\0\0[Korvid]\0\nSensors=3\\\n";
    WriteFile(file, std::string(binary, sizeof binary - 1));
    EXPECT_EQ(
        pairing::SplitSensorsValue(profile::GetString("Korvid", "Sensors", "", 99, file)).size(),
        9u);
}
