// korvid-hwmon: publishes this machine's sensor readings into the shared-memory
// sensor block that Korvid Halvane reads.

#include "listing.h"
#include "options.h"
#include "readings.h"
#include "sensors_scan.h"
#include "shared_block.h"
#include "table_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <poll.h>
#include <set>
#include <string>

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

// Each distinct warning is told once, so a refresh loop does not repeat them.
void Tell(const hwmon::Warnings& warnings, std::set<std::string>& told) {
    for (const std::string& warning : warnings)
        if (told.insert(warning).second) std::cerr << "korvid-hwmon: " << warning << '\n';
}

// What is published: a table's readings, or the chips' and processor 0's clock.
struct Gathered {
    std::vector<hwmon::Reading> readings;
    bool tableRead = true; // a table could be read
    std::size_t fromChips = 0;
};

Gathered Gather(const Options& options, const hwmon::SensorsLibrary* library,
                hwmon::Warnings& warnings) {
    Gathered gathered;
    if (!options.table) {
        gathered.readings = hwmon::ScanSystem(*library, &warnings);
        gathered.fromChips = static_cast<std::size_t>(
            std::count_if(gathered.readings.begin(), gathered.readings.end(),
                          [](const hwmon::Reading& r) { return r.kind != hwmon::Kind::Clock; }));
        return gathered;
    }
    const auto text = hwmon::ReadTable(*options.table, warnings);
    gathered.tableRead = text.has_value();
    if (text) gathered.readings = hwmon::ParseTable(*text, &warnings);
    return gathered;
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

void TellCount(const Options& options, const Gathered& gathered) {
    const std::size_t count = gathered.readings.size();
    if (!options.table && gathered.fromChips == 0)
        std::cerr << "korvid-hwmon: no hardware sensors found: libsensors sees no chip here (as "
                     "in most virtual machines), so only processor 0's clock is published. "
                     "Load the drivers of this machine's sensor chips (sensors-detect, from "
                     "lm-sensors, finds which), then send korvid-hwmon SIGHUP\n";
    else if (count == 0)
        std::cerr << "korvid-hwmon: the table holds no readings; publishing an empty table\n";
    else if (count > modMBMAccess::kSensorCount)
        std::cerr << "korvid-hwmon: publishing " << modMBMAccess::kSensorCount << " of " << count
                  << " sensors to " << Shown(options.block) << " (the block has "
                  << modMBMAccess::kSensorCount << " slots)\n";
    else
        std::cerr << "korvid-hwmon: publishing " << count << " sensor" << (count == 1 ? "" : "s")
                  << " to " << Shown(options.block) << '\n';
}

int List(const Options& options, const hwmon::SensorsLibrary* library) {
    std::set<std::string> told;
    hwmon::Warnings warnings;
    const Gathered gathered = Gather(options, library, warnings);
    Tell(warnings, told);
    if (!gathered.tableRead) return 1;
    if (!hwmon::PrintListing(gathered.readings, stdout)) {
        std::cerr << "korvid-hwmon: cannot write the list: " << std::strerror(errno) << '\n';
        return 1;
    }
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

    std::unique_ptr<hwmon::SensorsLibrary> library;
    if (!options.table) {
        std::string error;
        library = hwmon::SensorsLibrary::Open(options.config, &error);
        if (!library) {
            std::cerr << "korvid-hwmon: the sensor configuration does not parse: " << Shown(error)
                      << '\n';
            return 2;
        }
    }
    if (options.list) return List(options, library.get());

    std::string error;
    auto block = modMBMAccess::SharedBlockWriter::Create(
        options.block, sizeof(modMBMAccess::SensorSnapshot), &error);
    if (!block) {
        std::cerr << "korvid-hwmon: " << Shown(error) << '\n';
        return 1;
    }
    if (!block->TryHoldExclusively()) {
        block->SetRemoveOnDestroy(false);
        std::cerr << "korvid-hwmon: another korvid-hwmon is publishing " << Shown(options.block)
                  << " already\n";
        return 1;
    }
    block->SetRemoveOnDestroy(!options.once);

    std::set<std::string> told;
    std::size_t lastCount = SIZE_MAX; // none told yet
    do {
        if (reloadRequested) {
            reloadRequested = 0;
            if (library) {
                if (library->Reload(&error)) {
                    std::cerr << "korvid-hwmon: sensor configuration read again\n";
                    told.clear(); // inputs may be named otherwise now
                    lastCount = SIZE_MAX;
                } else {
                    std::cerr << "korvid-hwmon: the sensor configuration cannot be read again: "
                              << Shown(error) << "; going on with the one read before\n";
                }
            }
        }
        hwmon::Warnings warnings;
        const Gathered gathered = Gather(options, library.get(), warnings);
        if (stopRequested) break;
        const auto snapshot = hwmon::BuildSnapshot(gathered.readings, &warnings);
        block->Write(&snapshot, sizeof snapshot);
        Tell(warnings, told);
        if (lastCount != gathered.readings.size()) {
            lastCount = gathered.readings.size();
            TellCount(options, gathered);
        }
        if (!options.once) Sleep(options.intervalMs);
    } while (!options.once && !stopRequested);
    return 0;
}
