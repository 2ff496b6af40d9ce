#include "slot_map.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <utility>

namespace hwmon {

namespace {

constexpr std::string_view kHeader =
    "# korvid-hwmon's slot map: the sensor block's slot that each reading keeps, one \"SLOT "
    "KEY\"\n"
    "# a line. Sensors= in Korvid.INI names these slots; the window's sensor list shows each\n"
    "# one higher. A key keeps its slot for good, present or not; to free the slot of one that\n"
    "# is gone for good, use korvid-hwmon --forget KEY (or delete its line and send SIGHUP).\n";

std::optional<std::size_t> SlotNumber(std::string_view text) {
    std::size_t slot = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), slot);
    if (text.empty() || text.size() > 2 || parsed.ec != std::errc() ||
        parsed.ptr != text.data() + text.size() || slot >= kSlotCount)
        return std::nullopt;
    return slot;
}

std::string_view ChipOf(std::string_view key) {
    const auto slash = key.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : key.substr(0, slash);
}

} // namespace

SlotMap SlotMap::Parse(std::string_view text, Warnings* warnings) {
    SlotMap map;
    int number = 0;
    auto warn = [&](const std::string& why) {
        if (warnings) warnings->push_back("line " + std::to_string(number) + " " + why);
    };
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const auto gap = line.find(' ');
        const auto slot = SlotNumber(line.substr(0, gap));
        const std::string_view key =
            gap == std::string_view::npos ? std::string_view() : line.substr(gap + 1);
        if (!slot || key.empty()) {
            warn("is no \"SLOT KEY\" (a slot from 0 to 99, a blank, the key); left out: " +
                 ForTerminal(line));
        } else if (!map.keys_[*slot].empty()) {
            warn("gives slot " + std::to_string(*slot) + " again; left out");
        } else if (map.SlotOf(key)) {
            warn("gives " + ForTerminal(key) + " a second slot; left out");
        } else {
            map.keys_[*slot] = std::string(key);
        }
    }
    return map;
}

std::string SlotMap::Text() const {
    std::string text(kHeader);
    for (std::size_t slot = 0; slot < kSlotCount; ++slot)
        if (!keys_[slot].empty()) text += std::to_string(slot) + " " + keys_[slot] + "\n";
    return text;
}

bool SlotMap::Assign(const std::vector<std::string>& keys, std::vector<std::string>* full) {
    bool changed = false;
    std::size_t next = 0;
    for (const std::string& key : keys) {
        if (key.empty() || SlotOf(key)) continue;
        while (next < kSlotCount && !keys_[next].empty())
            ++next;
        if (next == kSlotCount) {
            if (full) full->push_back(key);
            continue;
        }
        keys_[next] = key;
        changed = true;
    }
    return changed;
}

std::optional<std::string> SlotMap::Forget(std::string_view keyOrSlot) {
    std::optional<std::size_t> slot = SlotOf(keyOrSlot);
    if (!slot) slot = SlotNumber(keyOrSlot);
    if (!slot || keys_[*slot].empty()) return std::nullopt;
    return std::exchange(keys_[*slot], std::string());
}

std::optional<std::size_t> SlotMap::SlotOf(std::string_view key) const {
    const auto found = std::find(keys_.begin(), keys_.end(), key);
    if (key.empty() || found == keys_.end()) return std::nullopt;
    return static_cast<std::size_t>(found - keys_.begin());
}

bool SlotMap::Empty() const {
    return std::all_of(keys_.begin(), keys_.end(), [](const std::string& k) { return k.empty(); });
}

std::array<Slot, kSlotCount> PlaceReadings(const SlotMap& map, const std::vector<Reading>& readings,
                                           std::vector<Reading>& known) {
    std::array<Slot, kSlotCount> slots;
    for (const Reading& reading : readings) {
        const auto slot = map.SlotOf(reading.key);
        if (!slot) continue;
        Slot& placed = slots[*slot];
        placed.state = std::isnan(reading.value) ? Slot::State::Faulted : Slot::State::Live;
        placed.key = reading.key;
        placed.reading = reading;
        const auto same = std::find_if(known.begin(), known.end(),
                                       [&](const Reading& k) { return k.key == reading.key; });
        if (same == known.end())
            known.push_back(reading);
        else
            *same = reading;
    }
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        const std::string& key = map.KeyOf(slot);
        if (key.empty() || slots[slot].state != Slot::State::Free) continue;
        Slot& gone = slots[slot];
        gone.state = Slot::State::Gone;
        gone.key = key;
        const auto last = std::find_if(known.begin(), known.end(),
                                       [&](const Reading& k) { return k.key == key; });
        // A key known only from the map's file: named after its feature.
        gone.reading = last != known.end() ? *last : Reading{Kind::Other, {}, 0, key, {}};
        if (gone.reading.name.empty())
            gone.reading.name =
                key.substr(key.rfind('/') == std::string::npos ? 0 : key.rfind('/') + 1);
        gone.reading.value = std::numeric_limits<double>::quiet_NaN();
    }
    return slots;
}

std::array<std::string, kSlotCount> PublishedNames(const std::array<Slot, kSlotCount>& slots) {
    std::array<std::string, kSlotCount> names;
    // Each chip's number among the chips of its short name, in the order of
    // their keys, so that it stays the same from run to run.
    std::map<std::string, std::set<std::string>> chipsByShortName;
    for (const Slot& slot : slots)
        if (slot.state != Slot::State::Free && !slot.reading.chip.empty())
            chipsByShortName[slot.reading.chip].insert(std::string(ChipOf(slot.key)));
    auto chipNumber = [&](const Slot& slot) {
        const auto& chips = chipsByShortName[slot.reading.chip];
        return std::to_string(
            std::distance(chips.begin(), chips.find(std::string(ChipOf(slot.key)))));
    };
    using Form = std::string (*)(const Slot&, const std::string& number, std::size_t index);
    const Form forms[] = {
        [](const Slot& slot, const std::string&, std::size_t) { return slot.reading.name; },
        [](const Slot& slot, const std::string&, std::size_t) {
            return slot.reading.chip.empty() ? slot.reading.name
                                             : slot.reading.chip + " " + slot.reading.name;
        },
        [](const Slot& slot, const std::string& number, std::size_t) {
            return slot.reading.chip.empty() ? slot.reading.name
                                             : slot.reading.chip + number + " " + slot.reading.name;
        },
        [](const Slot& slot, const std::string&, std::size_t index) {
            const std::string tag = " #" + std::to_string(index);
            return PublishedName(slot.reading.name)
                       .substr(0, modMBMAccess::kNameLength - tag.size()) +
                   tag;
        },
    };
    // Every slot starts in the first form; those whose names clash move on
    // to the next, until none clash.
    std::array<std::size_t, kSlotCount> form{};
    for (bool clash = true; clash;) {
        clash = false;
        std::map<std::string, std::vector<std::size_t>> holders;
        for (std::size_t index = 0; index < kSlotCount; ++index) {
            if (slots[index].state == Slot::State::Free) continue;
            names[index] =
                PublishedName(forms[form[index]](slots[index], chipNumber(slots[index]), index));
            holders[names[index]].push_back(index);
        }
        for (const auto& [name, indexes] : holders) {
            if (indexes.size() < 2) continue;
            for (const std::size_t index : indexes)
                if (form[index] + 1 < std::size(forms)) {
                    ++form[index];
                    clash = true;
                }
        }
    }
    return names;
}

} // namespace hwmon
