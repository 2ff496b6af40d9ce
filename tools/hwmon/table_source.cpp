#include "options.h"
#include "small_file.h"
#include "table_file.h"

#include <set>

namespace hwmon {

std::optional<std::string> ReadTable(const std::string& path, Warnings& warnings) {
    profile::SmallFile file = profile::ReadSmallFile(path, kMaxTableBytes);
    switch (file.found) {
    case profile::SmallFile::Found::Text:
        return std::move(file.text);
    case profile::SmallFile::Found::Missing:
    case profile::SmallFile::Found::Unreadable:
        warnings.push_back("cannot read " + Shown(path) + ": " + file.what);
        break;
    case profile::SmallFile::Found::NotAFile:
        warnings.push_back(Shown(path) + " is " + file.what + ", not a table file");
        break;
    case profile::SmallFile::Found::TooLarge:
        warnings.push_back(Shown(path) + " is larger than 1 MiB; the table is refused");
        break;
    }
    return std::nullopt;
}

const std::vector<Reading>& TableSource::Read(Warnings& warnings) {
    const std::string signature = profile::FileSignature(path_);
    if (!signature.empty() && signature == signature_) return readings_;
    signature_ = signature;
    readings_.clear();
    const auto text = ReadTable(path_, warnings);
    if (!text) {
        signature_.clear(); // tried again next time
        return readings_;
    }
    std::set<std::string> names;
    for (Reading& reading : ParseTable(*text, &warnings)) {
        if (!names.insert(reading.name).second) {
            warnings.push_back(Shown(path_) + ": \"" + ForTerminal(reading.name) +
                               "\" is there twice; its first line is published");
            continue;
        }
        reading.key = reading.name;
        readings_.push_back(std::move(reading));
    }
    return readings_;
}

} // namespace hwmon
