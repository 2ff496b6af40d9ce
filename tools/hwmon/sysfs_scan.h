#pragma once

// The machine's own readings from the kernel's hwmon interface and cpufreq.

#include "readings.h"

namespace hwmon {

// Every temperature, fan and voltage input under <sysRoot>/class/hwmon, in
// the order chip, kind (temperatures, fans, voltages), number; then processor
// 0's clock from <sysRoot>/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq,
// else the "cpu MHz" of processor 0 in <procRoot>/cpuinfo. Files that cannot
// be read or hold no number are skipped with a warning.
std::vector<Reading> ScanSystem(const std::string& sysRoot, const std::string& procRoot,
                                Warnings* warnings);

} // namespace hwmon
