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

} // namespace

std::string Shown(const std::string& text) {
    return ForTerminal(ToSingleByte(text));
}

// Wrong options are told here, with their bytes escaped.
Parsed ParseOptions(int argc, char** argv, Options& options) {
    options.intervalMs = static_cast<long>(korvid::kRefreshInterval.count());
    options.block = modMBMAccess::SensorBlockName();
    enum { kTable = 1, kConfig, kInterval, kBlock, kState, kForget, kNoChips };
    static const option kLong[] = {
        {"table", required_argument, nullptr, kTable},
        {"no-chips", no_argument, nullptr, kNoChips},
        {"config", required_argument, nullptr, kConfig},
        {"state", required_argument, nullptr, kState},
        {"forget", required_argument, nullptr, kForget},
        {"interval", required_argument, nullptr, kInterval},
        {"block", required_argument, nullptr, kBlock},
        {"once", no_argument, nullptr, 'o'},
        {"list", no_argument, nullptr, 'l'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'v'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    for (int c; (c = ::getopt_long(argc, argv, "hv", kLong, nullptr)) != -1;) {
        switch (c) {
        case 'h':
            std::printf(kUsage, static_cast<long>(korvid::kRefreshInterval.count()));
            return Parsed::Done;
        case 'v':
            std::printf("korvid-hwmon (%s) %s\n", korvid::kAppTitle, korvid::kVersionText);
            return Parsed::Done;
        case 'o':
            options.once = true;
            break;
        case 'l':
            options.list = true;
            break;
        case kTable:
            options.tables.emplace_back(optarg);
            break;
        case kNoChips:
            options.chips = false;
            break;
        case kState:
            options.state = optarg;
            break;
        case kForget:
            options.forget = optarg;
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
    if (!options.chips && options.tables.empty()) {
        std::cerr << "korvid-hwmon: --no-chips leaves nothing to publish without a --table\n";
        return Parsed::Fail;
    }
    return Parsed::Run;
}

} // namespace hwmon
