#include "mod_mbm_access.h"

#include "shared_block.h"

#include <type_traits>

namespace modMBMAccess {

static_assert(std::is_trivially_copyable_v<SensorSnapshot>);

SensorSnapshot ReadSnapshot(BlockStatus* status) {
    return ReadSnapshotFrom(SensorBlockName(), status);
}

SensorSnapshot ReadSnapshotFrom(const char* blockName, BlockStatus* status) {
    SensorSnapshot snapshot{};
    const BlockStatus found = CopySharedBlock(blockName, &snapshot, kCopiedBytes);
    if (status) *status = found;
    return snapshot;
}

std::string_view RawName(const SensorEntry& entry) {
    return std::string_view(entry.Name, kNameLength);
}

std::string CleanName(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    while (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    return std::string(text);
}

} // namespace modMBMAccess
