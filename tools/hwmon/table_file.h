#pragma once

// A table file's text, for --table.

#include "readings.h"

#include <csignal>
#include <optional>
#include <string>

namespace hwmon {

// The file's text, at most kMaxTableBytes of it; nothing, with a warning,
// when it cannot be read or is larger. A signal ends the wait for a FIFO's
// writer or for its data (when its handler has no SA_RESTART), and once
// `stop` is set it gives nothing.
std::optional<std::string> ReadTable(const std::string& path, Warnings& warnings,
                                     const volatile std::sig_atomic_t& stop);

} // namespace hwmon
