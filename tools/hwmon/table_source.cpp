#include "options.h"
#include "table_file.h"

#include <set>

namespace hwmon {

const std::vector<Reading>& TableSource::Read(Warnings& warnings) {
    const std::string signature = FileSignature(path_);
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
