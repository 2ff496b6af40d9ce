#include "cpu_info.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

// CPUID answers from a table instead of the processor.
class FakeCpuid : public cCPUID {
public:
    std::map<std::uint32_t, CPUIDRegs> leaves;
    int calls = 0;

    void CpuID(std::int32_t nLevel, std::int32_t& eax, std::int32_t& ebx, std::int32_t& ecx,
               std::int32_t& edx) override {
        ++calls;
        const CPUIDRegs regs = leaves[static_cast<std::uint32_t>(nLevel)];
        eax = regs.eax;
        ebx = regs.ebx;
        ecx = regs.ecx;
        edx = regs.edx;
    }

    // A processor with the given highest leaves and a 48-byte brand.
    static std::unique_ptr<FakeCpuid> With(std::uint32_t maxStd, std::uint32_t maxExt,
                                           const std::string& brand) {
        auto fake = std::make_unique<FakeCpuid>();
        fake->leaves[0].eax = static_cast<std::int32_t>(maxStd);
        fake->leaves[0x80000000].eax = static_cast<std::int32_t>(maxExt);
        std::string bytes = brand.substr(0, 48);
        bytes.resize(48, '\0');
        for (std::size_t leaf = 0; leaf < 3; ++leaf) {
            CPUIDRegs& r = fake->leaves[static_cast<std::uint32_t>(0x80000002 + leaf)];
            std::memcpy(&r, bytes.data() + 16 * leaf, sizeof r);
        }
        return fake;
    }
};

} // namespace

TEST(CpuInfo, ReadsTheBrandString) {
    std::string brand = "        Intel(R) Core(TM) i5 CPU";
    brand.resize(48, ' ');
    cCpuInfo padded(FakeCpuid::With(0x0D, 0x80000008, brand));
    EXPECT_EQ(padded.NameStr(), "Intel(R) Core(TM) i5 CPU");
    EXPECT_EQ(padded.nMaxStd(), 0x0D);
    EXPECT_EQ(padded.nMaxExt(), 8);

    // A short brand keeps the NULs after it; only spaces are trimmed.
    cCpuInfo shortBrand(FakeCpuid::With(1, 0x80000004, "AMD Athlon(tm) XP 2400+"));
    EXPECT_EQ(shortBrand.nMaxExt(), 4);
    EXPECT_EQ(shortBrand.NameStr(), std::string("AMD Athlon(tm) XP 2400+") + std::string(25, '\0'));
}

TEST(CpuInfo, NoBrandWithoutBrandLeaves) {
    cCpuInfo noLeaves(FakeCpuid::With(1, 0x80000001, "Hidden brand"));
    EXPECT_EQ(noLeaves.nMaxExt(), 1);
    EXPECT_EQ(noLeaves.NameStr(), "");

    // Standard leaf 0x100 has low byte 0: the extended leaves are not believed.
    cCpuInfo lowByteZero(FakeCpuid::With(0x100, 0x80000008, "Hidden brand"));
    EXPECT_EQ(lowByteZero.nMaxStd(), 0);
    EXPECT_EQ(lowByteZero.nMaxExt(), 0);
    EXPECT_EQ(lowByteZero.NameStr(), "");

    cCpuInfo noCpuid(std::make_unique<FakeCpuid>());
    EXPECT_EQ(noCpuid.NameStr(), "");
}

TEST(CpuInfo, ReadsAllThirteenLeavesOnce) {
    auto fake = FakeCpuid::With(1, 0x80000004, "X");
    FakeCpuid* raw = fake.get();
    cCpuInfo info(std::move(fake));
    EXPECT_EQ(raw->calls, 13);
}

TEST(CpuInfo, HighBytesSurviveAsSingleByteCharacters) {
    cCpuInfo info(FakeCpuid::With(1, 0x80000004, "Caf\xE9 \x80\xFF"));
    EXPECT_EQ(info.NameStr().substr(0, 7), "Caf\xE9 \x80\xFF");
}

TEST(CpuId, ShiftRightIsLogicalModulo32) {
    EXPECT_EQ(cCPUID::ShiftRight(static_cast<std::int32_t>(0x80000000), 24), 0x80);
    EXPECT_EQ(cCPUID::ShiftRight(-1, 28), 0xF);
    EXPECT_EQ(cCPUID::ShiftRight(0x12345678, 32), 0x12345678);
    EXPECT_EQ(cCPUID::ShiftRight(0x12345678, 36), 0x01234567);
}
