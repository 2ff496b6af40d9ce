// korvid-hwmon: publishes this machine's sensor readings into the shared-memory
// sensor block that Korvid Halvane reads.

#include "readings.h"
#include "sensors_scan.h"
#include "shared_block.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <getopt.h>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t reloadRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}
void RequestReload(int) {
    reloadRequested = 1;
}

constexpr const char* kUsage = R"(Usage: korvid-hwmon [OPTION]...
Publishes this machine's sensor readings into the shared-memory sensor block
"/$M$B$M$5$S$D$" (8484 bytes, readable by all) that Korvid Halvane reads, and
refreshes it until stopped with Ctrl-C or SIGTERM, which remove the block.

Readings come from libsensors, which applies the machine's sensor
configuration (/etc/sensors3.conf and /etc/sensors.d/*) exactly as the
sensors command shows it: its labels name the inputs, its compute lines scale
them, its ignore lines hide them. Every temperature in degrees Celsius, fan in
RPM and voltage in volts is published, named by its label (what sensors
prints before the colon, cut to 12 bytes), chip by chip and within a chip
temperatures, fans, then voltages; then processor 0's clock in MHz. At most
100 fit. The first byte of each entry tells the kind: 1 temperature,
2 voltage, 3 fan, 4 clock, 0 a table reading. An input that cannot be read,
or whose chip reports a fault, is left out (and said so once).

Options:
  --config FILE    use FILE instead of the system's sensor configuration, as
                   sensors -c FILE does
  --list           print what would be published (the number the window's
                   sensor list shows, kind, name, value) and exit
  --table FILE     publish the readings of FILE instead, one "name value" a
                   line ('#' starts a comment); re-read at every refresh, so
                   editing the file changes the readings. A file that is
                   well-formed UTF-8 is read as UTF-8 (characters outside
                   Latin-1 become '?'); any other is read as Latin-1 bytes.
                   A file over 1 MiB, or a line over 4 KiB, is refused
  --interval MS    refresh every MS milliseconds (default 500)
  --once           publish once and exit, leaving the block in place
  --block NAME     publish under another shared-memory name (for tests)
  --help           show this text

Signals: SIGTERM and SIGINT stop it and remove the block; SIGHUP reads the
sensor configuration again.

Exit status: 0 when stopped by a signal (or after --once or --list), 1 when
the block cannot be published (another user's block is there, or another
korvid-hwmon publishes it), 2 for a wrong option or a configuration that does
not parse.
)";

struct Options {
    std::optional<std::string> table;
    std::string config;
    long intervalMs = 500;
    bool once = false;
    bool list = false;
    std::string block = modMBMAccess::SensorBlockName();
};

std::string Shown(const std::string& text) {
    return hwmon::ForTerminal(hwmon::ToSingleByte(text));
}

// False on a wrong option, which has been told.
bool ParseOptions(int argc, char** argv, Options& options) {
    enum { kTable = 1, kConfig, kInterval, kBlock };
    static const option kLong[] = {
        {"table", required_argument, nullptr, kTable},
        {"config", required_argument, nullptr, kConfig},
        {"interval", required_argument, nullptr, kInterval},
        {"block", required_argument, nullptr, kBlock},
        {"once", no_argument, nullptr, 'o'},
        {"list", no_argument, nullptr, 'l'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0; // told below, with the option's bytes escaped
    for (int c; (c = ::getopt_long(argc, argv, "", kLong, nullptr)) != -1;) {
        switch (c) {
        case 'h':
            std::cout << kUsage;
            std::exit(0);
        case 'o':
            options.once = true;
            break;
        case 'l':
            options.list = true;
            break;
        case kTable:
            options.table = optarg;
            break;
        case kConfig:
            options.config = optarg;
            break;
        case kBlock:
            options.block = optarg;
            break;
        case kInterval: {
            char* end = nullptr;
            options.intervalMs = std::strtol(optarg, &end, 10);
            if (*end != '\0' || options.intervalMs < 10 || options.intervalMs > 3600000) {
                std::cerr << "korvid-hwmon: --interval takes 10 to 3600000 milliseconds\n";
                return false;
            }
            break;
        }
        default:
            std::cerr << "korvid-hwmon: unknown or incomplete option '" << Shown(argv[optind - 1])
                      << "'; see --help\n";
            return false;
        }
    }
    if (optind < argc) {
        std::cerr << "korvid-hwmon: unexpected argument '" << Shown(argv[optind])
                  << "'; see --help\n";
        return false;
    }
    return true;
}

// Each distinct warning is told once, so a refresh loop does not repeat them.
void Tell(const hwmon::Warnings& warnings, std::set<std::string>& told) {
    for (const std::string& warning : warnings)
        if (told.insert(warning).second) std::cerr << "korvid-hwmon: " << warning << '\n';
}

// The table file's text, at most kMaxTableBytes of it. A signal ends the
// wait for a FIFO's writer or for its data (no SA_RESTART), and the caller
// then sees stopRequested.
std::optional<std::string> ReadTable(const std::string& path, hwmon::Warnings& warnings) {
    int fd;
    while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR)
        if (stopRequested) return std::nullopt;
    if (fd < 0) {
        warnings.push_back("cannot read " + Shown(path) + ": " + std::strerror(errno) +
                           "; publishing an empty table");
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    bool ok = true;
    while (ok && !stopRequested) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            warnings.push_back("cannot read " + Shown(path) + ": " + std::strerror(errno) +
                               "; publishing an empty table");
            ok = false;
        }
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > hwmon::kMaxTableBytes) {
            warnings.push_back(Shown(path) +
                               " is larger than 1 MiB; the table is refused and an empty "
                               "one published");
            ok = false;
        }
    }
    ::close(fd);
    if (!ok || stopRequested) return std::nullopt;
    return text;
}

std::vector<hwmon::Reading> Gather(const Options& options, const hwmon::SensorsLibrary* library,
                                   hwmon::Warnings& warnings) {
    if (!options.table) return hwmon::ScanSystem(*library, &warnings);
    const auto text = ReadTable(*options.table, warnings);
    return text ? hwmon::ParseTable(*text, &warnings) : std::vector<hwmon::Reading>();
}

struct KindText {
    const char* name;
    const char* unit;
};

KindText TextOf(hwmon::Kind kind) {
    switch (kind) {
    case hwmon::Kind::Temperature:
        return {"temperature", " \xC2\xB0"
                               "C"};
    case hwmon::Kind::Voltage:
        return {"voltage", " V"};
    case hwmon::Kind::Fan:
        return {"fan", " RPM"};
    case hwmon::Kind::Clock:
        return {"clock", " MHz"};
    case hwmon::Kind::Other:
        break;
    }
    return {"table", ""};
}

// What the block would hold, one line per entry, as the window will number it.
void List(const std::vector<hwmon::Reading>& readings) {
    const auto snapshot = hwmon::BuildSnapshot(readings, nullptr);
    std::printf("No.  kind         name          value\n");
    for (std::size_t slot = 0; slot < readings.size() && slot < modMBMAccess::kSensorCount;
         ++slot) {
        const auto& entry = snapshot.Sensors[slot];
        const std::string name = modMBMAccess::CleanName(modMBMAccess::RawName(entry));
        const std::string shown = hwmon::ForTerminal(name);
        // Padded by the name's width on screen, not its bytes.
        const std::size_t pad = name.size() < 12 ? 12 - name.size() : 0;
        const KindText kind = TextOf(readings[slot].kind);
        std::printf("%3zu  %-11s  %s%*s  %g%s\n", slot + 1, kind.name, shown.c_str(),
                    static_cast<int>(pad), "", entry.Current, kind.unit);
    }
    if (readings.size() > modMBMAccess::kSensorCount)
        std::printf("(%zu more that do not fit)\n", readings.size() - modMBMAccess::kSensorCount);
}

void Sleep(long ms) {
    timespec rest{ms / 1000, (ms % 1000) * 1000000};
    // A signal ends the sleep early; the loop then sees what it asked for.
    while (!stopRequested && !reloadRequested && ::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

void TellCount(const Options& options, std::size_t count) {
    if (count == 0)
        std::cerr << "korvid-hwmon: no sensors found"
                  << (options.table ? "" : " (no hwmon chips here, as in most virtual machines)")
                  << "; publishing an empty table\n";
    else if (count > modMBMAccess::kSensorCount)
        std::cerr << "korvid-hwmon: publishing " << modMBMAccess::kSensorCount << " of " << count
                  << " sensors to " << Shown(options.block) << " (the block has "
                  << modMBMAccess::kSensorCount << " slots)\n";
    else
        std::cerr << "korvid-hwmon: publishing " << count << " sensor" << (count == 1 ? "" : "s")
                  << " to " << Shown(options.block) << '\n';
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;

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

    std::set<std::string> told;
    if (options.list) {
        hwmon::Warnings warnings;
        const auto readings = Gather(options, library.get(), warnings);
        Tell(warnings, told);
        List(readings);
        return 0;
    }

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

    struct sigaction action {}; // no SA_RESTART: a signal ends a blocking read
    action.sa_handler = RequestStop;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = RequestReload;
    ::sigaction(SIGHUP, &action, nullptr);

    std::size_t lastCount = SIZE_MAX; // none told yet
    do {
        if (reloadRequested) {
            reloadRequested = 0;
            if (library) {
                if (library->Reload(&error))
                    std::cerr << "korvid-hwmon: sensor configuration read again\n";
                else
                    std::cerr << "korvid-hwmon: the sensor configuration does not parse: "
                              << Shown(error) << "; going on with what could be read\n";
                told.clear(); // inputs may be named otherwise now
                lastCount = SIZE_MAX;
            }
        }
        hwmon::Warnings warnings;
        const auto readings = Gather(options, library.get(), warnings);
        if (stopRequested) break;
        const auto snapshot = hwmon::BuildSnapshot(readings, &warnings);
        block->Write(&snapshot, sizeof snapshot);
        Tell(warnings, told);
        if (lastCount != readings.size()) {
            lastCount = readings.size();
            TellCount(options, readings.size());
        }
        if (!options.once) Sleep(options.intervalMs);
    } while (!options.once && !stopRequested);
    return 0;
}
