#include "mountinfo.h"

#include "words.h"

#include <algorithm>
#include <array>

namespace {

// The kernel writes space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        field.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// Filesystems that never make a fixed drive even when a block device holds
// them: read-only images and optical media.
bool IsImageOrOptical(std::string_view fsType) {
    constexpr std::array<std::string_view, 5> kinds = {"squashfs", "iso9660", "udf", "cramfs",
                                                       "erofs"};
    return std::find(kinds.begin(), kinds.end(), fsType) != kinds.end();
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        const auto fields = SplitWords(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

        // id parent major:minor root mount-point options [optional...] - type source super
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 ||
            fields.end() - dash < 3)
            continue;
        mounts.push_back({Unescape(fields[4]), Unescape(dash[1]), Unescape(dash[2])});
    }
    return mounts;
}

bool IsMemoryDiskName(std::string_view kernelName) {
    for (const std::string_view prefix : {"zram", "ram"})
        if (kernelName.substr(0, prefix.size()) == prefix && kernelName.size() > prefix.size() &&
            kernelName.find_first_not_of("0123456789", prefix.size()) == std::string_view::npos)
            return true;
    return false;
}

std::vector<DriveMount> SelectFixedMounts(const std::vector<MountEntry>& mounts,
                                          const BlockDeviceLookup& lookup) {
    std::vector<DriveMount> drives;
    std::vector<std::uint64_t> seen;

    // A later mount on "/" hides the earlier ones; the visible one is C:.
    const auto root = std::find_if(mounts.rbegin(), mounts.rend(),
                                   [](const MountEntry& m) { return m.mountPoint == "/"; });
    if (root != mounts.rend()) {
        drives.push_back({"C:", "/"});
        if (const auto device = lookup(root->source)) seen.push_back(device->id);
    }

    for (const MountEntry& mount : mounts) {
        if (drives.size() >= 24) break; // C: to Z:
        if (mount.mountPoint == "/" || mount.source.rfind("/dev/", 0) != 0 ||
            IsImageOrOptical(mount.fsType))
            continue;
        const auto device = lookup(mount.source);
        if (!device || device->removable || device->inMemory ||
            std::find(seen.begin(), seen.end(), device->id) != seen.end())
            continue;
        seen.push_back(device->id);
        drives.push_back(
            {std::string(1, static_cast<char>('C' + drives.size())) + ":", mount.mountPoint});
    }
    return drives;
}
