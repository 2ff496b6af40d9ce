#include "options.h"

#include "korvid_facts.h"
#include "readings.h"
#include "shared_block.h"

#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <iostream>

namespace hwmon {

namespace {

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
                   A file over 1 MiB, a line over 4 KiB, or anything but a
                   regular file (a FIFO, a device) is refused
  --interval MS    refresh every MS milliseconds (default %ld)
  --once           publish once and exit, leaving the block in place
  --block NAME     publish under another shared-memory name (for tests)
  -h, --help       show this text
  --version        show the version

Signals: SIGTERM and SIGINT stop it and remove the block; SIGHUP reads the
sensor configuration again (and finds chips whose drivers were loaded since);
a configuration that no longer reads or parses is said so, and the previous
one stays.

Exit status: 0 when stopped by a signal (or after --once or --list), 1 when
the block cannot be published (another user's block is there, or another
korvid-hwmon publishes it) or --list cannot read its table or write its
list, 2 for a wrong option or a configuration that does not parse.
)";

} // namespace

std::string Shown(const std::string& text) {
    return ForTerminal(ToSingleByte(text));
}

// Wrong options are told here, with their bytes escaped.
Parsed ParseOptions(int argc, char** argv, Options& options) {
    options.intervalMs = static_cast<long>(korvid::kRefreshInterval.count());
    options.block = modMBMAccess::SensorBlockName();
    enum { kTable = 1, kConfig, kInterval, kBlock, kVersion };
    static const option kLong[] = {
        {"table", required_argument, nullptr, kTable},
        {"config", required_argument, nullptr, kConfig},
        {"interval", required_argument, nullptr, kInterval},
        {"block", required_argument, nullptr, kBlock},
        {"once", no_argument, nullptr, 'o'},
        {"list", no_argument, nullptr, 'l'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    for (int c; (c = ::getopt_long(argc, argv, "h", kLong, nullptr)) != -1;) {
        switch (c) {
        case 'h':
            std::printf(kUsage, static_cast<long>(korvid::kRefreshInterval.count()));
            return Parsed::Done;
        case kVersion:
            std::printf("korvid-hwmon (%s) %s\n", korvid::kAppTitle, korvid::kVersionText);
            return Parsed::Done;
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
                return Parsed::Fail;
            }
            break;
        }
        default:
            std::cerr << "korvid-hwmon: unknown or incomplete option '" << Shown(argv[optind - 1])
                      << "'; see --help\n";
            return Parsed::Fail;
        }
    }
    if (optind < argc) {
        std::cerr << "korvid-hwmon: unexpected argument '" << Shown(argv[optind])
                  << "'; see --help\n";
        return Parsed::Fail;
    }
    return Parsed::Run;
}

} // namespace hwmon
