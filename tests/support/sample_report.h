#pragma once

// The made-up readings that the tests share: what the monitor knows, and the
// report it gives.

#include "monitor_model.h"

#include <string>

namespace testing_support {

inline MonitorModel SampleModel() {
    using Source = ParamValue::Source;
    MonitorModel model;
    model.params[0] = {"3", {Source::Refreshed, 35}};
    model.params[1] = {"4", {Source::Refreshed, 48.25}};
    model.params[4] = {"5", {Source::Linked, 1.65}};
    model.cpuLoad = 12;
    model.cpuType = "Sample CPU 2.4GHz";
    model.compName = "WORKSTATION";
    model.drives = {{"C:", 40050359501ull, 13421772800ull, "/"},
                    {"D:", 79993765888ull, 75161927680ull, "/srv"}};
    return model;
}

inline const std::string kSampleReport = "MBoTe=35\\\r\n"
                                         "CPUTe=48.25\\\r\n"
                                         "MBoFa=-NA-\\\r\n"
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
                                         "Drive D:=74.5,70.0\\\r\n";

} // namespace testing_support
