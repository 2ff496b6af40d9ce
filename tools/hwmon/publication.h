#pragma once

// What korvid-hwmon publishes, round after round: each reading in the slot
// its key keeps, with a name no other slot has, and the block built from
// them. Plain C++: the caller gathers the readings and keeps the map's file.

#include "slot_map.h"

#include <set>
#include <utility>

namespace hwmon {

class Publication {
public:
    explicit Publication(SlotMap map) : map_(std::move(map)) {}

    // Places `readings` (a new key takes the lowest free slot), names the
    // slots and builds the block. `warnings` receives what to tell: keys
    // left out because every slot is taken (each once).
    modMBMAccess::SensorSnapshot Build(const std::vector<Reading>& readings, Warnings* warnings);

    // Whether the map changed since the last call (a new key took a slot),
    // so that its file should be written.
    bool TakeMapChanged() { return std::exchange(mapChanged_, false); }

    const SlotMap& Map() const { return map_; }
    // The map as read again from its file (SIGHUP, --forget): the readings
    // known so far keep their names for the slots it still gives them.
    void Replace(SlotMap map);

    const std::array<Slot, kSlotCount>& Slots() const { return slots_; }
    const std::array<std::string, kSlotCount>& Names() const { return names_; }
    std::size_t Count(Slot::State state) const;

private:
    SlotMap map_;
    std::vector<Reading> known_;
    bool mapChanged_ = false;
    std::set<std::string> toldFull_;
    std::array<Slot, kSlotCount> slots_;
    std::array<std::string, kSlotCount> names_;
};

} // namespace hwmon
