#pragma once

// A table file's text, for --table.

#include "readings.h"

#include <optional>
#include <string>

namespace hwmon {

// The file's text, at most kMaxTableBytes of it; nothing, with a warning,
// when it cannot be read, is larger, or is no regular file. A FIFO, a socket
// or a device is refused unread: waiting on one would hold every other
// reading.
std::optional<std::string> ReadTable(const std::string& path, Warnings& warnings);

} // namespace hwmon
