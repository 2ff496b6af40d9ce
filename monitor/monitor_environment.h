#pragma once

// What the monitor takes from the machine. SystemEnvironment() gives the real
// one; tests replace parts of it.

#include "cpu_info.h"
#include "cpu_usage.h"
#include "drive_survey.h"
#include "korvid_facts.h"
#include "mod_mbm_access.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct MonitorEnvironment {
    std::function<modMBMAccess::SensorSnapshot(modMBMAccess::BlockStatus*)> readSnapshot;
    // The sensor block's name, as messages give it.
    std::string blockName;
    // What fills the block, as messages name it ("korvid-hwmon").
    std::string publisherName;
    std::function<std::unique_ptr<cCPUID>()> makeCpuid;
    std::function<std::unique_ptr<clsCPUUsage>()> makeCpuUsage;
    std::function<std::string()> computerName;
    std::function<std::vector<FixedDrive>()> surveyDrives;
    // A CPU load read this recently is used again rather than measured over
    // an interval too short to hold a clock tick, which reads 0 however busy
    // the processor is (two displays asking at once).
    std::chrono::milliseconds loadReuse = korvid::kRefreshInterval / 2;
    std::string settingsFile;
    char decimalSeparator = '.';
    // One line for the operator's log, without its line end. The window and
    // the service write it to standard error.
    std::function<void(const std::string&)> log;
};

// The machine this runs on.
MonitorEnvironment SystemEnvironment();

// One line on standard error, "korvid-halvane: " first, as every message of
// the program; control characters in it are escaped ("\x00").
void LogToStandardError(const std::string& line);
