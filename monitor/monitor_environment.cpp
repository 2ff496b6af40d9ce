#include "monitor_environment.h"

#include "computer_name.h"
#include "profile.h"
#include "shared_block.h"
#include "user_locale.h"

#include <cstdio>

MonitorEnvironment SystemEnvironment() {
    MonitorEnvironment env;
    env.readSnapshot = [](modMBMAccess::BlockStatus* status) {
        return modMBMAccess::ReadSnapshot(status);
    };
    env.blockName = modMBMAccess::SensorBlockName();
    env.publisherName = modMBMAccess::PublisherName();
    env.makeCpuid = [] { return std::make_unique<cCPUID>(); };
    env.makeCpuUsage = [] { return std::make_unique<clsCPUUsage>(); };
    env.computerName = ComputerName;
    env.surveyDrives = SurveyFixedDrives;
    env.settingsFile = profile::SettingsFilePath("Korvid.INI");
    env.decimalSeparator = UserDecimalSeparator();
    env.log = LogToStandardError;
    return env;
}

void LogToStandardError(const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", korvid::kAppTitle, line.c_str());
    std::fflush(stderr);
}
