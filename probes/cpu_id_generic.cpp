#include "cpu_id.h"

// Processors other than x86 have neither CPUID nor RDTSC: every leaf reads as
// zero, so the processor has no brand name for this program.

void cCPUID::CpuClk(std::int64_t& Cycles) {
    Cycles = 0;
}

void cCPUID::CpuID(std::int32_t, std::int32_t& eax, std::int32_t& ebx, std::int32_t& ecx,
                   std::int32_t& edx) {
    eax = ebx = ecx = edx = 0;
}
