#include "ini_text.h"
#include "pairing.h"
#include "profile.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
        // A file that holds the section or the key twice is left as it is.
        std::string error;
        const bool ambiguous = !ini::Ambiguity(text, "Korvid", "Sensors").empty();
        ASSERT_EQ(profile::WriteString("Korvid", "Sensors", "1\\", file, &error), !ambiguous)
            << error;
        ASSERT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file), ambiguous ? "" : "1\\");
    }
    WriteFile(file, "[Korvid]\nSensors=" + std::string(1 << 20, '7') + "\n");
    EXPECT_EQ(profile::GetString("Korvid", "Sensors", "", 99, file).size(), 99u);
    const char binary[] = "\0\0[Korvid]\0\nSensors=3\\\n";
    WriteFile(file, std::string(binary, sizeof binary - 1));
    EXPECT_EQ(
        pairing::SplitSensorsValue(profile::GetString("Korvid", "Sensors", "", 99, file)).size(),
        9u);
}

// What is not a settings file reads as a missing one (defaults), at once,
// and a save says why it will not replace it; for the settings read whole
// (where to listen, whom to answer) it is an error, as is a link to nothing,
// but a missing file is none.
TEST(ProfileFile, OnlyARegularFileIsReadOrReplaced) {
    TempDir dir;
    const std::string fifo = dir.File("fifo/Korvid.INI");
    fs::create_directories(dir.File("fifo"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0); // opening it to read would wait for a writer
    const std::string directory = dir.File("dir/Korvid.INI");
    fs::create_directories(directory);
    const std::string huge = dir.File("huge/Korvid.INI");
    fs::create_directories(dir.File("huge"));
    WriteFile(huge, "[Korvid]\nSensors=1\\\n");
    fs::resize_file(huge, (std::uintmax_t{16} << 20) + 1);

    const std::string loop = dir.File("loop"), dangling = dir.File("dangling");
    fs::create_symlink(loop, loop);
    fs::create_symlink(dir.File("gone"), dangling);

    for (const auto& [file, kind] : {std::pair{fifo, "a FIFO"},
                                     {directory, "a directory"},
                                     {huge, "larger than 16 MiB"},
                                     {loop, "Too many levels of symbolic links"},
                                     {dangling, "a symbolic link to a file that does not exist"}}) {
        EXPECT_EQ(profile::GetString("Korvid", "Sensors", "dflt", 99, file), "dflt") << file;
        std::string error, text;
        EXPECT_FALSE(profile::ReadSettingsText(file, text, &error)) << file;
        EXPECT_NE(error.find(kind), std::string::npos) << error;
        error.clear();
        if (file == dangling) continue; // a save makes the file it names
        EXPECT_FALSE(profile::WriteString("Korvid", "Sensors", "2\\", file, &error)) << file;
        EXPECT_NE(error.find(kind), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(file + ".saving"));
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(directory));
    std::string text = "old", error;
    EXPECT_TRUE(profile::ReadSettingsText(dir.File("missing"), text, &error));
    EXPECT_EQ(text, "");
}

// Users keep dotfiles in a repository and link them: a save replaces the
// file the link names, in that file's own directory, and the link stays.
TEST(ProfileFile, SaveThroughALinkKeepsTheLink) {
    TempDir dir;
    fs::create_directories(dir.File("repo"));
    fs::create_directories(dir.File("config"));
    WriteFile(dir.File("repo/Korvid.INI"), "; mine\n[Korvid]\nSensors=1\\\n");
    fs::create_symlink("../repo/Korvid.INI", dir.File("config/Korvid.INI"));
    fs::create_symlink("Korvid.INI", dir.File("config/Again.INI")); // a link to the link
    std::string error;
    ASSERT_TRUE(
        profile::WriteString("Korvid", "Sensors", "2\\", dir.File("config/Again.INI"), &error))
        << error;
    EXPECT_TRUE(fs::is_symlink(dir.File("config/Korvid.INI")));
    EXPECT_TRUE(fs::is_symlink(dir.File("config/Again.INI")));
    EXPECT_EQ(ReadFile(dir.File("repo/Korvid.INI")), "; mine\n[Korvid]\nSensors=2\\\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("repo")), fs::directory_iterator()), 1);

    // A link to a file not made yet: the file is made where it points.
    fs::create_symlink(dir.File("repo/New.INI"), dir.File("config/New.INI"));
    ASSERT_TRUE(
        profile::WriteString("Korvid", "Sensors", "3\\", dir.File("config/New.INI"), &error));
    EXPECT_TRUE(fs::is_symlink(dir.File("config/New.INI")));
    EXPECT_EQ(ReadFile(dir.File("repo/New.INI")), "[Korvid]\nSensors=3\\\n");

    fs::create_symlink("Loop.INI", dir.File("config/Loop.INI"));
    EXPECT_FALSE(
        profile::WriteString("Korvid", "Sensors", "3\\", dir.File("config/Loop.INI"), &error));
}

// Saves killed at random moments: the file is always whole, the old or the
// new one, and at most one temporary file is ever left, which the next save
// clears away.
TEST(ProfileFile, AnInterruptedSaveLeavesAtMostOneTemporary) {
    TempDir dir;
    const std::string file = dir.File("Korvid.INI");
    const std::string padding = "; " + std::string(1 << 20, 'p') + "\n";
    WriteFile(file, padding + "[Korvid]\nSensors=0\\\n");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> delay(0, 20000);
    auto temporaries = [&] {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            count += entry.path().filename() != "Korvid.INI";
        return count;
    };
    for (int round = 0; round < 30; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int i = 1;; ++i)
                profile::WriteString("Korvid", "Sensors", std::to_string(i) + "\\", file, nullptr);
        }
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ASSERT_LE(temporaries(), 1) << "round " << round;
        const std::string text = ReadFile(file);
        ASSERT_EQ(text.rfind(padding + "[Korvid]\nSensors=", 0), 0u) << "round " << round;
        ASSERT_EQ(text.substr(text.size() - 2), "\\\n") << "round " << round;
    }
    std::string error;
    ASSERT_TRUE(profile::WriteString("Korvid", "Sensors", "done\\", file, &error)) << error;
    EXPECT_EQ(temporaries(), 0);
}
