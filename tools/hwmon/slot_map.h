#pragma once

// Which slot of the sensor block each reading keeps, for good: the pairs an
// operator saves name slots (0 to 99), so a slot must never come to hold
// another sensor's reading. Each reading has a stable key (a chip and its
// feature, "nvme-pci-0100/temp2"; the clock, "cpu0/clock"; a table line's
// name). A key keeps its slot while it is known, present or not; a new key
// takes the lowest free slot; a slot is freed only by the administrator
// (Forget, or an edit of the map's file). Plain C++; the file's text is read
// and written by the caller.

#include "readings.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hwmon {

inline constexpr std::size_t kSlotCount = modMBMAccess::kSensorCount;

class SlotMap {
public:
    // The map as its file holds it: "SLOT KEY" a line, '#' starting a
    // comment. Lines that do not parse, and a slot or a key given twice (the
    // first stands), are left out with a warning each.
    static SlotMap Parse(std::string_view text, Warnings* warnings);
    // The file's text, with a header that says how to edit it.
    std::string Text() const;

    // Gives every key of `keys` that has no slot the lowest free one, in
    // their order. True when the map changed; keys that find no free slot
    // are left out, and `full` receives them.
    bool Assign(const std::vector<std::string>& keys, std::vector<std::string>* full);
    // Frees the slot of `keyOrSlot` (a key, or a slot number 0 to 99). The
    // key it held, or nothing when it named none.
    std::optional<std::string> Forget(std::string_view keyOrSlot);

    std::optional<std::size_t> SlotOf(std::string_view key) const;
    // The key of a slot; empty when the slot is free.
    const std::string& KeyOf(std::size_t slot) const { return keys_[slot]; }
    bool Empty() const;

private:
    std::array<std::string, kSlotCount> keys_;
};

// What a slot publishes: its key's reading when the key was found this time
// (a faulted one reads NaN), or, for a key not found, its last name and kind
// with NaN. Never another key's value.
struct Slot {
    enum class State { Free, Live, Faulted, Gone };
    State state = State::Free;
    std::string key;
    Reading reading;
};

// The 100 slots as the map places `readings` (which the map must know).
// `known` remembers each key's last reading, so that one that went keeps its
// name and kind.
std::array<Slot, kSlotCount> PlaceReadings(const SlotMap& map, const std::vector<Reading>& readings,
                                           std::vector<Reading>& known);

// The names the slots publish, each at most 12 bytes and no two the same:
// a reading's own name (its label) where it is alone; where two would read
// the same, the chip's short name first ("nvme Composi"), then its number
// among chips of that name ("nvme1 Compos"), then the slot ("Composit #12").
std::array<std::string, kSlotCount> PublishedNames(const std::array<Slot, kSlotCount>& slots);

} // namespace hwmon
