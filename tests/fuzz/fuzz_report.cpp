// Any window texts: the report is built, every drive line ends its line, and
// a drive row in the survey's own layout gives exactly one comma.
#include "report.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    ReportInputs in;
    std::size_t start = 0;
    std::vector<std::string> fields;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\n') {
            fields.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i < 9)
            in.paramNames.push_back(fields[i]);
        else if (i < 18)
            in.values.push_back(fields[i]);
        else
            in.driveRows.push_back(fields[i]);
    }
    BuildReport(in);
    for (const auto& row : in.driveRows) {
        const auto line = DriveReportLine(row);
        if (line.size() < 3 || line.substr(line.size() - 3) != "\\\r\n") __builtin_trap();
    }
    // A row laid out as the survey writes it, with figures from the input.
    std::string figure;
    for (char c : text.substr(0, 12))
        if ((c >= '0' && c <= '9') || c == ',' || c == '.') figure += c;
    if (figure.find(",     ") == std::string::npos && figure.find(',') == std::string::npos) {
        const auto line =
            DriveReportLine("Drive C:" + std::string(24, ' ') + figure + ",     " + figure);
        if (std::count(line.begin(), line.end(), ',') != 1) __builtin_trap();
    }
    return 0;
}
