#include "monitor_environment.h"

#include "computer_name.h"
#include "profile.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? point.at(0).toLatin1() : '.';
}

} // namespace

MonitorEnvironment SystemEnvironment() {
    MonitorEnvironment env;
    env.makeListener = tcp::MakeSystemListener;
    env.readSnapshot = [] { return modMBMAccess::ReadSnapshot(); };
    env.makeCpuid = [] { return std::make_unique<cCPUID>(); };
    env.makeCpuUsage = [] { return std::make_unique<clsCPUUsage>(); };
    env.computerName = ComputerName;
    env.surveyDrives = SurveyFixedDrives;
    env.settingsFile = profile::SettingsFilePath("Korvid.INI");
    env.decimalSeparator = SystemDecimalSeparator();
    env.messages = std::make_shared<MessageBoxMessages>();
    env.quit = [] { QCoreApplication::exit(0); };
    return env;
}
