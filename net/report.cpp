#include "report.h"

#include "drive_survey.h"

#include <algorithm>

namespace {

constexpr std::string_view kLineEnd = "\\\r\n";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string WithDecimalPoint(std::string_view figure) {
    std::string text(figure);
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

} // namespace

std::string DriveReportLine(std::string_view driveRow) {
    const std::string_view key = driveRow.substr(0, 8);
    const std::string_view fields = driveRow.substr(key.size());
    const auto separator = fields.find(kDriveFieldSeparator);
    const std::string_view size = Trim(fields.substr(0, separator));
    const std::string_view free =
        separator == std::string_view::npos
            ? std::string_view()
            : Trim(fields.substr(separator + kDriveFieldSeparator.size()));
    std::string line(key);
    line += '=';
    line += WithDecimalPoint(size);
    line += ',';
    line += WithDecimalPoint(free);
    line += kLineEnd;
    return line;
}

std::string BuildReport(const ReportInputs& inputs) {
    std::string report;
    report.reserve(512);
    for (std::size_t i = 0; i < inputs.paramNames.size(); ++i) {
        report += std::string_view(inputs.paramNames[i]).substr(0, 5);
        report += '=';
        if (i < inputs.values.size()) report += inputs.values[i];
        report += kLineEnd;
    }
    auto line = [&report](std::string_view key, std::string_view value) {
        report += key;
        report += value;
        report += kLineEnd;
    };
    line("CPULoading =", inputs.cpuLoad);
    line("CPUDes =", inputs.cpuType);
    line("CompName=", inputs.compName);
    for (const std::string& row : inputs.driveRows)
        report += DriveReportLine(row);
    return report;
}
