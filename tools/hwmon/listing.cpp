#include "listing.h"

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
    case Kind::Other:
        break;
    }
    return {"table", ""};
}

} // namespace

bool PrintListing(const std::vector<Reading>& readings, std::FILE* out) {
    const auto snapshot = BuildSnapshot(readings, nullptr);
    std::fprintf(out, "No.  kind         name          value\n");
    for (std::size_t slot = 0; slot < readings.size() && slot < modMBMAccess::kSensorCount;
         ++slot) {
        const auto& entry = snapshot.Sensors[slot];
        const std::string name = modMBMAccess::CleanName(modMBMAccess::RawName(entry));
        const std::string shown = ForTerminal(name);
        // Padded by the name's width on screen, not its bytes.
        const std::size_t pad = name.size() < 12 ? 12 - name.size() : 0;
        const KindText kind = TextOf(readings[slot].kind);
        std::fprintf(out, "%3zu  %-11s  %s%*s  %g%s\n", slot + 1, kind.name, shown.c_str(),
                     static_cast<int>(pad), "", entry.Current, kind.unit);
    }
    if (readings.size() > modMBMAccess::kSensorCount)
        std::fprintf(out, "(%zu more that do not fit)\n",
                     readings.size() - modMBMAccess::kSensorCount);
    return std::fflush(out) == 0 && !std::ferror(out);
}

} // namespace hwmon
