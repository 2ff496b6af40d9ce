#pragma once

// A report as a display reads it: after the greeting, lines of
// "key=value\" ending in CR LF. Keys are kept exactly as sent ("CPULoading "
// with its blank before '='), values as single-byte text. Plain C++.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lcd {

inline constexpr std::size_t kMaxReportBytes = std::size_t{64} * 1024;

struct Report {
    std::vector<std::pair<std::string, std::string>> entries; // in the order sent
};

// The report in `text` (what followed the greeting). A line that lacks its
// backslash or its CR, and a last line cut short, still count; lines with no
// '=' are skipped. Nothing, with the reason in `why`, for text over 64 KiB
// or with no line of the form at all.
std::optional<Report> ParseReport(std::string_view text, std::string* why);

// The value of a field: the entry whose key, less the blanks before its
// '=', is `field` ("CPULoading" finds "CPULoading "). Nothing when absent.
std::optional<std::string_view> Find(const Report& report, std::string_view field);

} // namespace lcd
