#pragma once

// korvid-hwmon's command line.

#include <optional>
#include <string>

namespace hwmon {

struct Options {
    std::optional<std::string> table; // --table FILE: publish its readings instead
    std::string config;               // --config FILE; empty: the system's
    long intervalMs = 0;              // --interval MS
    bool once = false;                // --once
    bool list = false;                // --list
    std::string block;                // --block NAME
};

enum class Parsed {
    Run,  // `options` say what to do
    Done, // --help or --version was answered
    Fail, // a wrong option, told on stderr
};

Parsed ParseOptions(int argc, char** argv, Options& options);

// Text for the operator, made safe for a terminal.
std::string Shown(const std::string& text);

} // namespace hwmon
