#pragma once

// A --table file: its text, and the readings it gives as it changes
// (table_source.cpp).

#include "readings.h"

#include <optional>
#include <string>

namespace hwmon {

// The file's text, at most kMaxTableBytes of it; nothing, with a warning,
// when it cannot be read, is larger, or is no regular file. A FIFO, a socket
// or a device is refused unread: waiting on one would hold every other
// reading.
std::optional<std::string> ReadTable(const std::string& path, Warnings& warnings);

// A --table file, read again whenever it changes (another file in its
// place, another size or modification time). Its lines' names are their
// keys: a name given twice is left out after its first line. While it cannot
// be read it gives no readings, so that theirs read NA.
class TableSource {
public:
    explicit TableSource(std::string path) : path_(std::move(path)) {}
    const std::vector<Reading>& Read(Warnings& warnings);
    // Whether the last Read() found the file readable.
    bool Readable() const { return !signature_.empty(); }

private:
    std::string path_;
    std::string signature_; // what the file was when read last
    std::vector<Reading> readings_;
};

} // namespace hwmon
