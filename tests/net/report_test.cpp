#include "report.h"
#include "support/sample_report.h"

#include <cmath>
#include <gtest/gtest.h>

using testing_support::SampleModel;
using Source = ParamValue::Source;

namespace {

// The report's lines from line `first` (counted from 1) on, as one text.
std::string LinesFrom(const std::string& report, int first) {
    std::size_t start = 0;
    for (int line = 1; line < first; ++line)
        start = report.find("\r\n", start) + 2;
    return report.substr(start);
}

// The value of parameter row `row` in the report.
std::string ParamLine(const std::string& report, int row) {
    const std::string rest = LinesFrom(report, row + 1);
    return rest.substr(0, rest.find("\r\n"));
}

} // namespace

TEST(Report, MatchesTheWireFormatByteForByte) {
    EXPECT_EQ(BuildReport(SampleModel()), testing_support::kSampleReport);
}

// Each row: what the monitor knows, and the bytes the report carries for it.
TEST(Report, EveryKindOfValueGivesItsText) {
    struct Case {
        std::string line;
        ParamValue value;
        int row;
        char separator;
    };
    const Case cases[] = {
        {"MBoTe=NA\\", {}, 0, '.'},
        {"CPUFa=-NA-\\", {}, 3, '.'},
        {"3.3-V=NA\\", {}, 5, ','},
        // Linked: the sensor list's text, up to 15 significant digits.
        {"CPUTe=45.1234567890123\\", {Source::Linked, 45.123456789012345}, 1, '.'},
        {"CPUTe=0.125\\", {Source::Linked, 0.125}, 1, '.'},
        {"CPUTe=NA\\", {Source::Linked, std::nan("")}, 1, '.'},
        {"+5Vol=45,5\\", {Source::Linked, 45.5}, 6, ','},
        // Refreshed: two places, halves to even.
        {"MBoFa=0.12\\", {Source::Refreshed, 0.125}, 2, '.'},
        {"+12Vo=3,31\\", {Source::Refreshed, 3.3125}, 7, ','},
        {"CPUSp=NA\\", {Source::Refreshed, -INFINITY}, 8, '.'},
    };
    for (const Case& c : cases) {
        MonitorModel model = SampleModel();
        model.decimalSeparator = c.separator;
        model.params[static_cast<std::size_t>(c.row)].value = c.value;
        EXPECT_EQ(ParamLine(BuildReport(model), c.row), c.line) << c.line;
    }
}

TEST(Report, SystemFactsAndDrivesAsTheyStand) {
    MonitorModel model = SampleModel();
    model.decimalSeparator = ',';
    model.cpuLoad = 100;
    model.cpuLoadBare = false; // the "%" is the window's, never the report's
    model.cpuType = "Typed \xE9";
    model.compName = "ws\xE9";
    model.drives = {{"C:", 80000000000ull, 0, "/"},
                    {"E:", 2ull << 30, 1ull << 28, "/media"},
                    {"F", 0, 0, "/x"},
                    {"", 1ull << 40, 1ull << 40, "/y"}};
    EXPECT_EQ(LinesFrom(BuildReport(model), 10), "CPULoading =100\\\r\n"
                                                 "CPUDes =Typed \xE9\\\r\n"
                                                 "CompName=ws\xE9\\\r\n"
                                                 "Drive C:=74.5,0.0\\\r\n"
                                                 "Drive E:=2.0,0.2\\\r\n"
                                                 "Drive F =0.0,0.0\\\r\n"
                                                 "Drive   =1024.0,1024.0\\\r\n");
    model.drives.clear();
    EXPECT_EQ(LinesFrom(BuildReport(model), 12), "CompName=ws\xE9\\\r\n");
}
