#pragma once

// Processor-level operations: the time-stamp counter, the CPUID instruction
// and a 32-bit logical shift. The processor-specific bodies live in one file
// per processor family (cpu_id_x86.cpp, cpu_id_generic.cpp).

#include <cstdint>

class cCPUID {
public:
    virtual ~cCPUID() = default;

    // Receives the time-stamp counter; 0 on processors without one.
    void CpuClk(std::int64_t& Cycles);

    // Executes CPUID with EAX = nLevel (ECX not loaded) and writes the four
    // registers; writes 0 to all four when the processor has no CPUID.
    // Extended leaves are passed as negative numbers (0x80000000 upward).
    virtual void CpuID(std::int32_t nLevel, std::int32_t& eax, std::int32_t& ebx, std::int32_t& ecx,
                       std::int32_t& edx);

    // Value shifted right by Shift modulo 32, zeros entering from the left.
    static std::int32_t ShiftRight(std::int32_t Value, std::int32_t Shift) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(Value) >> (Shift & 31));
    }
};
