// korvid-hwmon: publishes this machine's sensor readings into the shared-memory
// sensor block that Korvid Halvane reads, each in the slot it keeps for good.

#include "listing.h"
#include "options.h"
#include "profile.h"
#include "publication.h"
#include "sensors_scan.h"
#include "shared_block.h"
#include "table_file.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

using hwmon::Options;
using hwmon::Shown;

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t reloadRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}
void RequestReload(int) {
    reloadRequested = 1;
}

// SIGTERM, SIGINT and SIGHUP stay blocked for the publisher's whole life
// except while it waits in Sleep(): a request that comes before the handlers
// are in place, or between a check of the flags and the wait, stays pending
// until the wait takes it. None is lost, and none ends the process unhandled.
void TakeRequestsOnlyWhileWaiting() {
    sigset_t requests;
    ::sigemptyset(&requests);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaddset(&requests, signal);
    ::sigprocmask(SIG_BLOCK, &requests, nullptr);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = RequestReload;
    ::sigaction(SIGHUP, &action, nullptr);
}

// Waits `ms`, or until a request comes: the one place where requests are
// delivered, atomically with the wait.
void Sleep(long ms) {
    if (stopRequested || reloadRequested) return;
    const timespec period{ms / 1000, (ms % 1000) * 1000000};
    sigset_t none;
    ::sigemptyset(&none);
    ::ppoll(nullptr, 0, &period, &none);
}

void Say(const std::string& line) {
    std::cerr << "korvid-hwmon: " << line << '\n';
}

// Each distinct warning is told once, so a refresh loop does not repeat them.
void Tell(const hwmon::Warnings& warnings, std::set<std::string>& told) {
    for (const std::string& warning : warnings)
        if (told.insert(warning).second) Say(warning);
}

const char* const kServiceMap = "/var/lib/korvid-hwmon/slots";

// Where the slot map is kept: --state, else the unit's state directory, else
// the user's. The administrator's --list and --forget (root) mean the
// service's map where there is one.
std::string SlotMapPath(const Options& options) {
    if (!options.state.empty()) return options.state;
    if (const char* unit = std::getenv("STATE_DIRECTORY"); unit && *unit == '/')
        return std::string(unit) + "/slots";
    struct stat st {};
    if ((options.list || options.forget) && ::geteuid() == 0 && ::stat(kServiceMap, &st) == 0)
        return kServiceMap;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::string(state) + "/korvid-hwmon/slots";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/state/korvid-hwmon/slots";
}

// The slot map as its file holds it. A file that cannot be read, or holds
// lines that do not parse, is not written over: `writable` says whether it
// may be.
hwmon::SlotMap LoadMap(const std::string& path, bool& writable, std::set<std::string>& told) {
    std::string text, why;
    hwmon::Warnings warnings;
    writable = profile::ReadSettingsText(path, text, &why);
    if (!writable) {
        Tell({"cannot read the slot map: " + Shown(why) +
              "; publishing with slots given afresh, and not writing over it"},
             told);
        return {};
    }
    hwmon::SlotMap map = hwmon::SlotMap::Parse(text, &warnings);
    for (std::string& warning : warnings)
        warning = "the slot map " + Shown(path) + ": " + warning;
    if (!warnings.empty()) {
        warnings.push_back("the slot map " + Shown(path) +
                           " is not written over while it holds lines that do not parse; mend "
                           "it and send SIGHUP");
        writable = false;
    }
    Tell(warnings, told);
    return map;
}

struct Sources {
    std::unique_ptr<hwmon::SensorsLibrary> library;
    std::vector<hwmon::TableSource> tables;
};

std::vector<hwmon::Reading> Gather(Sources& sources, hwmon::Warnings& warnings) {
    std::vector<hwmon::Reading> readings;
    if (sources.library) readings = hwmon::ScanSystem(*sources.library, &warnings);
    for (hwmon::TableSource& table : sources.tables) {
        const auto& more = table.Read(warnings);
        readings.insert(readings.end(), more.begin(), more.end());
    }
    return readings;
}

void TellNoChips(const std::vector<hwmon::Reading>& readings, std::set<std::string>& told) {
    for (const hwmon::Reading& reading : readings)
        if (!reading.chip.empty()) return;
    Tell({"no hardware sensors found: libsensors sees no chip here (as in most virtual "
          "machines), so only processor 0's clock is published. Load the drivers of this "
          "machine's sensor chips (sensors-detect, from lm-sensors, finds which); they are "
          "found on their own"},
         told);
}

std::string CountText(const hwmon::Publication& publication, const std::string& block) {
    using State = hwmon::Slot::State;
    const std::size_t live = publication.Count(State::Live);
    const std::size_t faulted = publication.Count(State::Faulted);
    const std::size_t gone = publication.Count(State::Gone);
    const std::size_t all = live + faulted + gone;
    std::string text = "publishing " + std::to_string(all) + " reading" + (all == 1 ? "" : "s") +
                       " to " + Shown(block);
    if (faulted + gone > 0)
        text += " (" + std::to_string(faulted) + " faulted, " + std::to_string(gone) +
                " gone: they read NA)";
    return text;
}

int Forget(const std::string& path, const std::string& keyOrSlot) {
    std::set<std::string> told;
    bool writable = false;
    hwmon::SlotMap map = LoadMap(path, writable, told);
    const auto key = map.Forget(keyOrSlot);
    if (!key) {
        Say("the slot map " + Shown(path) + " gives no slot to " + Shown(keyOrSlot));
        return 1;
    }
    std::string error;
    if (!writable || !profile::ReplaceFile(path, map.Text(), &error)) {
        Say(writable ? Shown(error) : "not writing over the slot map " + Shown(path));
        return 1;
    }
    Say("freed the slot of " + Shown(*key) + " in " + Shown(path) +
        "; send a running korvid-hwmon SIGHUP (systemctl reload korvid-hwmon) to take it up");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    TakeRequestsOnlyWhileWaiting();
    Options options;
    switch (hwmon::ParseOptions(argc, argv, options)) {
    case hwmon::Parsed::Run:
        break;
    case hwmon::Parsed::Done:
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case hwmon::Parsed::Fail:
        return 2;
    }
    const std::string mapPath = SlotMapPath(options);
    if (options.forget) return Forget(mapPath, *options.forget);

    Sources sources;
    if (options.chips) {
        std::string error;
        sources.library = hwmon::SensorsLibrary::Open(options.config, &error, &stopRequested);
        if (!sources.library && stopRequested) return 0;
        if (!sources.library) {
            Say("the sensor configuration does not parse: " + Shown(error));
            return 2;
        }
    }
    for (const std::string& table : options.tables)
        sources.tables.emplace_back(table);
    std::set<std::string> told;
    bool mapWritable = false;
    hwmon::Publication publication(LoadMap(mapPath, mapWritable, told));

    if (options.list) {
        hwmon::Warnings warnings;
        const auto readings = Gather(sources, warnings);
        publication.Build(readings, &warnings);
        Tell(warnings, told);
        if (sources.library) TellNoChips(readings, told);
        if (!hwmon::PrintListing(publication, stdout)) {
            Say(std::string("cannot write the list: ") + std::strerror(errno));
            return 1;
        }
        for (const hwmon::TableSource& table : sources.tables)
            if (!table.Readable()) return 1;
        return 0;
    }

    std::string error;
    auto block = modMBMAccess::SharedBlockWriter::Create(
        options.block, sizeof(modMBMAccess::SensorSnapshot), &error);
    const bool usual = options.block == modMBMAccess::SensorBlockName();
    const std::string ownedByService =
        usual ? "; when the korvid-hwmon service runs, stop it first (systemctl stop "
                "korvid-hwmon), or publish elsewhere with --block"
              : "";
    if (!block) {
        Say(Shown(error) + ownedByService);
        return 1;
    }
    if (!block->TryHoldExclusively()) {
        block->SetRemoveOnDestroy(false);
        Say("another korvid-hwmon is publishing " + Shown(options.block) + " already" +
            ownedByService);
        return 1;
    }
    block->SetRemoveOnDestroy(!options.once);

    std::string lastCount;
    bool toldMapUnwritable = false;
    do {
        if (reloadRequested) {
            reloadRequested = 0;
            told.clear(); // inputs may be named otherwise now
            lastCount.clear();
            if (sources.library) {
                if (sources.library->Reload(&error))
                    Say("sensor configuration read again");
                else
                    Say("the sensor configuration cannot be read again: " + Shown(error) +
                        "; going on with the one read before");
            }
            publication.Replace(LoadMap(mapPath, mapWritable, told));
            toldMapUnwritable = false;
        } else if (sources.library && sources.library->ChipsChanged()) {
            if (sources.library->Reload(&error)) {
                Say("the sensor chips have changed; read them again");
                lastCount.clear();
            }
        }
        hwmon::Warnings warnings;
        const auto readings = Gather(sources, warnings);
        if (stopRequested) break;
        const auto snapshot = publication.Build(readings, &warnings);
        if (publication.TakeMapChanged() && mapWritable &&
            !profile::ReplaceFile(mapPath, publication.Map().Text(), &error) &&
            !std::exchange(toldMapUnwritable, true))
            Say("cannot keep the slot map: " + Shown(error) +
                "; publishing goes on, but a restart may give new readings other slots");
        std::string mended;
        if (!block->KeepPublished(&mended, &error)) {
            block->SetRemoveOnDestroy(false);
            Say(Shown(error) + "; stopping");
            return 1;
        }
        if (!mended.empty()) Say(Shown(mended));
        block->Write(&snapshot, sizeof snapshot);
        Tell(warnings, told);
        if (sources.library) TellNoChips(readings, told);
        if (std::string count = CountText(publication, options.block); count != lastCount) {
            if (lastCount.empty()) ::sd_notify(0, "READY=1"); // a Type=notify unit
            Say(count);
            lastCount = std::move(count);
        }
        if (!options.once) Sleep(options.intervalMs);
    } while (!options.once && !stopRequested);
    return 0;
}
