#pragma once

// korvid-lcd's settings: the command line, else its configuration file,
// else the defaults. Plain C++.
//
// The file, /etc/korvid-halvane/korvid-lcd.conf for the service:
//   [korvid-lcd]
//   LCDd=127.0.0.1:13666     where LCDd listens
//   Interval=2               seconds between reports, 1 to 3600
//   Long=scroll              or cut: lines longer than the display
//   Line1=CPU {CPUTe}C ...   every PC's screen (else a layout for its size)
//   [source WS01]            one section a PC, named as its screen is
//   Address=192.168.1.5:9001
//   Line1=...                this PC's own screen

#include "layout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lcd {

struct Address {
    std::string host; // a name, an IPv4 address, or an IPv6 one (no brackets)
    std::uint16_t port = 0;
};

// HOST[:PORT], with an IPv6 address in brackets when a port follows;
// nothing, with the reason, for anything else.
std::optional<Address> ParseAddress(std::string_view text, std::uint16_t defaultPort,
                                    std::string* error);

struct SourceSettings {
    std::string name;
    Address address;
    std::vector<std::string> lines; // its own layout; empty: the common one
};

struct Settings {
    Address lcdd{"127.0.0.1", 13666};
    int intervalSeconds = 2;
    bool scroll = true;
    std::vector<std::string> lines; // every screen's layout; empty: by size
    std::vector<SourceSettings> sources;
};

// What the command line says; what it leaves out, the file says.
struct CommandLine {
    std::optional<std::string> config; // --config FILE
    std::optional<std::string> lcdd;   // --lcdd HOST[:PORT]
    std::optional<int> interval;       // --interval SECONDS
    std::optional<bool> scroll;        // --long scroll|cut
    std::vector<std::string> sources;  // --source NAME=HOST[:PORT], each
};

// The settings from `file` (its text; none when there is no file) and the
// command line, whose --source replace the file's sources. Nothing, with
// the reason (naming the section and key, or the option), when they cannot
// be used: no source at all, a value that does not parse, a layout with an
// unknown field.
std::optional<Settings> MakeSettings(const CommandLine& given,
                                     const std::optional<std::string>& file, std::string* error);

} // namespace lcd
