#include "command_line.h"
#include "korvid_facts.h"

#include <gtest/gtest.h>

using Action = StartOptions::Action;

namespace {

struct Case {
    QStringList arguments; // after the program's name
    Action action;
    bool useSaved;
    bool headless;
    std::string text; // the start of StartOptions::text
};

const std::string kVersionLine = std::string("Korvid Halvane ") + korvid::kVersionText + "\n";

} // namespace

TEST(CommandLine, EveryArgumentListGivesOneActionOrOneError) {
    const Case cases[] = {
        {{}, Action::Run, false, false, ""},
        {{"--use-saved"}, Action::Run, true, false, ""},
        {{"--headless"}, Action::Run, true, true, ""},
        {{"--headless", "--use-saved"}, Action::Run, true, true, ""},
        {{"--version"}, Action::Version, false, false, kVersionLine},
        {{"-v"}, Action::Version, false, false, kVersionLine},
        // Qt's own options, in every mode; Qt takes them off the line itself.
        {{"-platform", "offscreen"}, Action::Run, false, false, ""},
        {{"--platform", "xcb", "-display", ":1", "-style=Fusion", "-reverse"},
         Action::Run,
         false,
         false,
         ""},
        {{"-session", "abc", "--headless"}, Action::Run, true, true, ""},
        {{"-qwindowgeometry", "100x100", "-use-saved"}, Action::Run, true, false, ""},
        {{"--help"}, Action::Help, false, false, "Usage: korvid-halvane [options]\n"},
        {{"-h", "--bogus"},
         Action::Fail,
         false,
         false,
         "korvid-halvane: unknown option '--bogus'; see korvid-halvane --help"},
        {{"--bogus"},
         Action::Fail,
         false,
         false,
         "korvid-halvane: unknown option '--bogus'; see korvid-halvane --help"},
        {{"-x"},
         Action::Fail,
         false,
         false,
         "korvid-halvane: unknown option '-x'; see korvid-halvane --help"},
        {{"-bogus"},
         Action::Fail,
         false,
         false,
         "korvid-halvane: unknown option '-bogus'; see korvid-halvane --help"},
        {{"-platform"}, Action::Fail, false, false, "korvid-halvane: Missing value after"},
        {{"extra"},
         Action::Fail,
         false,
         false,
         "korvid-halvane: unexpected argument 'extra'; see korvid-halvane --help"},
        {{"--use-saved=yes"}, Action::Fail, false, false, "korvid-halvane: Unexpected value"},
    };
    for (const Case& c : cases) {
        const QString line = c.arguments.join(' ');
        const StartOptions options =
            ParseCommandLine(QStringList{"/usr/bin/korvid-halvane"} + c.arguments);
        EXPECT_EQ(options.action, c.action) << line.toStdString();
        EXPECT_EQ(options.useSaved, c.useSaved) << line.toStdString();
        EXPECT_EQ(options.headless, c.headless) << line.toStdString();
        EXPECT_TRUE(!c.text.empty() ? options.text.startsWith(QString::fromStdString(c.text))
                                    : options.text.isEmpty())
            << line.toStdString() << ": " << options.text.toStdString();
        if (c.action == Action::Fail) {
            EXPECT_FALSE(options.text.contains(QLatin1Char(0x0a)));
        }
    }
    const QString help = ParseCommandLine({"korvid-halvane", "--help"}).text;
    for (const char* option : {"--use-saved", "--headless", "--version", "--help"})
        EXPECT_TRUE(help.contains(option)) << option;
    EXPECT_FALSE(help.contains("--platform"));
    EXPECT_TRUE(ParseCommandLine({"korvid-halvaned"}, true).headless);
}
