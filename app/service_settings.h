#pragma once

// Where the report service listens and whom it answers: --listen and --allow
// on the command line, else Listen= and Allow= in the settings file's
// [Korvid] section, else every address on port 9001 and every display.

#include "command_line.h"
#include "report_service.h"

#include <optional>
#include <string>
#include <vector>

struct ServiceChoice {
    ServiceSettings settings;
    // The allow list as the log tells it: "every display", or the rules, a
    // host name with the addresses it stands for.
    std::string allowText;
    // What the operator should know: host names that do not resolve.
    std::vector<std::string> notes;
};

// Nothing, with the reason in `error`, for a value that is no address, port
// or prefix: a typo in an allow list must not open the port to everyone.
std::optional<ServiceChoice> ChooseService(const StartOptions& options,
                                           const std::string& settingsFile, std::string* error);

// The allow list alone, read again (SIGHUP): the command line's, or the
// settings file's as it is now.
std::optional<ServiceChoice> ChooseAllowList(const StartOptions& options,
                                             const std::string& settingsFile, std::string* error);
