#include "display_report.h"

namespace lcd {

std::optional<Report> ParseReport(std::string_view text, std::string* why) {
    if (text.size() > kMaxReportBytes) {
        if (why) *why = "a report of over 64 KiB";
        return std::nullopt;
    }
    Report report;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.back() == '\\') line.remove_suffix(1);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        report.entries.emplace_back(std::string(line.substr(0, equals)),
                                    std::string(line.substr(equals + 1)));
    }
    if (report.entries.empty()) {
        if (why) *why = "no report: no line of the form key=value";
        return std::nullopt;
    }
    return report;
}

std::optional<std::string_view> Find(const Report& report, std::string_view field) {
    for (const auto& [key, value] : report.entries) {
        std::string_view name = key;
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name == field) return value;
    }
    return std::nullopt;
}

} // namespace lcd
