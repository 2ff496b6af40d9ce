#include "cpu_usage.h"

#include <cmath>
#include <pdh.h>
#include <windows.h>

namespace {

// Windows NT and later: the processor-time counter of processor 0, a rate
// between the two latest collections of the query.
class PdhLoad : public CpuLoadSource {
public:
    PdhLoad() {
        ::PdhOpenQueryA(nullptr, 0, &query_);
        ::PdhAddCounterA(query_, "\\Processor(0)\\% Processor Time", 0, &counter_);
    }
    ~PdhLoad() override {
        ::PdhRemoveCounter(counter_);
        ::PdhCloseQuery(query_);
    }
    std::int32_t Sample() override {
        ::PdhCollectQueryData(query_);
        PDH_FMT_COUNTERVALUE value{};
        // An invalid counter (another language's names) leaves the value 0.
        if (::PdhGetFormattedCounterValue(counter_, PDH_FMT_DOUBLE, nullptr, &value) !=
            ERROR_SUCCESS)
            return 0;
        // Whole percent, halves to even (the default rounding mode).
        const double rounded = std::nearbyint(value.doubleValue);
        return rounded >= 0 && rounded <= 100 ? static_cast<std::int32_t>(rounded) : 0;
    }

private:
    PDH_HQUERY query_ = nullptr;
    PDH_HCOUNTER counter_ = nullptr;
};

// Windows 95, 98 and Me: the kernel's own figure from the dynamic registry.
// Reading StartStat starts the statistic and reading StopStat stops it.
class RegistryLoad : public CpuLoadSource {
public:
    RegistryLoad() {
        ReadOnce("PerfStats\\StartStat");
        ::RegOpenKeyA(kDynData, "PerfStats\\StatData", &statKey_);
    }
    ~RegistryLoad() override {
        ::RegCloseKey(statKey_);
        ReadOnce("PerfStats\\StopStat");
    }
    std::int32_t Sample() override { return Read(statKey_); }

private:
    static inline const HKEY kDynData = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000006));

    static std::int32_t Read(HKEY key) {
        DWORD type = REG_DWORD, size = 4, buffer = 0;
        ::RegQueryValueExA(key, "KERNEL\\CPUUsage", nullptr, &type,
                           reinterpret_cast<BYTE*>(&buffer), &size);
        return static_cast<std::int32_t>(buffer);
    }
    static void ReadOnce(const char* subKey) {
        HKEY key = nullptr;
        ::RegOpenKeyA(kDynData, subKey, &key);
        Read(key);
        ::RegCloseKey(key);
    }

    HKEY statKey_ = nullptr;
};

// True on the NT family; a failed query reads as not NT, as on Windows 95.
bool IsWindowsNT() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info; // 148 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExA(&info);
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

} // namespace

std::unique_ptr<CpuLoadSource> MakeSystemCpuLoadSource() {
    if (IsWindowsNT()) return std::make_unique<PdhLoad>();
    return std::make_unique<RegistryLoad>();
}
