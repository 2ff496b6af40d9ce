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
    // One line per event, whatever a value in it holds: control characters
    // (a NUL, a line break, a terminal's escape) are shown escaped.
    std::string shown;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    std::fprintf(stderr, "korvid-halvane: %s\n", shown.c_str());
    std::fflush(stderr);
}
