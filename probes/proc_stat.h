#pragma once

// Processor times from the text of /proc/stat, and the load between two
// readings.

#include "cpu_usage.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The first eight counters of a "cpuN" line, in clock ticks: user, nice,
// system, idle, iowait, irq, softirq, steal. Counters a kernel does not print
// are 0. guest and guest_nice are left out: the kernel already counts them
// inside user and nice.
struct CpuTimes {
    std::array<std::uint64_t, 8> ticks{};
};

// The times of the line whose first word is `cpu` ("cpu0"), or nothing when
// there is no such line or it carries no number.
std::optional<CpuTimes> ParseCpuLine(std::string_view statText, std::string_view cpu = "cpu0");

// The busy share of the time between two readings as a whole percent, halves
// to even; busy is everything but idle and iowait. A counter that ran
// backwards counts as no time; no time at all gives 0.
std::int32_t BusyPercent(const CpuTimes& before, const CpuTimes& after);

// Load of processor 0 from successive /proc/stat texts. `readStat` returns the
// file's text, or nothing when it cannot be read; such a sample gives 0 and
// the next one measures from the last good reading.
class ProcStatLoad : public CpuLoadSource {
public:
    explicit ProcStatLoad(std::function<std::optional<std::string>()> readStat)
        : readStat_(std::move(readStat)) {}
    std::int32_t Sample() override;

private:
    std::function<std::optional<std::string>()> readStat_;
    std::optional<CpuTimes> previous_;
};
