#include "mod_mbm_access.h"
#include "support/test_block.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace modMBMAccess;
using testing_support::TestBlock;

namespace {

#ifdef _WIN32
constexpr bool kPageGranularMappings = true;
#else
constexpr bool kPageGranularMappings = false;
#endif

bool AllZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

// Every byte of the block set to a pattern, then real names and readings.
std::vector<unsigned char> PatternedBlock() {
    std::vector<unsigned char> bytes(sizeof(SensorSnapshot));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 1);
    for (int i = 0; i < kSensorCount; ++i) {
        char name[kNameLength] = {};
        std::snprintf(name, sizeof name, "Sensor %d", i);
        std::memcpy(&bytes[88 + 80 * i + 1], name, kNameLength);
        const double reading = i * 1.25 - 10;
        std::memcpy(&bytes[88 + 80 * i + 16], &reading, sizeof reading);
    }
    return bytes;
}

} // namespace

TEST(ReadSnapshot, CopiesNamesAndReadingsOfAllEntries) {
    TestBlock block;
    const auto bytes = PatternedBlock();
    block.Write(bytes.data(), bytes.size());

    const SensorSnapshot snapshot = ReadSnapshotFrom(block.name());
    for (int i = 0; i < kSensorCount; ++i) {
        EXPECT_EQ(CleanName(RawName(snapshot.Sensors[i])), "Sensor " + std::to_string(i));
        EXPECT_EQ(snapshot.Sensors[i].Current, i * 1.25 - 10);
    }
    // Everything up to byte 8258 is the block's, everything after it zero:
    // the 256-character text keeps its first 33 characters only.
    const auto* copy = reinterpret_cast<const unsigned char*>(&snapshot);
    EXPECT_EQ(std::memcmp(copy, bytes.data(), kCopiedBytes), 0);
    EXPECT_EQ(std::memcmp(snapshot.LongText, &bytes[8226], 33), 0);
    EXPECT_TRUE(AllZero(copy + kCopiedBytes, sizeof snapshot - kCopiedBytes));
}

TEST(ReadSnapshot, ReadsEntry99FromBytes8024To8031) {
    TestBlock block;
    const double reading = 1234.5;
    block.Write(&reading, sizeof reading, 8024);
    EXPECT_EQ(ReadSnapshotFrom(block.name()).Sensors[99].Current, 1234.5);
}

// Every block that is not a live one gives the all-zero record, and says
// which it was.
TEST(ReadSnapshot, MissingShortOrAbandonedBlockGivesAllZeroRecord) {
    BlockStatus status;
    SensorSnapshot snapshot = ReadSnapshotFrom("/korvid-test-no-such-block", &status);
    EXPECT_TRUE(AllZero(&snapshot, sizeof snapshot));
    EXPECT_EQ(status.state, BlockState::Absent);

    // A short mapping must not be read past its end (on Linux that would be
    // SIGBUS). Windows sizes mappings in whole pages, so only blocks shorter
    // than the copy by a page or more are short there.
    std::vector<std::size_t> sizes = {100, 4096};
    if (!kPageGranularMappings) sizes.insert(sizes.end(), {0, kCopiedBytes - 1});
    for (std::size_t size : sizes) {
        TestBlock shortBlock(size);
        std::vector<unsigned char> ones(size, 0xFF);
        shortBlock.Write(ones.data(), ones.size());
        snapshot = ReadSnapshotFrom(shortBlock.name(), &status);
        EXPECT_TRUE(AllZero(&snapshot, sizeof snapshot)) << "size " << size;
        EXPECT_EQ(status.state, BlockState::Unusable) << "size " << size;
    }

    TestBlock justLongEnough(kCopiedBytes);
    const double reading = 7;
    justLongEnough.Write(&reading, sizeof reading, 88 + 16);
    EXPECT_EQ(ReadSnapshotFrom(justLongEnough.name(), &status).Sensors[0].Current, 7);
    EXPECT_EQ(status.state, BlockState::Live);
    EXPECT_FALSE(status.othersMayWrite);

    if (kPageGranularMappings) return; // a mapping goes with its publisher
    // A block whose publisher no longer runs: nobody holds it any more.
    TestBlock left(sizeof(SensorSnapshot), false);
    left.Write(&reading, sizeof reading, 88 + 16);
    snapshot = ReadSnapshotFrom(left.name(), &status);
    EXPECT_TRUE(AllZero(&snapshot, sizeof snapshot));
    EXPECT_EQ(status.state, BlockState::Abandoned);
}

#ifndef _WIN32
// A publisher may shrink and regrow the block while it is read; each read
// gives the block as it stood or the all-zero record, and never SIGBUS.
TEST(ReadSnapshot, SurvivesABlockShrinkingUnderIt) {
    TestBlock block;
    const double reading = 42;
    block.Write(&reading, sizeof reading, 88 + 16);
    const int fd = ::shm_open(block.name(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    std::atomic<bool> done = false;
    std::thread publisher([&] {
        while (!done) {
            (void)::ftruncate(fd, 0);
            (void)::ftruncate(fd, sizeof(SensorSnapshot));
            (void)::pwrite(fd, &reading, sizeof reading, 88 + 16);
        }
    });
    int full = 0, zero = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < until) {
        const SensorSnapshot snapshot = ReadSnapshotFrom(block.name());
        if (snapshot.Sensors[0].Current == 42) ++full;
        if (AllZero(&snapshot, sizeof snapshot)) ++zero;
    }
    done = true;
    publisher.join();
    ::close(fd);
    EXPECT_GT(full + zero, 0);
}

// Anyone may create files where the blocks live; a FIFO under the block's
// name must not stall the reader, and a block that anyone may write is read
// but flagged.
TEST(ReadSnapshot, PlantedAndOpenBlocks) {
    const std::string name = testing_support::UniqueBlockName();
    const std::string path = "/dev/shm" + name;
    ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
    BlockStatus status;
    const SensorSnapshot snapshot = ReadSnapshotFrom(name.c_str(), &status);
    EXPECT_TRUE(AllZero(&snapshot, sizeof snapshot));
    EXPECT_EQ(status.state, BlockState::Unusable);

    // A block that others may write is read, and said to be so.
    ::unlink(path.c_str());
    TestBlock open;
    ASSERT_EQ(::chmod(("/dev/shm" + std::string(open.name())).c_str(), 0666), 0);
    ReadSnapshotFrom(open.name(), &status);
    EXPECT_EQ(status.state, BlockState::Live);
    EXPECT_TRUE(status.othersMayWrite);
}
#endif

TEST(ReadSnapshot, DefaultNameIsTheMonitorsBlock) {
    EXPECT_STREQ(SensorBlockName(), kPageGranularMappings ? "$M$B$M$5$S$D$" : "/$M$B$M$5$S$D$");
}

TEST(CleanName, TrimsSpacesThenTrailingNuls) {
    using namespace std::string_literals;
    EXPECT_EQ(CleanName(std::string(12, '\0')), "");
    EXPECT_EQ(CleanName("  Temp\0\0\0\0\0\0"s), "Temp");
    EXPECT_EQ(CleanName("A\0B\0\0\0\0\0\0\0\0\0"s), "A\0B"s);
    EXPECT_EQ(CleanName("CPU \0\0\0\0\0\0\0\0"s), "CPU ");
    EXPECT_EQ(CleanName("  "), "");
    EXPECT_EQ(CleanName(""), "");
    EXPECT_EQ(CleanName(" \xE9t\xE9 "), "\xE9t\xE9");
}
