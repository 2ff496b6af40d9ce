#pragma once

// The report a display receives: lines of key, value, a backslash and CR LF.

#include "monitor_model.h"

#include <string>

// From what the monitor knows: nine parameter lines keyed by the first five
// characters of each parameter's name, carrying the value its row shows;
// then "CPULoading =" and the bare load, "CPUDes =" and the CPU type,
// "CompName=" and the computer name, and one "Drive C:=size,free" line per
// fixed drive in gigabytes with "." as decimal separator. Texts are
// single-byte and go out as they are.
std::string BuildReport(const MonitorModel& model);
