#include "proc_stat.h"

#include <deque>
#include <gtest/gtest.h>
#include <iostream>

namespace {

CpuTimes Times(std::initializer_list<std::uint64_t> ticks) {
    CpuTimes t;
    std::size_t i = 0;
    for (auto v : ticks)
        t.ticks[i++] = v;
    return t;
}

} // namespace

TEST(ProcStat, ParsesTheCpu0LineOnly) {
    const std::string stat = "cpu  900 0 900 200 0 0 0 0 0 0\n"
                             "cpu0 10 20 30 40 50 60 70 80 90 100\n"
                             "cpu1 1 1 1 1 1 1 1 1 1 1\n"
                             "intr 12345\n";
    const auto cpu0 = ParseCpuLine(stat);
    ASSERT_TRUE(cpu0);
    EXPECT_EQ(cpu0->ticks, (std::array<std::uint64_t, 8>{10, 20, 30, 40, 50, 60, 70, 80}));

    // Old kernels print four counters; the rest are 0.
    const auto old = ParseCpuLine("cpu0 5 6 7 8\n");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->ticks, (std::array<std::uint64_t, 8>{5, 6, 7, 8, 0, 0, 0, 0}));

    EXPECT_FALSE(ParseCpuLine("cpu 1 2 3 4\ncpu1 1 2 3 4\n"));
    EXPECT_FALSE(ParseCpuLine("cpu0\n"));
    EXPECT_FALSE(ParseCpuLine("cpu0 x y\n"));
    EXPECT_FALSE(ParseCpuLine(""));
    EXPECT_FALSE(ParseCpuLine("cpu00 1 2 3 4\n"));
}

TEST(ProcStat, BusyShareRoundsHalvesToEven) {
    // busy: user nice system irq softirq steal; idle: idle iowait.
    EXPECT_EQ(BusyPercent(Times({0, 0, 0, 0}), Times({50, 0, 0, 50})), 50);
    EXPECT_EQ(BusyPercent(Times({0, 0, 0, 0, 0}), Times({10, 10, 10, 35, 35, 0, 0, 0})), 30);
    EXPECT_EQ(BusyPercent(Times({}), Times({0, 0, 0, 0, 0, 1, 1, 1})), 100);
    EXPECT_EQ(BusyPercent(Times({}), Times({25, 0, 0, 175})), 12); // 12.5
    EXPECT_EQ(BusyPercent(Times({}), Times({27, 0, 0, 173})), 14); // 13.5
    EXPECT_EQ(BusyPercent(Times({}), Times({1, 0, 0, 2})), 33);
    EXPECT_EQ(BusyPercent(Times({5, 5, 5, 5}), Times({5, 5, 5, 5})), 0); // no time passed
    // A counter running backwards counts as nothing.
    EXPECT_EQ(BusyPercent(Times({100, 0, 0, 0}), Times({50, 0, 0, 10})), 0);
    EXPECT_EQ(BusyPercent(Times({}), Times({UINT64_MAX, 0, 0, UINT64_MAX})), 50);
    // Sums that would wrap around (found by fuzzing).
    EXPECT_EQ(BusyPercent(Times({}), Times({UINT64_MAX, UINT64_MAX, 0, 1})), 100);
    EXPECT_EQ(BusyPercent(Times({}), Times({1, 0, 0, UINT64_MAX, UINT64_MAX})), 0);
    EXPECT_EQ(BusyPercent(Times({}), Times({0, 8315, 184467440, 0, 0, 0, 0, 0})), 100);
}

TEST(ProcStat, LoadMeasuresSinceThePreviousSample) {
    std::deque<std::optional<std::string>> texts = {
        "cpu0 100 0 0 100\n", // priming
        "cpu0 150 0 0 150\n", // 50 %
        std::nullopt,         // unreadable
        "intr 1\n",           // no cpu0
        "cpu0 250 0 0 150\n", // 100 % since the last good one
        "cpu0 250 0 0 150\n", // no time passed
    };
    clsCPUUsage usage(std::make_unique<ProcStatLoad>([&texts] {
        auto text = texts.front();
        texts.pop_front();
        return text;
    }));
    EXPECT_EQ(usage.Usage(), 50);
    EXPECT_EQ(usage.Usage(), 0);
    EXPECT_EQ(usage.Usage(), 0);
    EXPECT_EQ(usage.Usage(), 100);
    EXPECT_EQ(usage.Usage(), 0);
}

TEST(ProcStat, SystemSourceGivesAPercentage) {
    clsCPUUsage usage;
    const auto load = usage.Usage();
    std::cout << "processor 0 load: " << load << " %\n";
    EXPECT_GE(load, 0);
    EXPECT_LE(load, 100);
}
