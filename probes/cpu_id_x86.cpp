#include "cpu_id.h"

#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#include <x86intrin.h>
#endif

void cCPUID::CpuClk(std::int64_t& Cycles) {
    Cycles = static_cast<std::int64_t>(__rdtsc());
}

void cCPUID::CpuID(std::int32_t nLevel, std::int32_t& eax, std::int32_t& ebx, std::int32_t& ecx,
                   std::int32_t& edx) {
    unsigned int r[4] = {0, 0, 0, 0};
#if defined(_MSC_VER)
    int regs[4];
    __cpuid(regs, nLevel);
    for (int i = 0; i < 4; ++i)
        r[i] = static_cast<unsigned int>(regs[i]);
#else
    // __get_cpuid_max makes the ID-flag test on 32-bit builds (and knows that
    // every x86-64 processor has CPUID); 0 means the instruction is absent.
    if (__get_cpuid_max(0, nullptr) != 0) {
        __cpuid(static_cast<unsigned int>(nLevel), r[0], r[1], r[2], r[3]);
    }
#endif
    eax = static_cast<std::int32_t>(r[0]);
    ebx = static_cast<std::int32_t>(r[1]);
    ecx = static_cast<std::int32_t>(r[2]);
    edx = static_cast<std::int32_t>(r[3]);
}
