#include "pairing.h"

#include "number_text.h"

#include <charconv>
#include <cmath>

namespace pairing {

std::string_view ReportKey(int row) {
    return kParamNames[static_cast<std::size_t>(row)].substr(0, 5);
}

std::optional<int> SensorSlotOf(std::string_view list4Text) {
    int slot = -1;
    const auto parsed =
        std::from_chars(list4Text.data(), list4Text.data() + list4Text.size(), slot);
    if (list4Text.empty() || parsed.ec != std::errc() ||
        parsed.ptr != list4Text.data() + list4Text.size() || slot < 0 ||
        slot >= modMBMAccess::kSensorCount)
        return std::nullopt;
    return slot;
}

std::string SensorReadingText(double reading, char decimalSeparator) {
    if (!std::isfinite(reading)) return std::string(kNoReading);
    return numtext::FormatGeneral(reading, decimalSeparator);
}

std::string ReadingText(double reading, char decimalSeparator) {
    if (!std::isfinite(reading)) return std::string(kNoReading);
    return numtext::FormatGeneral(numtext::RoundHalfEven(reading, 2), decimalSeparator);
}

std::string JoinSensorsValue(const std::vector<std::string>& list4Texts) {
    std::string value;
    for (const std::string& text : list4Texts)
        value += text + '\\';
    return value;
}

std::vector<std::string> SplitSensorsValue(std::string_view value) {
    value = value.substr(0, std::min(value.find('\0'), std::string_view::size_type{99}));
    std::vector<std::string> items;
    while (items.size() < kParamCount) {
        const auto backslash = value.find('\\');
        if (backslash == std::string_view::npos) break;
        items.emplace_back(value.substr(0, backslash));
        value.remove_prefix(backslash + 1);
    }
    items.resize(kParamCount, std::string(kUnpaired));
    return items;
}

std::string CpuTypeText(std::string_view nameStr) {
    std::string type = modMBMAccess::CleanName(nameStr);
    // The brand's three letters and whatever follows them ("AMD-K6(tm)"
    // shows as "K6(tm)"); a name that holds nothing more stays whole.
    if (type.rfind("AMD", 0) == 0 && type.size() > 4) type.erase(0, 4);
    return type;
}

} // namespace pairing
