#pragma once

// What the main window takes from the machine. SystemEnvironment() gives the
// real one; tests replace parts of it.

#include "cpu_info.h"
#include "cpu_usage.h"
#include "drive_survey.h"
#include "mod_mbm_access.h"
#include "operator_messages.h"
#include "report_service.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct MonitorEnvironment {
    quint16 port = 9001; // 0 picks a free port (tests)
    ServiceLimits serviceLimits;
    std::function<std::unique_ptr<tcp::PortListener>()> makeListener;
    std::function<modMBMAccess::SensorSnapshot()> readSnapshot;
    std::function<std::unique_ptr<cCPUID>()> makeCpuid;
    std::function<std::unique_ptr<clsCPUUsage>()> makeCpuUsage;
    std::function<std::string()> computerName;
    std::function<std::vector<FixedDrive>()> surveyDrives;
    // A report reuses a drive survey younger than this (the refresh interval):
    // a display that polls fast does not stat every disk each time.
    std::chrono::milliseconds driveSurveyReuse{500};
    std::string settingsFile;
    char decimalSeparator = '.';
    std::shared_ptr<OperatorMessages> messages;
    // The start-up question is not asked; the saved pairs load as on Yes.
    bool useSavedPairs = false;
    std::function<void()> quit;
};

MonitorEnvironment SystemEnvironment();
