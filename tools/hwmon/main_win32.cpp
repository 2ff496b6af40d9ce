// korvid-hwmon.exe: publishes the readings of the hardware monitor that a
// Windows PC runs today (LibreHardwareMonitor's web server, HWiNFO's shared
// memory) into the sensor block that Korvid Halvane reads, each in the slot
// it keeps for good. A background program: no window and no console of its
// own; it says what it does in a log file, and on the console that started
// it.

#include "console.h"
#include "ini_text.h"
#include "listing.h"
#include "monitor_fetch.h"
#include "monitor_sources.h"
#include "options.h"
#include "profile.h"
#include "publisher.h"
#include "table_file.h"
#include "words.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
// windows.h first: shlobj.h builds on its types.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

namespace {

using hwmon::Options;

constexpr const char* kUsage = R"(Usage: korvid-hwmon [OPTION]...
Publishes the sensor readings of the hardware monitor that this PC runs into
the sensor block "$M$B$M$5$S$D$" that Korvid Halvane reads, and refreshes it
until it is ended. It reads LibreHardwareMonitor's web server (Options,
Remote Web Server, Run; port 8085), or HWiNFO's shared memory (Settings,
"Shared Memory Support"); without --source it tries the first, then the
second, and says which it found.

Each reading keeps its slot (0 to 99, the number Korvid.INI's Sensors=
gives; the window shows it one higher) for good, in the slot map
%%LOCALAPPDATA%%\Korvid Halvane\slots: a new reading takes the lowest free
slot, and one that goes away keeps its slot and reads NA until it comes
back. While the monitor does not answer, every reading reads NA. By default
temperatures, fans, voltages, clocks, loads and powers are published, in the
monitor's order, until the 100 slots are taken.

Options:
  --source lhm[=URL]  LibreHardwareMonitor's web server (default URL
                   http://127.0.0.1:8085/data.json)
  --source hwinfo  HWiNFO's shared memory
  --only KIND,...  publish only these kinds: temperature, fan, voltage,
                   clock, load, power, current, energy, other
  --table FILE     publish the "name value" lines of FILE too (repeatable)
  --list           print every slot (the number the window shows, kind, live,
                   faulted or gone, name, value, key) and exit
  --state FILE     keep the slot map in FILE
  --forget KEY|SLOT
                   free the slot of a reading that is gone for good, and exit
  --interval MS    refresh every MS milliseconds (default %ld)
  --once           publish once and exit
  --block NAME     publish under another mapping name (for tests)
  -h, --help       show this text
  -v, --version    show the version

%%LOCALAPPDATA%%\Korvid Halvane\korvid-hwmon.ini may say more:
  [LibreHardwareMonitor]  Url=, and User= and Password= when its web server
                          asks for them
  [Readings]              Only=KIND,... as --only; Include= and Exclude=
                          patterns (* and ?) of keys or names, blank-separated

Messages go to %%LOCALAPPDATA%%\Korvid Halvane\korvid-hwmon.log, and to the
console that started it. Ctrl+C there ends it.
)";

HANDLE stopEvent = nullptr;
std::string logPath;

BOOL WINAPI OnConsoleEvent(DWORD) {
    ::SetEvent(stopEvent);
    return TRUE;
}

std::string OwnFolder() {
    char folder[MAX_PATH] = {};
    if (FAILED(
            ::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return ".";
    const std::string own = std::string(folder) + "\\Korvid Halvane";
    ::CreateDirectoryA(own.c_str(), nullptr);
    return own;
}

void Say(const std::string& line) {
    std::cerr << "korvid-hwmon: " << line << std::endl;
    if (logPath.empty()) return;
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::ofstream(logPath, std::ios::app) << stamp << " " << line << "\n";
}

struct MonitorSettings {
    std::string url = "http://127.0.0.1:8085/data.json";
    std::string user, password;
    hwmon::Choice choice;
};

// korvid-hwmon.ini; nothing, with the reason, when it cannot be used.
std::optional<MonitorSettings> LoadSettings(const std::string& path, const Options& options,
                                            std::string* error) {
    MonitorSettings settings;
    std::string text, why;
    if (!profile::ReadSettingsText(path, text, &why)) {
        *error = why;
        return std::nullopt;
    }
    const auto sections = ini::ReadSections(text, &why);
    if (!sections) {
        *error = path + ": " + why;
        return std::nullopt;
    }
    auto words = [](const std::string& value) {
        const auto views = SplitWords(value);
        return std::vector<std::string>(views.begin(), views.end());
    };
    std::optional<std::string> only = options.only;
    for (const ini::Section& section : *sections)
        for (const auto& [key, value] : section.values) {
            if (section.name == "LibreHardwareMonitor" && key == "Url") settings.url = value;
            if (section.name == "LibreHardwareMonitor" && key == "User") settings.user = value;
            if (section.name == "LibreHardwareMonitor" && key == "Password")
                settings.password = value;
            if (section.name == "Readings" && key == "Only" && !only) only = value;
            if (section.name == "Readings" && key == "Include")
                settings.choice.include = words(value);
            if (section.name == "Readings" && key == "Exclude")
                settings.choice.exclude = words(value);
        }
    if (only) {
        const auto kinds = hwmon::ParseKinds(*only, &why);
        if (!kinds) {
            *error = "--only: " + why;
            return std::nullopt;
        }
        settings.choice.kinds = *kinds;
    }
    return settings;
}

// A hardware monitor that readings come from.
struct Monitor {
    enum class Kind { LibreHardwareMonitor, Hwinfo } kind;
    std::string url;
    std::string problem; // why it gave nothing last time; told once
    hwmon::HttpFetcher web;
};

hwmon::SourceReadings Ask(Monitor& monitor, const MonitorSettings& settings,
                          hwmon::Warnings& warnings) {
    std::string why;
    if (monitor.kind == Monitor::Kind::LibreHardwareMonitor) {
        const auto body = monitor.web.Get(monitor.url, settings.user, settings.password, &why);
        if (!body) return {std::nullopt, why};
        return hwmon::ParseLibreHardwareMonitor(*body, &warnings);
    }
    const auto bytes = hwmon::ReadHwinfoMemory(&why);
    if (!bytes) return {std::nullopt, why};
    return hwmon::ParseHwinfo(*bytes, static_cast<std::int64_t>(std::time(nullptr)), &warnings);
}

std::string NameOf(const Monitor& monitor) {
    return monitor.kind == Monitor::Kind::Hwinfo ? "HWiNFO's shared memory"
                                                 : "LibreHardwareMonitor at " + monitor.url;
}

} // namespace

int main(int argc, char** argv) {
    UseParentConsole();
    ::SetConsoleOutputCP(CP_UTF8); // names and units are UTF-8
    Options options;
    if (const auto status = hwmon::ParseOptions(argc, argv, options, kUsage)) return *status;
    if (!options.config.empty() || !options.chips) {
        Say("--config and --no-chips are for libsensors, on Linux; see --help");
        return 2;
    }
    const std::string folder = OwnFolder();
    if (!options.list && !options.forget) {
        logPath = folder + "\\korvid-hwmon.log";
        // Over 1 MiB at start, the log is moved aside to korvid-hwmon.log.old:
        // two files at most.
        WIN32_FILE_ATTRIBUTE_DATA log{};
        if (::GetFileAttributesExA(logPath.c_str(), GetFileExInfoStandard, &log) &&
            (log.nFileSizeHigh != 0 || log.nFileSizeLow > (1u << 20)))
            ::MoveFileExA(logPath.c_str(), (logPath + ".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    const std::string mapPath = options.state.empty() ? folder + "\\slots" : options.state;
    if (options.forget)
        return hwmon::ForgetSlot(mapPath, *options.forget,
                                 "restart a running korvid-hwmon for it to take "
                                 "effect",
                                 Say);
    std::string error;
    const auto settings = LoadSettings(folder + "\\korvid-hwmon.ini", options, &error);
    if (!settings) {
        Say(error);
        return 2;
    }
    std::vector<Monitor> monitors;
    for (const std::string& source : options.sources) {
        if (source == "hwinfo") {
            monitors.push_back({Monitor::Kind::Hwinfo, {}, {}, {}});
        } else if (source == "lhm" || source.rfind("lhm=", 0) == 0) {
            monitors.push_back({Monitor::Kind::LibreHardwareMonitor,
                                source.size() > 4 ? source.substr(4) : settings->url,
                                {},
                                {}});
        } else {
            Say("--source takes lhm, lhm=URL or hwinfo, not '" + hwmon::Shown(source) + "'");
            return 2;
        }
    }
    const bool searching = monitors.empty() && options.tables.empty();
    std::vector<hwmon::TableSource> tables;
    for (const std::string& table : options.tables)
        tables.emplace_back(table);
    hwmon::Teller teller(Say);

    auto gather = [&](hwmon::Warnings& warnings) {
        std::vector<hwmon::Reading> readings;
        if (searching && monitors.empty()) {
            // Looked for on every round until one answers.
            for (Monitor candidate :
                 {Monitor{Monitor::Kind::LibreHardwareMonitor, settings->url, {}, {}},
                  Monitor{Monitor::Kind::Hwinfo, {}, {}, {}}}) {
                hwmon::Warnings none;
                if (Ask(candidate, *settings, none).readings) {
                    Say("found " + NameOf(candidate) + ": publishing its readings");
                    monitors.push_back(candidate);
                    break;
                }
            }
            if (monitors.empty())
                teller.Tell("found neither LibreHardwareMonitor's web server (" + settings->url +
                            ") nor HWiNFO's shared memory; looking again now and then (README.txt "
                            "says how to switch either on)");
        }
        for (Monitor& monitor : monitors) {
            const hwmon::SourceReadings got = Ask(monitor, *settings, warnings);
            if (!got.readings) {
                if (got.why != monitor.problem)
                    Say(NameOf(monitor) + ": " + got.why +
                        "; its readings read NA until it answers");
                monitor.problem = got.why;
                continue;
            }
            if (!monitor.problem.empty()) Say(NameOf(monitor) + " answers again");
            monitor.problem.clear();
            const auto chosen = hwmon::Choose(*got.readings, settings->choice);
            readings.insert(readings.end(), chosen.begin(), chosen.end());
        }
        for (hwmon::TableSource& table : tables) {
            const auto& more = table.Read(warnings);
            readings.insert(readings.end(), more.begin(), more.end());
        }
        return readings;
    };

    if (options.list) {
        bool writable = false;
        hwmon::Publication publication(hwmon::LoadSlotMap(mapPath, writable, teller));
        hwmon::Warnings warnings;
        publication.Build(gather(warnings), &warnings);
        teller.Tell(warnings);
        return hwmon::PrintListing(publication, stdout) ? 0 : 1;
    }

    auto block = modMBMAccess::SharedBlockWriter::Create(
        options.block, sizeof(modMBMAccess::SensorSnapshot), &error);
    if (!block || !block->TryHoldExclusively()) {
        Say(block ? "another program publishes " + options.block +
                        " already (a hardware monitor, "
                        "or another korvid-hwmon)"
                  : error);
        return 1;
    }
    hwmon::Publisher publisher(std::move(block), options.block, mapPath, teller);
    stopEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    do {
        hwmon::Warnings warnings;
        const auto readings = gather(warnings);
        if (!publisher.Publish(readings, warnings)) return 1;
    } while (!options.once &&
             ::WaitForSingleObject(stopEvent, static_cast<DWORD>(options.intervalMs)) ==
                 WAIT_TIMEOUT);
    return 0;
}
