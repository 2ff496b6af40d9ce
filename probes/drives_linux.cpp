#include "drive_survey.h"
#include "mountinfo.h"

#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[16384];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

std::string ReadFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text = ReadAll(fd);
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

// The fixed drives among the mounts, chosen again only when the kernel says
// the mount table changed: it marks /proc/self/mountinfo with POLLPRI after
// a mount or an unmount (proc(5)), so a report reads no table of hundreds of
// mounts that has not changed since the last.
class MountTable {
public:
    const std::vector<DriveMount>& Fixed() {
        if (fd_ < 0) {
            fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
            if (fd_ < 0) return fixed_;
        } else {
            pollfd changed{fd_, POLLPRI, 0};
            if (::poll(&changed, 1, 0) <= 0 || !(changed.revents & (POLLPRI | POLLERR)))
                return fixed_;
            ::lseek(fd_, 0, SEEK_SET);
        }
        fixed_ = SelectFixedMounts(ParseMountInfo(ReadAll(fd_)), LookupBlockDevice);
        return fixed_;
    }

private:
    int fd_ = -1;
    std::vector<DriveMount> fixed_;
};

} // namespace

// Every report has fresh figures for every fixed drive.
std::vector<FixedDrive> SurveyFixedDrives() {
    static MountTable table;
    std::vector<FixedDrive> drives;
    for (const DriveMount& mount : table.Fixed()) {
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
