#pragma once

// The sensor table that the hardware monitor publishes in a named shared-memory
// block, and the routines that copy it out.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace modMBMAccess {

inline constexpr int kSensorCount = 100;
inline constexpr std::size_t kNameLength = 12;
// Only the first 8259 bytes of the block are copied; the rest of the record
// (most of the 256-character text at 8226 and the alignment) stays zero.
inline constexpr std::size_t kCopiedBytes = 8259;

#pragma pack(push, 4)
// One sensor slot, 80 bytes. Only Name and Current are ever read; the other
// bytes keep their place so that the offsets match the publisher's.
struct SensorEntry {
    std::uint8_t Kind;         // 0: free for the publisher's own use
    char Name[kNameLength];    // 1: single-byte text, NUL-filled
    char Reserved1[3];         // 13
    double Current;            // 16: current reading, no unit
    std::uint8_t Reserved[56]; // 24: limits, counts, unit texts; never read
};

// The whole block, 8484 bytes, little-endian.
struct SensorSnapshot {
    std::uint8_t Leading[88];          // 0: opaque header
    SensorEntry Sensors[kSensorCount]; // 88
    std::uint8_t Information[56];      // 8088
    char Texts[2][41];                 // 8144, 8185
    char LongText[256];                // 8226
    std::uint8_t Alignment[2];         // 8482
};
#pragma pack(pop)

static_assert(sizeof(SensorEntry) == 80);
static_assert(offsetof(SensorEntry, Name) == 1);
static_assert(offsetof(SensorEntry, Current) == 16);
static_assert(offsetof(SensorSnapshot, Sensors) == 88);
static_assert(offsetof(SensorSnapshot, LongText) == 8226);
static_assert(sizeof(SensorSnapshot) == 8484);

// What a read found where the sensor block should be.
enum class BlockState {
    Live,      // a block of the table's size, kept by a running publisher
    Absent,    // no block of that name
    Abandoned, // a block whose publisher is no longer running (Linux: it
               // holds a lock on the block while it runs)
    Unusable,  // shorter than the table, not a block, or not readable
};

struct BlockStatus {
    BlockState state = BlockState::Absent;
    // Users other than its owner may write it (mode 0666, or group-writable):
    // its readings can be anyone's.
    bool othersMayWrite = false;
};

// Copies the first kCopiedBytes of the sensor block into a zeroed record.
// Never fails: an absent block, one that cannot be mapped, one shorter than
// kCopiedBytes, or one that no running publisher keeps gives the all-zero
// record. `status`, when given, says which it was.
SensorSnapshot ReadSnapshot(BlockStatus* status = nullptr);

// As ReadSnapshot, from the block of the given platform name (tests and tools
// use their own names so that they never meet a running publisher).
SensorSnapshot ReadSnapshotFrom(const char* blockName, BlockStatus* status = nullptr);

// The entry's name as the 12 bytes stand, NULs included.
std::string_view RawName(const SensorEntry& entry);

// Removes leading and trailing spaces, then trailing NULs, in that order:
// "CPU \0\0" gives "CPU ", and a NUL between other characters stays.
std::string CleanName(std::string_view text);

} // namespace modMBMAccess
