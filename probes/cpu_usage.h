#pragma once

// The processor load, in whole percent.

#include <cstdint>
#include <memory>

// Where the load comes from. Each Sample() measures the time since the
// previous Sample().
class CpuLoadSource {
public:
    virtual ~CpuLoadSource() = default;
    virtual std::int32_t Sample() = 0;
};

// The operating system's own figure for processor 0 (cpu_usage_linux.cpp,
// cpu_usage_win32.cpp).
std::unique_ptr<CpuLoadSource> MakeSystemCpuLoadSource();

class clsCPUUsage {
public:
    // Measures the system's processor 0.
    clsCPUUsage();
    // Measures through `source`. Construction takes one priming sample, so the
    // first Usage() covers the time since construction.
    explicit clsCPUUsage(std::unique_ptr<CpuLoadSource> source);

    // The load of processor 0 since the previous Usage() by any caller, 0 to
    // 100; 0 when no figure can be had.
    std::int32_t Usage();

private:
    std::unique_ptr<CpuLoadSource> source_;
};
