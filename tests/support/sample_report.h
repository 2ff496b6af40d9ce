#pragma once

// What a report carries in the tests: the nine parameter rows with a few
// made-up readings, and the system facts.

#include "report.h"

#include <string>

namespace testing_support {

inline ReportInputs SampleReportInputs() {
    ReportInputs in;
    in.paramNames = {"MBoTemperature",   "CPUTemperature", "MBoFan",     "CPUFan",  "Core0 Voltage",
                     "3.3-VIO Voltage)", "+5Voltage",      "+12Voltage", "CPUSpeed"};
    in.values = {"35", "48.25", "NA", "-NA-", "1.65", "NA", "NA", "-NA-", "-NA-"};
    in.cpuLoad = "12";
    in.cpuType = "Sample CPU 2.4GHz";
    in.compName = "WORKSTATION";
    in.driveRows = {"Drive C:" + std::string(24, ' ') + "37.3,     12.5",
                    "Drive D:" + std::string(24, ' ') + "74.5,     70.0"};
    return in;
}

} // namespace testing_support
