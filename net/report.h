#pragma once

// The report a client receives: lines of key, value, a backslash and CR LF.

#include <string>
#include <string_view>
#include <vector>

struct ReportInputs {
    std::vector<std::string> paramNames; // the parameter rows' names, in row order
    std::vector<std::string> values;     // the value text of each parameter row
    std::string cpuLoad;
    std::string cpuType;
    std::string compName;
    std::vector<std::string> driveRows; // the drive list's rows, as shown
};

// Nine parameter lines keyed by the first five characters of each name, then
// "CPULoading =", "CPUDes =", "CompName=" and one line per drive row. Texts
// are single-byte and go out as they are.
std::string BuildReport(const ReportInputs& inputs);

// The report line of one drive row, without its line end: the row's first
// eight characters, "=", the size, "," and the free space, both figures with
// "." as decimal separator ("Drive C:=74.5,12.0\").
std::string DriveReportLine(std::string_view driveRow);
