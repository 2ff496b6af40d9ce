// korvid-hwmon: publishes this machine's sensor readings into the shared-memory
// sensor block that Korvid Halvane reads, each in the slot it keeps for good.

#include "listing.h"
#include "options.h"
#include "publisher.h"
#include "sensors_scan.h"
#include "service_manager.h"
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

constexpr const char* kUsage = R"(Usage: korvid-hwmon [OPTION]...
Publishes this machine's sensor readings into the shared-memory sensor block
"/$M$B$M$5$S$D$" (8484 bytes, readable by all) that Korvid Halvane reads, and
refreshes it until stopped with Ctrl-C or SIGTERM, which remove the block.

Readings come from libsensors, which applies the machine's sensor
configuration (/etc/sensors3.conf and /etc/sensors.d/*) exactly as the
sensors command shows it: its labels name the inputs, its compute lines scale
them, its ignore lines hide them. Every input is published: temperatures in
degrees Celsius, fans in RPM, voltages in volts, power in watts, currents in
amperes, energy in joules, humidity in per cent; then processor 0's clock in
MHz, and the readings of any --table.

Each reading keeps its slot (0 to 99, the number Korvid.INI's Sensors= gives;
the window shows it one higher) for good, in a slot map kept in
$STATE_DIRECTORY/slots under systemd, else in
$XDG_STATE_HOME/korvid-hwmon/slots (~/.local/state/korvid-hwmon/slots): a new
reading takes the lowest free slot, and one that faults, cannot be read or
goes away keeps its slot and reads NA (not a number) until it comes back.
Names are those sensors prints (its labels win), cut to 12 bytes; where two
would read the same, the chip's name, then its number, tells them apart. The
first byte of each entry gives the type: 1 temperature, 2 voltage, 3 fan,
4 clock, 5 per cent, 0 anything else; the header gives the format's version
and how many entries there are of each type.

Options:
  --config FILE    use FILE instead of the system's sensor configuration, as
                   sensors -c FILE does
  --list           print every slot (the number the window shows, kind,
                   live, faulted or gone, name, value, key) and exit
  --table FILE     publish the readings of FILE beside the chips', one
                   "name value" a line ('#' starts a comment; the name is
                   the reading's key), read again whenever the file
                   changes. Repeatable. A file that is well-formed UTF-8 is
                   read as UTF-8 (characters outside Latin-1 become '?');
                   any other is read as Latin-1 bytes. A file over 1 MiB, a
                   line over 4 KiB, or anything but a regular file (a FIFO,
                   a device) is refused
  --no-chips       publish only the tables' readings (a machine without
                   sysfs, a demonstration)
  --state FILE     keep the slot map in FILE
  --forget KEY|SLOT
                   free the slot of a reading that is gone for good, and
                   exit (send a running korvid-hwmon SIGHUP afterwards)
  --interval MS    refresh every MS milliseconds (default %ld)
  --once           publish once and exit, leaving the block in place
  --block NAME     publish under another shared-memory name (for tests)
  -h, --help       show this text
  -v, --version    show the version

Signals: SIGTERM and SIGINT stop it and remove the block; SIGHUP reads the
sensor configuration and the slot map again (chips whose drivers were loaded
since are found on their own); a configuration that no longer reads or
parses, or takes over 2 s to, is said so, and the previous one stays.

Exit status: 0 when stopped by a signal (or after --once, --list or
--forget), 1 when the block cannot be published (another user's block is
there, or another korvid-hwmon publishes it), --list cannot write its list,
or --forget names no slot in use or cannot write the map, 2 for a wrong
option or a configuration that does not parse.
)";

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

void TellNoChips(const std::vector<hwmon::Reading>& readings, hwmon::Teller& teller) {
    for (const hwmon::Reading& reading : readings)
        if (!reading.chip.empty()) return;
    teller.Tell("no hardware sensors found: libsensors sees no chip here (as in most virtual "
                "machines), so only processor 0's clock is published. Load the drivers of this "
                "machine's sensor chips (sensors-detect, from lm-sensors, finds which); they are "
                "found on their own");
}

} // namespace

int main(int argc, char** argv) {
    TakeRequestsOnlyWhileWaiting();
    Options options;
    if (const auto status = hwmon::ParseOptions(argc, argv, options, kUsage)) return *status;
    if (!options.sources.empty() || options.only) {
        Say("--source and --only choose among Windows' hardware monitors; here libsensors gives "
            "the readings (see --help)");
        return 2;
    }
    if (!options.chips && options.tables.empty()) {
        Say("--no-chips leaves nothing to publish without a --table");
        return 2;
    }
    const std::string mapPath = SlotMapPath(options);
    if (options.forget)
        return hwmon::ForgetSlot(mapPath, *options.forget,
                                 "tell a running korvid-hwmon to read it again "
                                 "(SIGHUP; systemctl reload korvid-hwmon), or "
                                 "restart it",
                                 Say);

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
    hwmon::Teller teller(Say);

    if (options.list) {
        bool writable = false;
        hwmon::Publication publication(hwmon::LoadSlotMap(mapPath, writable, teller));
        hwmon::Warnings warnings;
        const auto readings = Gather(sources, warnings);
        publication.Build(readings, &warnings);
        teller.Tell(warnings);
        if (sources.library) TellNoChips(readings, teller);
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
    hwmon::Publisher publisher(std::move(block), options.block, mapPath, teller);

    bool ready = false;
    do {
        if (reloadRequested) {
            reloadRequested = 0;
            teller.Forget(); // inputs may be named otherwise now
            if (sources.library) {
                if (sources.library->Reload(&error))
                    Say("sensor configuration read again");
                else
                    Say("the sensor configuration cannot be read again: " + Shown(error) +
                        "; going on with the one read before");
            }
            publisher.ReloadMap();
        } else if (sources.library && sources.library->ChipsChanged() &&
                   sources.library->Reload(&error)) {
            Say("the sensor chips have changed; read them again");
        }
        hwmon::Warnings warnings;
        const auto readings = Gather(sources, warnings);
        if (stopRequested) break;
        if (!publisher.Publish(readings, warnings)) return 1;
        if (sources.library) TellNoChips(readings, teller);
        if (!std::exchange(ready, true)) TellServiceManagerReady(); // a Type=notify unit
        if (!options.once) Sleep(options.intervalMs);
    } while (!options.once && !stopRequested);
    return 0;
}
