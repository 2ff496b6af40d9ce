#include "report.h"

#include "number_text.h"

#include <string_view>

namespace {

constexpr std::string_view kLineEnd = "\\\r\n";

// The drive list's row begins "Drive C:"; its first eight characters are the
// key.
std::string DriveKey(const FixedDrive& drive) {
    std::string key = "Drive " + drive.Root.substr(0, 2);
    key.resize(8, ' ');
    return key;
}

} // namespace

std::string BuildReport(const MonitorModel& model) {
    std::string report;
    report.reserve(512);
    auto line = [&report](std::string_view key, std::string_view value) {
        report += key;
        report += value;
        report += kLineEnd;
    };
    for (int row = 0; row < pairing::kParamCount; ++row)
        line(std::string(pairing::ReportKey(row)) + "=", ValueText(model, row));
    line("CPULoading =", std::to_string(model.cpuLoad));
    line("CPUDes =", model.cpuType);
    line("CompName=", model.compName);
    for (const FixedDrive& drive : model.drives)
        line(DriveKey(drive) + "=", numtext::GigabytesText(drive.TotalBytes, '.') + "," +
                                        numtext::GigabytesText(drive.FreeBytes, '.'));
    return report;
}
