#include "options.h"

#include "korvid_facts.h"
#include "readings.h"
#include "shared_block.h"

#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <iostream>

namespace hwmon {

std::string Shown(const std::string& text) {
    return ForTerminal(ToSingleByte(text));
}

namespace {

// The status after --help or --version: their text must have reached
// standard output.
int Answered() {
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

} // namespace

// Wrong options are told here, with their bytes escaped.
std::optional<int> ParseOptions(int argc, char** argv, Options& options, const char* usage) {
    options.intervalMs = static_cast<long>(korvid::kRefreshInterval.count());
    options.block = modMBMAccess::SensorBlockName();
    enum { kTable = 1, kConfig, kInterval, kBlock, kState, kForget, kNoChips, kSource, kOnly };
    static const option kLong[] = {
        {"source", required_argument, nullptr, kSource},
        {"only", required_argument, nullptr, kOnly},
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
            std::printf(usage, static_cast<long>(korvid::kRefreshInterval.count()));
            return Answered();
        case 'v':
            std::printf("korvid-hwmon (%s) %s\n", korvid::kAppTitle, korvid::kVersionText);
            return Answered();
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
        case kSource:
            options.sources.emplace_back(optarg);
            break;
        case kOnly:
            options.only = optarg;
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
                return 2;
            }
            break;
        }
        default:
            std::cerr << "korvid-hwmon: unknown or incomplete option '" << Shown(argv[optind - 1])
                      << "'; see --help\n";
            return 2;
        }
    }
    if (optind < argc) {
        std::cerr << "korvid-hwmon: unexpected argument '" << Shown(argv[optind])
                  << "'; see --help\n";
        return 2;
    }

    return std::nullopt;
}

} // namespace hwmon
