// korvid-hwmon: publishes this machine's sensor readings into the shared-memory
// sensor block that Korvid Halvane reads.

#include "readings.h"
#include "shared_block.h"
#include "sysfs_scan.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

constexpr const char* kUsage = R"(Usage: korvid-hwmon [OPTION]...
Publishes this machine's sensor readings into the shared-memory sensor block
"/$M$B$M$5$S$D$" (8484 bytes, readable by all) that Korvid Halvane reads, and
refreshes it until stopped with Ctrl-C or SIGTERM, which remove the block.

Readings come from the kernel's hwmon interface (/sys/class/hwmon): every
temperature in degrees Celsius, fan in RPM and voltage in volts, named by the
sensor's label or, without one, by chip and sensor ("coretemp T1"); then
processor 0's clock in MHz. They fill the table from slot 0 in the order chip,
kind, number; at most 100, names cut to 12 bytes. The first byte of each entry
tells the kind: 1 temperature, 2 voltage, 3 fan, 4 clock, 0 a table reading.

Options:
  --table FILE     publish the readings of FILE instead, one "name value" a
                   line ('#' starts a comment); re-read at every refresh, so
                   editing the file changes the readings. A file that is
                   well-formed UTF-8 is read as UTF-8 (characters outside
                   Latin-1 become '?'); any other is read as Latin-1 bytes.
                   A file over 1 MiB, or a line over 4 KiB, is refused
  --interval MS    refresh every MS milliseconds (default 500)
  --once           publish once and exit, leaving the block in place
  --block NAME     publish under another shared-memory name (for tests)
  --sysfs DIR      read hwmon and cpufreq below DIR instead of /sys
  --proc DIR       read cpuinfo below DIR instead of /proc
  --help           show this text
)";

struct Options {
    std::optional<std::string> table;
    long intervalMs = 500;
    bool once = false;
    std::string block = modMBMAccess::SensorBlockName();
    std::string sysRoot = "/sys";
    std::string procRoot = "/proc";
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--help") {
            std::cout << kUsage;
            std::exit(0);
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--table" && (v = value())) {
            options.table = v;
        } else if (arg == "--block" && (v = value())) {
            options.block = v;
        } else if (arg == "--sysfs" && (v = value())) {
            options.sysRoot = v;
        } else if (arg == "--proc" && (v = value())) {
            options.procRoot = v;
        } else if (arg == "--interval" && (v = value())) {
            char* end = nullptr;
            options.intervalMs = std::strtol(v, &end, 10);
            if (*end != '\0' || options.intervalMs < 10 || options.intervalMs > 3600000) {
                std::cerr << "korvid-hwmon: --interval takes 10 to 3600000 milliseconds\n";
                return false;
            }
        } else {
            std::cerr << "korvid-hwmon: unknown or incomplete option '"
                      << hwmon::ForTerminal(hwmon::ToSingleByte(arg)) << "'; see --help\n";
            return false;
        }
    }
    return true;
}

// Each distinct warning is told once, so a refresh loop does not repeat them.
void Tell(const hwmon::Warnings& warnings, std::set<std::string>& told) {
    for (const std::string& warning : warnings)
        if (told.insert(warning).second) std::cerr << "korvid-hwmon: " << warning << '\n';
}

std::string Shown(const std::string& path) {
    return hwmon::ForTerminal(hwmon::ToSingleByte(path));
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

std::vector<hwmon::Reading> Gather(const Options& options, hwmon::Warnings& warnings) {
    if (!options.table) return hwmon::ScanSystem(options.sysRoot, options.procRoot, &warnings);
    const auto text = ReadTable(*options.table, warnings);
    return text ? hwmon::ParseTable(*text, &warnings) : std::vector<hwmon::Reading>();
}

void Sleep(long ms) {
    timespec rest{ms / 1000, (ms % 1000) * 1000000};
    // A signal ends the sleep early; the loop then sees stopRequested.
    while (!stopRequested && ::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;

    std::string error;
    auto block = modMBMAccess::SharedBlockWriter::Create(
        options.block, sizeof(modMBMAccess::SensorSnapshot), &error);
    if (!block) {
        std::cerr << "korvid-hwmon: " << hwmon::ForTerminal(hwmon::ToSingleByte(error)) << '\n';
        return 1;
    }
    if (!block->TryHoldExclusively()) {
        block->SetRemoveOnDestroy(false);
        std::cerr << "korvid-hwmon: another korvid-hwmon is publishing " << Shown(options.block)
                  << " already\n";
        return 1;
    }
    block->SetRemoveOnDestroy(!options.once);

    struct sigaction action {};
    action.sa_handler = RequestStop;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    std::set<std::string> told;
    std::optional<std::size_t> lastCount;
    do {
        hwmon::Warnings warnings;
        const auto readings = Gather(options, warnings);
        if (stopRequested) break;
        const auto snapshot = hwmon::BuildSnapshot(readings, &warnings);
        block->Write(&snapshot, sizeof snapshot);
        Tell(warnings, told);
        if (lastCount != readings.size()) {
            lastCount = readings.size();
            if (readings.empty())
                std::cerr << "korvid-hwmon: no sensors found"
                          << (options.table ? ""
                                            : " (no hwmon chips here, as in most virtual machines)")
                          << "; publishing an empty table\n";
            else if (readings.size() > modMBMAccess::kSensorCount)
                std::cerr << "korvid-hwmon: publishing " << modMBMAccess::kSensorCount << " of "
                          << readings.size() << " sensors to " << Shown(options.block)
                          << " (the block has " << modMBMAccess::kSensorCount << " slots)\n";
            else
                std::cerr << "korvid-hwmon: publishing " << readings.size() << " sensor"
                          << (readings.size() == 1 ? "" : "s") << " to " << Shown(options.block)
                          << '\n';
        }
        if (!options.once) Sleep(options.intervalMs);
    } while (!options.once && !stopRequested);
    return 0;
}
