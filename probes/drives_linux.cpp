#include "drive_survey.h"
#include "mountinfo.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<BlockDevice> LookupBlockDevice(const std::string& source) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    const std::string sys = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                            std::to_string(minor(st.st_rdev));
    // A partition has no "removable" of its own; its disk is one level up.
    std::ifstream flag(sys + "/removable");
    if (!flag) flag.open(sys + "/../removable");
    char removable = '0';
    flag >> removable;
    return BlockDevice{static_cast<std::uint64_t>(st.st_rdev), removable == '1'};
}

} // namespace

std::vector<FixedDrive> SurveyFixedDrives() {
    std::vector<FixedDrive> drives;
    for (const DriveMount& mount :
         SelectFixedMounts(ParseMountInfo(ReadFile("/proc/self/mountinfo")), LookupBlockDevice)) {
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
