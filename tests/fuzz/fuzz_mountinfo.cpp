// Any mount table text: the drive choice stays within C: to Z:, root first.
#include "mountinfo.h"

#include <cstdint>
#include <functional>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto drives = SelectFixedMounts(
        ParseMountInfo(text), [](const std::string& source) -> std::optional<BlockDevice> {
            const auto h = std::hash<std::string>{}(source);
            if (h % 3 == 0) return std::nullopt;
            return BlockDevice{h % 7, h % 5 == 0};
        });
    if (drives.size() > 24) __builtin_trap();
    for (std::size_t i = 0; i < drives.size(); ++i)
        if (drives[i].letter != std::string(1, static_cast<char>('C' + i)) + ":") __builtin_trap();
    return 0;
}
