#include "publication.h"

#include <algorithm>

namespace hwmon {

modMBMAccess::SensorSnapshot Publication::Build(const std::vector<Reading>& readings,
                                                Warnings* warnings) {
    std::vector<std::string> keys;
    keys.reserve(readings.size());
    for (const Reading& reading : readings)
        keys.push_back(reading.key);
    std::vector<std::string> full;
    mapChanged_ = map_.Assign(keys, &full) || mapChanged_;
    for (const std::string& key : full)
        if (toldFull_.insert(key).second && warnings)
            warnings->push_back("every one of the " + std::to_string(kSlotCount) +
                                " slots is taken: " + ForTerminal(key) +
                                " is left out (korvid-hwmon --forget frees the slot of a "
                                "reading that is gone for good)");
    slots_ = PlaceReadings(map_, readings, known_);
    names_ = PublishedNames(slots_);
    modMBMAccess::SensorSnapshot snapshot{};
    for (std::size_t slot = 0; slot < kSlotCount; ++slot)
        if (slots_[slot].state != Slot::State::Free)
            PutEntry(snapshot.Sensors[slot], slots_[slot].reading.kind, names_[slot],
                     slots_[slot].reading.value);
    WriteHeader(snapshot);
    return snapshot;
}

void Publication::Replace(SlotMap map) {
    map_ = std::move(map);
    toldFull_.clear();
}

std::size_t Publication::Count(Slot::State state) const {
    return static_cast<std::size_t>(std::count_if(
        slots_.begin(), slots_.end(), [state](const Slot& slot) { return slot.state == state; }));
}

} // namespace hwmon
