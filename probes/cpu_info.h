#pragma once

// The processor's identity as read once from CPUID: its brand string.

#include "cpu_id.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct CPUIDRegs {
    std::int32_t eax = 0;
    std::int32_t ebx = 0;
    std::int32_t ecx = 0;
    std::int32_t edx = 0;
};

class cCpuInfo {
public:
    // Reads standard leaves 0 to 3 and extended leaves 0x80000000 to
    // 0x80000008 through `cpuid` (the real instruction by default).
    explicit cCpuInfo(std::unique_ptr<cCPUID> cpuid = std::make_unique<cCPUID>());

    // The brand string of leaves 0x80000002 to 0x80000004, 48 single-byte
    // characters without leading and trailing spaces (NULs stay); empty when
    // the processor reports no brand leaves.
    std::string NameStr() const;

    // Re-reads the leaves when bReReadCPU is true; always recomputes the
    // highest leaves. Only construction calls it.
    void Refresh(bool bReReadCPU);

    const std::array<CPUIDRegs, 4>& StdLeaves() const { return StdLeaves_; }
    const std::array<CPUIDRegs, 9>& ExtLeaves() const { return ExtLeaves_; }
    std::int32_t nMaxStd() const { return nMaxStd_; }
    std::int32_t nMaxExt() const { return nMaxExt_; }

private:
    std::string LongToAscii(std::int32_t v) const;

    std::unique_ptr<cCPUID> oCPUID_;
    std::array<CPUIDRegs, 4> StdLeaves_{};
    std::array<CPUIDRegs, 9> ExtLeaves_{};
    std::int32_t nMaxStd_ = 0; // low byte of the highest standard leaf
    std::int32_t nMaxExt_ = 0; // low byte of the highest extended leaf
};
