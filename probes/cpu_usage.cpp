#include "cpu_usage.h"

clsCPUUsage::clsCPUUsage() : clsCPUUsage(MakeSystemCpuLoadSource()) {}

clsCPUUsage::clsCPUUsage(std::unique_ptr<CpuLoadSource> source) : source_(std::move(source)) {
    Usage();
}

std::int32_t clsCPUUsage::Usage() {
    return source_ ? source_->Sample() : 0;
}
