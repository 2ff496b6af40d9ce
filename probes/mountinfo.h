#pragma once

// Which mounted filesystems of a Linux machine count as fixed drives, decided
// from the text of /proc/self/mountinfo.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MountEntry {
    std::string mountPoint; // octal escapes (\040 and the like) decoded
    std::string fsType;
    std::string source;
};

// One entry per well-formed line, in the file's order; other lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

struct BlockDevice {
    std::uint64_t id = 0;   // the device number
    bool removable = false; // the disk says so (for a partition, its disk)
    bool inMemory = false;  // a disk in RAM (zram, a RAM disk): no fixed drive
};

// Whether a block device's kernel name ("zram0", "ram1", "sda2") is a disk
// held in memory.
bool IsMemoryDiskName(std::string_view kernelName);

// Tells what block device a mount's source names; nothing when the source is
// no local block device.
using BlockDeviceLookup = std::function<std::optional<BlockDevice>(const std::string& source)>;

struct DriveMount {
    std::string letter; // "C:"
    std::string mountPoint;
};

// The fixed drives among the mounts. The root filesystem is always C:,
// whatever it sits on. Any other mount is fixed when its source is a local,
// non-removable block device holding a disk filesystem; RAM disks and RAM,
// pseudo, network, optical and image filesystems are not. Each device counts once (bind and
// repeated mounts add nothing), and letters follow mount order up to Z:.
std::vector<DriveMount> SelectFixedMounts(const std::vector<MountEntry>& mounts,
                                          const BlockDeviceLookup& lookup);
