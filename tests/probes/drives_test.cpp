#include "drive_survey.h"
#include "mountinfo.h"

#include <gtest/gtest.h>
#include <iostream>
#include <map>

namespace {

// A machine's mount table, the mount IDs left out of the fields that matter.
constexpr const char* kMountInfo =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "22 26 0:21 / /sys rw - sysfs sysfs rw\n"
    "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "27 26 0:24 / /tmp rw - tmpfs tmpfs rw\n"
    "28 26 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
    "29 26 8:17 / /srv/My\\040Data rw shared:5 master:2 - xfs /dev/sdb1 rw\n"
    "30 26 8:17 /sub /mnt/bind rw - xfs /dev/sdb1 rw\n"
    "31 26 8:33 / /media/usb rw - vfat /dev/sdc1 rw\n"
    "32 26 0:50 / /net/home rw - nfs4 server:/home rw\n"
    "33 26 0:51 / /mnt/ssh rw - fuse.sshfs user@host:/ rw\n"
    "34 26 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
    "35 26 7:0 / /snap/core ro - squashfs /dev/loop0 ro\n"
    "36 26 8:2 / /var/lib/docker rw - ext4 /dev/sda2 rw\n"
    "38 26 252:0 / /var/cache rw - ext4 /dev/zram0 rw\n"
    "39 26 1:0 / /mnt/ram rw - ext2 /dev/ram0 rw\n"
    "garbage line without fields\n"
    "37 26 8:49 / /data rw - ext4\n";

BlockDeviceLookup FakeDevices() {
    return [](const std::string& source) -> std::optional<BlockDevice> {
        static const std::map<std::string, BlockDevice> devices = {
            {"/dev/sda1", {0x801, false}},         {"/dev/sda2", {0x802, false}},
            {"/dev/sdb1", {0x811, false}},         {"/dev/sdc1", {0x821, true}},
            {"/dev/sr0", {0xB00, true}},           {"/dev/loop0", {0x700, false}},
            {"/dev/zram0", {0xFC00, false, true}}, {"/dev/ram0", {0x100, false, true}},
        };
        const auto found = devices.find(source);
        if (found == devices.end()) return std::nullopt;
        return found->second;
    };
}

} // namespace

TEST(MountInfo, ParsesFieldsAndDecodesEscapes) {
    const auto mounts = ParseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 15u); // the two broken lines are skipped
    EXPECT_EQ(mounts[2].mountPoint, "/");
    EXPECT_EQ(mounts[2].fsType, "ext4");
    EXPECT_EQ(mounts[2].source, "/dev/sda2");
    EXPECT_EQ(mounts[5].mountPoint, "/srv/My Data");
}

TEST(MountInfo, SelectsFixedDrivesOncePerDevice) {
    const auto drives = SelectFixedMounts(ParseMountInfo(kMountInfo), FakeDevices());
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].letter, "C:");
    EXPECT_EQ(drives[0].mountPoint, "/");
    EXPECT_EQ(drives[1].letter, "D:");
    EXPECT_EQ(drives[1].mountPoint, "/boot/efi");
    EXPECT_EQ(drives[2].letter, "E:");
    EXPECT_EQ(drives[2].mountPoint, "/srv/My Data");
}

TEST(MountInfo, RamDisksByTheirKernelNames) {
    for (const char* name : {"zram0", "zram12", "ram0", "ram15"})
        EXPECT_TRUE(IsMemoryDiskName(name)) << name;
    for (const char* name : {"sda2", "nvme0n1p1", "ram", "zram", "ramdisk", "rampart0", "dm-0", ""})
        EXPECT_FALSE(IsMemoryDiskName(name)) << name;
}

TEST(MountInfo, RootIsAlwaysDriveCEvenOnOverlay) {
    const auto drives = SelectFixedMounts(ParseMountInfo("1 0 0:40 / / rw - overlay overlay rw\n"
                                                         "2 1 0:41 / /proc rw - proc proc rw\n"),
                                          FakeDevices());
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].letter, "C:");
    EXPECT_TRUE(SelectFixedMounts({}, FakeDevices()).empty());
}

TEST(MountInfo, LettersStopAtZ) {
    std::string text = "1 0 8:0 / / rw - ext4 /dev/root rw\n";
    for (int i = 0; i < 30; ++i)
        text += "2 1 8:" + std::to_string(i) + " / /d" + std::to_string(i) + " rw - ext4 /dev/d" +
                std::to_string(i) + " rw\n";
    const auto drives = SelectFixedMounts(
        ParseMountInfo(text), [](const std::string& source) -> std::optional<BlockDevice> {
            return BlockDevice{std::hash<std::string>{}(source), false};
        });
    ASSERT_EQ(drives.size(), 24u);
    EXPECT_EQ(drives.back().letter, "Z:");
    EXPECT_EQ(drives.back().mountPoint, "/d22");
}

TEST(DriveRow, LaysOutSizeAndFreeUnderTheHeader) {
    constexpr std::uint64_t GiB = 1ull << 30;
    const FixedDrive drive{"C:", 80000000000ull, 12 * GiB, "/"};
    const std::string row = DriveRowText(drive, '.');
    EXPECT_EQ(row, "Drive C:" + std::string(24, ' ') + "74.5,     12.0");
    EXPECT_EQ(row.find("74.5"), 32u);
    EXPECT_EQ(row.find("12.0"), 42u);
    EXPECT_EQ(DriveRowText(drive, ','), "Drive C:" + std::string(24, ' ') + "74,5,     12.0");
    EXPECT_EQ(DriveRowText({"D:", 0, 0, "/x"}, '.'),
              "Drive D:" + std::string(24, ' ') + "0.0,     0.0");
}

TEST(DriveSurvey, ThisMachineHasARootDrive) {
    const auto drives = SurveyFixedDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0].Root, "C:");
    EXPECT_FALSE(drives[0].Location.empty());
    EXPECT_GT(drives[0].TotalBytes, 0u);
    EXPECT_LE(drives[0].FreeBytes, drives[0].TotalBytes);
    for (const FixedDrive& drive : drives)
        std::cout << DriveRowText(drive, '.') << "  (" << drive.Location << ")\n";
}
