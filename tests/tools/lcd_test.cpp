// korvid-lcd's plain parts: a report as a display reads it, the layouts that
// fill a screen from it, and the settings that say which PCs to show.
#include "display_report.h"
#include "layout.h"
#include "lcd_settings.h"

#include <gtest/gtest.h>

using namespace lcd;

namespace {

const std::string kReport = "MBoTe=35\\\r\nCPUTe=48.25\\\r\nMBoFa=NA\\\r\nCPUFa=-NA-\\\r\n"
                            "Core0=1.65\\\r\n3.3-V=NA\\\r\n+5Vol=NA\\\r\n+12Vo=-NA-\\\r\n"
                            "CPUSp=-NA-\\\r\nCPULoading =12\\\r\nCPUDes =Sample CPU \xE9\\\r\n"
                            "CompName=WS01\\\r\nDrive C:=37.3,12.5\\\r\nDrive D:=74.5,70.0\\\r\n";

} // namespace

// Whatever arrives: what is a report gives its entries, keys as sent;
// what is not one says so.
TEST(DisplayReport, ReadsWhatArrivesAsADisplayDoes) {
    struct Case {
        std::string text;
        std::string field;
        std::string value; // "" with `why`: no report
        std::string why;
    };
    std::string many;
    for (int i = 0; i < 300; ++i)
        many.append("K")
            .append(std::to_string(i))
            .append("=")
            .append(std::to_string(i))
            .append("\\\r\n");
    const Case cases[] = {
        {kReport, "CPULoading", "12", ""},
        {kReport, "CPUDes", "Sample CPU \xE9", ""},
        {kReport, "Drive D:", "74.5,70.0", ""},
        {kReport, "CPUTemp", "(absent)", ""},
        {"CPUTe=48.25\r\nMBoTe=3", "MBoTe", "3", ""}, // no backslash, cut short
        {std::string("CPUTe=4\0"
                     "8\\\r\n",
                     11),
         "CPUTe",
         std::string("4\0"
                     "8",
                     3),
         ""},
        {many, "K299", "299", ""},
        {"", "CPUTe", "", "no report: no line of the form key=value"},
        {"HTTP/1.1 400 Bad Request\r\n\r\n", "CPUTe", "",
         "no report: no line of the form key=value"},
        {std::string(64 * 1024 + 1, 'x'), "CPUTe", "", "a report of over 64 KiB"},
    };
    for (const Case& c : cases) {
        std::string why;
        const auto report = ParseReport(c.text, &why);
        if (!c.why.empty()) {
            EXPECT_FALSE(report) << c.text.substr(0, 40);
            EXPECT_EQ(why, c.why);
            continue;
        }
        ASSERT_TRUE(report) << why;
        const auto value = Find(*report, c.field);
        EXPECT_EQ(value ? std::string(*value) : "(absent)", c.value) << c.field;
    }
    EXPECT_EQ(ParseReport(kReport, nullptr)->entries[9].first, "CPULoading "); // as sent
}

// A layout's fields are known at start, where an unknown one is an error
// that says where; rendered, a field the report lacks shows "--", a drive's
// figures are picked apart, and bytes no display shows become "?".
TEST(Layout, FieldsAreCheckedAtStartAndFilledFromTheReport) {
    const std::pair<std::vector<std::string>, std::string> wrong[] = {
        {{"CPU {CPUTe}C", "MB {MBoTemp}C"}, "line 2, column 4: unknown field {MBoTemp}"},
        {{"CPU {CPUTe"}, "line 1, column 5: a '{' that no '}' closes"},
        {{"a } b"}, "line 1, column 3: a '}' that closes no field (write }} for one)"},
        {{"{Drive C:.used}"}, "line 1, column 1: unknown field {Drive C:.used}"},
        {{"{Drive c:.free}"}, "line 1, column 1: unknown field {Drive c:.free}"},
    };
    for (const auto& [lines, why] : wrong) {
        std::string error;
        EXPECT_FALSE(ParseLayout(lines, &error));
        EXPECT_EQ(error, why);
    }
    std::string error;
    const auto layout = ParseLayout({"{NAME} {CompName}", "{CPUTe}C {CPULoading}% {{x}}",
                                     "C: {Drive C:.size}/{Drive C:.free} D: {Drive D:}",
                                     "{Drive E:.free} {CPUDes}"},
                                    &error);
    ASSERT_TRUE(layout) << error;
    std::string report = kReport;
    report.replace(report.find("CompName=WS01"), 13, "CompName=W\x1b[2J");
    EXPECT_EQ(Render(*layout, *ParseReport(report, nullptr), "Den"),
              (std::vector<std::string>{"Den W?[2J", "48.25C 12% {x}", "C: 37.3/12.5 D: 74.5,70.0",
                                        "-- Sample CPU \xE9"}));
    for (const auto& [width, height] : {std::pair{16, 2}, {20, 4}, {40, 4}, {20, 1}}) {
        const auto lines = DefaultLayoutLines(width, height);
        EXPECT_EQ(lines.size(), static_cast<std::size_t>(std::max(2, std::min(height, 4))));
        EXPECT_TRUE(ParseLayout(lines, &error)) << error;
    }
}

// The command line's sources replace the file's; the file's sections and
// keys are checked whole, and nothing unusable starts.
TEST(LcdSettings, TheCommandLineElseTheFile) {
    const std::string file = "[korvid-lcd]\nLCDd=10.0.0.2\nInterval=5\nLong=cut\n"
                             "Line1={NAME}\nLine2=CPU {CPUTe}\n"
                             "[source Den]\nAddress=[2001:db8::5]:9002\n"
                             "[source Office]\nAddress=office.lan\nLine1={CompName}\n";
    std::string error;
    auto settings = MakeSettings({}, file, &error);
    ASSERT_TRUE(settings) << error;
    EXPECT_EQ(settings->lcdd.host, "10.0.0.2");
    EXPECT_EQ(settings->lcdd.port, 13666);
    EXPECT_EQ(settings->intervalSeconds, 5);
    EXPECT_FALSE(settings->scroll);
    EXPECT_EQ(settings->lines.size(), 2u);
    ASSERT_EQ(settings->sources.size(), 2u);
    EXPECT_EQ(settings->sources[0].address.host, "2001:db8::5");
    EXPECT_EQ(settings->sources[0].address.port, 9002);
    EXPECT_EQ(settings->sources[1].address.port, 9001);
    EXPECT_EQ(settings->sources[1].lines, std::vector<std::string>{"{CompName}"});

    CommandLine given;
    given.sources = {"Lab=127.0.0.1:9101"};
    given.lcdd = "[::1]:13667";
    settings = MakeSettings(given, file, &error);
    ASSERT_TRUE(settings) << error;
    ASSERT_EQ(settings->sources.size(), 1u);
    EXPECT_EQ(settings->sources[0].name, "Lab");
    EXPECT_EQ(settings->lcdd.host, "::1");

    const std::pair<std::string, std::string> wrong[] = {
        {"", "no PC to show: give --source NAME=HOST[:PORT], or a [source NAME] section in the "
             "configuration"},
        {"[source A]\nLine1=x\n", "[source A] has no Address="},
        {"[source A]\nAddress=a:99999\n",
         "[source A] Address=: 'a:99999' has no port from 1 to 65535"},
        {"[source A]\nAddress=a\nLine2=x\n", "[source A]: Line2= is not the next line (Line1= is)"},
        {"[source A]\nAddress=a\nLine1={Nope}\n",
         "[source A]: line 1, column 1: unknown field {Nope}"},
        {"[source A]\nAddress=a\n[source A]\nAddress=b\n",
         "[source A] is there twice, on lines 1 and 3"},
        {"[korvid-lcd]\nInterval=0\n[source A]\nAddress=a\n",
         "[korvid-lcd] Interval= takes 1 to 3600 seconds"},
        {"[display]\n", "[display] is no section of korvid-lcd's ([korvid-lcd], [source NAME])"},
    };
    for (const auto& [text, why] : wrong) {
        EXPECT_FALSE(MakeSettings({}, text, &error)) << text;
        EXPECT_EQ(error, why);
    }
    given.sources = {"nameless"};
    EXPECT_FALSE(MakeSettings(given, std::nullopt, &error));
    EXPECT_EQ(error, "--source 'nameless' is no NAME=HOST[:PORT]");
}
