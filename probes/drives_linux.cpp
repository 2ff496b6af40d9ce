#include "drive_survey.h"
#include "mountinfo.h"

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

std::string ReadFile(const char* path) {
    std::string text;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[16384];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

std::optional<BlockDevice> LookupBlockDevice(const std::string& source) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    const std::string sys = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                            std::to_string(minor(st.st_rdev));
    // A partition has no "removable" of its own; its disk is one level up.
    std::string removable = ReadFile((sys + "/removable").c_str());
    if (removable.empty()) removable = ReadFile((sys + "/../removable").c_str());
    // The link names the device as the kernel does: ".../block/zram0".
    char target[PATH_MAX];
    const ssize_t n = ::readlink(sys.c_str(), target, sizeof target - 1);
    const std::string name = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "";
    return BlockDevice{static_cast<std::uint64_t>(st.st_rdev), removable.rfind('1', 0) == 0,
                       IsMemoryDiskName(name.substr(name.rfind('/') + 1))};
}

} // namespace

std::vector<FixedDrive> SurveyFixedDrives() {
    // Every report surveys the drives; the mount table rarely changes, so the
    // choice of drives is kept until its text does.
    static std::string lastMountInfo;
    static std::vector<DriveMount> lastMounts;
    std::string mountInfo = ReadFile("/proc/self/mountinfo");
    if (mountInfo != lastMountInfo) {
        lastMounts = SelectFixedMounts(ParseMountInfo(mountInfo), LookupBlockDevice);
        lastMountInfo = std::move(mountInfo);
    }

    std::vector<FixedDrive> drives;
    for (const DriveMount& mount : lastMounts) {
        FixedDrive drive{mount.letter, 0, 0, mount.mountPoint};
        struct statvfs vfs {};
        if (::statvfs(mount.mountPoint.c_str(), &vfs) == 0) {
            drive.TotalBytes = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
            drive.FreeBytes = static_cast<std::uint64_t>(vfs.f_bfree) * vfs.f_frsize;
        }
        drives.push_back(std::move(drive));
    }
    return drives;
}
