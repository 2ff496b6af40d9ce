#include "report.h"
#include "support/report_inputs.h"

#include <gtest/gtest.h>

using testing_support::SampleReportInputs;

TEST(Report, MatchesTheWireFormatByteForByte) {
    EXPECT_EQ(BuildReport(SampleReportInputs()), "MBoTe=35\\\r\n"
                                                 "CPUTe=48.25\\\r\n"
                                                 "MBoFa=NA\\\r\n"
                                                 "CPUFa=-NA-\\\r\n"
                                                 "Core0=1.65\\\r\n"
                                                 "3.3-V=NA\\\r\n"
                                                 "+5Vol=NA\\\r\n"
                                                 "+12Vo=-NA-\\\r\n"
                                                 "CPUSp=-NA-\\\r\n"
                                                 "CPULoading =12\\\r\n"
                                                 "CPUDes =Sample CPU 2.4GHz\\\r\n"
                                                 "CompName=WORKSTATION\\\r\n"
                                                 "Drive C:=37.3,12.5\\\r\n"
                                                 "Drive D:=74.5,70.0\\\r\n");
}

TEST(Report, EndsWithCompNameWhenThereIsNoDrive) {
    ReportInputs in = SampleReportInputs();
    in.driveRows.clear();
    in.compName = "ws\xE9";
    const std::string report = BuildReport(in);
    const std::string tail = "CompName=ws\xE9\\\r\n";
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

TEST(Report, DriveLinesCarryOneCommaWhateverTheRow) {
    const std::string pad(24, ' ');
    EXPECT_EQ(DriveReportLine("Drive C:" + pad + "0.5,     0.2"), "Drive C:=0.5,0.2\\\r\n");
    EXPECT_EQ(DriveReportLine("Drive D:" + pad + "74,5,     12.0"), "Drive D:=74.5,12.0\\\r\n");
    EXPECT_EQ(DriveReportLine("Drive E:" + pad + "0.0,     0.0"), "Drive E:=0.0,0.0\\\r\n");
    EXPECT_EQ(DriveReportLine("Drive F:" + pad + "1234,5,     0,3"), "Drive F:=1234.5,0.3\\\r\n");
    // Rows the survey never writes still give a line and no crash.
    EXPECT_EQ(DriveReportLine("Dri"), "Dri=,\\\r\n");
    EXPECT_EQ(DriveReportLine(""), "=,\\\r\n");
}
