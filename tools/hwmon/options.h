#pragma once

// korvid-hwmon's command line.

#include <optional>
#include <string>
#include <vector>

namespace hwmon {

struct Options {
    std::vector<std::string> tables;   // --table FILE, each: its readings beside the chips'
    bool chips = true;                 // --no-chips: only the tables' readings
    std::string config;                // --config FILE; empty: the system's
    std::string state;                 // --state FILE; empty: the usual place
    long intervalMs = 0;               // --interval MS
    bool once = false;                 // --once
    bool list = false;                 // --list
    std::optional<std::string> forget; // --forget KEY|SLOT
    std::string block;                 // --block NAME
    std::vector<std::string> sources;  // --source NAME (Windows), each a monitor to read
    std::optional<std::string> only;   // --only KINDS (Windows): the kinds of reading kept
};

// `usage` is the --help text, a printf format taking the default interval.
// Nothing when `options` say what to do; else the status to end with: 0 once
// --help or --version is answered (1 when standard output fails), 2 after a
// wrong option, told on stderr.
std::optional<int> ParseOptions(int argc, char** argv, Options& options, const char* usage);

// Text for the operator, made safe for a terminal.
std::string Shown(const std::string& text);

} // namespace hwmon
