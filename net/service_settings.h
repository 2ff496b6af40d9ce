#pragma once

// Where the report service listens and whom it answers: --listen and --allow
// on the command line, else Listen= and Allow= in the settings file's
// [Korvid] section, else every address on port 9001 and every display.
//
// Nothing is guessed, so a mistake never opens the port to more displays
// than meant: a file that exists but cannot be read, a section or key given
// twice, a value that is empty, longer than kMaxSettingChars or does not
// parse, listen addresses that overlap, are each an error. Only a file that
// does not exist, or that has no such key, means the default.

#include "endpoints.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// What the command line says: each --listen and --allow value as given (a
// value may hold several items); none given: the settings file's.
struct ServiceOptions {
    std::vector<std::string> listen;
    std::vector<std::string> allow;
};

struct ServiceChoice {
    std::vector<tcp::Endpoint> listen;
    // Whom to answer: addresses and prefixes, and host names to look up.
    std::vector<tcp::AllowRule> allowRules;
    std::vector<std::string> allowNames;
};

inline constexpr std::size_t kMaxSettingChars = 4096;

// Nothing, with the reason in `error` (naming the option or the file and
// key), when the settings cannot be told.
std::optional<ServiceChoice> ChooseService(const ServiceOptions& options,
                                           const std::string& settingsFile, std::string* error);
