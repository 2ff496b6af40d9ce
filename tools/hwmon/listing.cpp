#include "listing.h"

#include <cmath>

namespace hwmon {

namespace {

struct KindText {
    const char* name;
    const char* unit;
};

KindText TextOf(Kind kind) {
    switch (kind) {
    case Kind::Temperature:
        return {"temperature", " \xC2\xB0"
                               "C"};
    case Kind::Voltage:
        return {"voltage", " V"};
    case Kind::Fan:
        return {"fan", " RPM"};
    case Kind::Clock:
        return {"clock", " MHz"};
    case Kind::Percent:
        return {"percent", " %"};
    case Kind::Power:
        return {"power", " W"};
    case Kind::Current:
        return {"current", " A"};
    case Kind::Energy:
        return {"energy", " J"};
    case Kind::Other:
        break;
    }
    return {"table", ""};
}

const char* StateText(Slot::State state) {
    switch (state) {
    case Slot::State::Live:
        return "live";
    case Slot::State::Faulted:
        return "faulted";
    case Slot::State::Gone:
        return "gone";
    case Slot::State::Free:
        break;
    }
    return "";
}

// Padded by the text's width on screen, not its bytes (a UTF-8 unit or an
// escaped name).
std::string Padded(const std::string& text, std::size_t width) {
    std::size_t shown = 0;
    for (const char c : text)
        shown += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return text + std::string(shown < width ? width - shown : 0, ' ');
}

} // namespace

bool PrintListing(const Publication& publication, std::FILE* out) {
    std::fprintf(out, "No.  kind         state    name          value        key\n");
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        const Slot& placed = publication.Slots()[slot];
        if (placed.state == Slot::State::Free) continue;
        const KindText kind = TextOf(placed.reading.kind);
        char value[64] = "NA";
        if (!std::isnan(placed.reading.value))
            std::snprintf(value, sizeof value, "%g%s", placed.reading.value, kind.unit);
        std::fprintf(out, "%3zu  %-11s  %-7s  %s  %s  %s\n", slot + 1, kind.name,
                     StateText(placed.state),
                     Padded(ForTerminal(publication.Names()[slot]), 12).c_str(),
                     Padded(value, 11).c_str(), ForTerminal(placed.key).c_str());
    }
    return std::fflush(out) == 0 && !std::ferror(out);
}

} // namespace hwmon
