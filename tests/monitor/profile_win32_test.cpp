#include "pairing.h"
#include "profile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file of the test's own: the bare "Korvid.INI" would be the one in the
// Windows directory.
fs::path TestFile(const char* name) {
    const fs::path file = fs::temp_directory_path() / name;
    fs::remove(file);
    return file;
}

} // namespace

TEST(ProfileFunctions, SaveAndLoadRoundTripKeepingTheRestOfTheFile) {
    const fs::path file = TestFile("korvid-profile-test.ini");
    const std::string value =
        pairing::JoinSensorsValue({"4", "7", "-1", "-1", "-1", "-1", "-1", "-1", "-1"});
    std::string error;
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", value, file.string(), &error)) << error;
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", value, file.string(), &error)) << error;
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file.string()), value);
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.find("[Korvid]"), text.rfind("[Korvid]"));
    EXPECT_NE(text.find("Sensors=4\\7\\-1\\"), std::string::npos);

    std::ofstream(file, std::ios::binary)
        << "; kept\r\n[Other]\r\nkey=1\r\n[korvid]\r\nSensors=old\r\n";
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", "new\\", file.string(), &error));
    EXPECT_EQ(profile::GetString("korvid", "SENSORS", "", 99, file.string()), "new\\");
    EXPECT_EQ(profile::GetString("Other", "key", "", 99, file.string()), "1");
    EXPECT_NE(ReadFile(file).find("; kept"), std::string::npos);
    fs::remove(file);
}

TEST(ProfileFunctions, MissingFileGivesTheDefaultAndNineRows) {
    const fs::path file = TestFile("korvid-missing.ini");
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file.string()), "");
    EXPECT_EQ(
        pairing::SplitSensorsValue(profile::GetString("Korvid", "Sensors", "", 99, file.string()))
            .size(),
        9u);
    EXPECT_EQ(profile::SettingsFilePath("Korvid.INI"), "Korvid.INI");
}

TEST(ProfileFunctions, LoadReadsAtMost99Characters) {
    const fs::path file = TestFile("korvid-long.ini");
    std::ofstream(file, std::ios::binary)
        << "[Korvid]\r\nSensors=" << std::string(500, '7') << "\r\n";
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file.string()).size(), 99u);
    fs::remove(file);
}

// A standard user cannot write the Windows directory (here its Korvid.INI is
// a directory, which no user can write): the save goes to the user's own
// folder, which is read first from then on.
TEST(ProfileFunctions, ASaveTheWindowsDirectoryRefusesGoesToTheUsersFolder) {
    char windows[MAX_PATH] = {};
    ASSERT_GT(::GetWindowsDirectoryA(windows, sizeof windows), 0u);
    const fs::path blocked = fs::path(windows) / "Korvid.INI";
    const fs::path own = fs::path(std::getenv("APPDATA")) / "Korvid Halvane" / "Korvid.INI";
    fs::remove_all(blocked);
    fs::remove(own);
    EXPECT_EQ(profile::SettingsFilePath("Korvid.INI"), "Korvid.INI");
    fs::create_directory(blocked);

    std::string error;
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", "3\\", "Korvid.INI", &error)) << error;
    EXPECT_EQ(profile::SettingsFilePath("Korvid.INI"), own.string());
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, own.string()), "3\\");
    fs::remove_all(blocked);
    fs::remove(own);
}
