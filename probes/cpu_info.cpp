#include "cpu_info.h"

namespace {
constexpr std::uint32_t kExtendedBase = 0x80000000u;
}

cCpuInfo::cCpuInfo(std::unique_ptr<cCPUID> cpuid) : oCPUID_(std::move(cpuid)) {
    Refresh(true);
}

void cCpuInfo::Refresh(bool bReReadCPU) {
    if (bReReadCPU) {
        auto read = [this](std::uint32_t leaf, CPUIDRegs& regs) {
            oCPUID_->CpuID(static_cast<std::int32_t>(leaf), regs.eax, regs.ebx, regs.ecx, regs.edx);
        };
        // Every leaf is executed whatever the processor reports as highest.
        for (std::uint32_t i = 0; i < StdLeaves_.size(); ++i)
            read(i, StdLeaves_[i]);
        for (std::uint32_t i = 0; i < ExtLeaves_.size(); ++i)
            read(kExtendedBase + i, ExtLeaves_[i]);
    }
    nMaxStd_ = StdLeaves_[0].eax & 0xFF;
    if (nMaxStd_ != 0) nMaxExt_ = ExtLeaves_[0].eax & 0xFF;
}

std::string cCpuInfo::LongToAscii(std::int32_t v) const {
    std::string t;
    for (int shift = 0; shift < 32; shift += 8)
        t += static_cast<char>(cCPUID::ShiftRight(v, shift) & 0xFF);
    return t;
}

std::string cCpuInfo::NameStr() const {
    std::string s;
    if (nMaxExt_ >= 4) {
        for (std::size_t i = 2; i <= 4; ++i) {
            const CPUIDRegs& leaf = ExtLeaves_[i];
            s += LongToAscii(leaf.eax) + LongToAscii(leaf.ebx) + LongToAscii(leaf.ecx) +
                 LongToAscii(leaf.edx);
        }
    }
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}
