// The slot each reading keeps, the names the slots publish and the block's
// header: what makes a paired slot mean the same sensor for good.
#include "publication.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using hwmon::Kind;
using hwmon::Reading;
using hwmon::SlotMap;
using State = hwmon::Slot::State;

namespace {

Reading Chip(const std::string& key, const std::string& name, double value,
             Kind kind = Kind::Temperature) {
    const std::string chip = key.substr(0, key.find('-'));
    return {kind, name, value, key, chip};
}

std::string Name(const modMBMAccess::SensorEntry& entry) {
    return modMBMAccess::CleanName(modMBMAccess::RawName(entry));
}

} // namespace

// The map's file: what parses is kept, what does not is said and left out,
// and what it writes reads back the same.
TEST(SlotMap, ItsFileReadsBackAsWritten) {
    hwmon::Warnings warnings;
    const SlotMap map = SlotMap::Parse("# comment\n"
                                       "0 nvme-pci-0100/temp1\r\n"
                                       "7 GPU Temp\n"
                                       "3\n"
                                       "100 too/far\n"
                                       "x y\n"
                                       "7 again/here\n"
                                       "9 nvme-pci-0100/temp1\n",
                                       &warnings);
    EXPECT_EQ(map.SlotOf("nvme-pci-0100/temp1"), 0u);
    EXPECT_EQ(map.SlotOf("GPU Temp"), 7u);
    EXPECT_EQ(map.SlotOf("again/here"), std::nullopt);
    ASSERT_EQ(warnings.size(), 5u);
    EXPECT_EQ(warnings[0].rfind("line 4 is no \"SLOT KEY\"", 0), 0u) << warnings[0];
    EXPECT_EQ(warnings[3], "line 7 gives slot 7 again; left out");
    EXPECT_EQ(warnings[4], "line 8 gives nvme-pci-0100/temp1 a second slot; left out");

    warnings.clear();
    const SlotMap again = SlotMap::Parse(map.Text(), &warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(again.Text(), map.Text());
    EXPECT_NE(map.Text().find("0 nvme-pci-0100/temp1\n7 GPU Temp\n"), std::string::npos);
}

// A known key keeps its slot; a new one takes the lowest free slot; none is
// freed but by Forget; when all are taken a newcomer is left out.
TEST(SlotMap, KeysKeepTheirSlotsAndNewOnesTakeTheLowestFree) {
    SlotMap map = SlotMap::Parse("1 b\n3 d\n", nullptr);
    std::vector<std::string> full;
    EXPECT_TRUE(map.Assign({"d", "x", "b", "y", "z"}, &full));
    EXPECT_EQ(map.SlotOf("x"), 0u);
    EXPECT_EQ(map.SlotOf("y"), 2u);
    EXPECT_EQ(map.SlotOf("z"), 4u);
    EXPECT_FALSE(map.Assign({"b", "d"}, &full));

    EXPECT_EQ(map.Forget("y"), "y");
    EXPECT_EQ(map.Forget("3"), "d");
    EXPECT_EQ(map.Forget("3"), std::nullopt);
    EXPECT_EQ(map.Forget("nothing"), std::nullopt);
    map.Assign({"new"}, &full);
    EXPECT_EQ(map.SlotOf("new"), 2u);

    std::vector<std::string> keys;
    keys.reserve(101);
    for (int i = 0; i < 101; ++i)
        keys.push_back(std::string(1, 'k').append(std::to_string(i)));
    map.Assign(keys, &full);
    EXPECT_EQ(full.size(), 101u - 96u); // x, b, new, z hold four of the hundred
    EXPECT_EQ(map.SlotOf("k96"), std::nullopt);
}

// A reading that faults, or goes, keeps its slot with NaN, its last name and
// kind; it never moves another reading, and never takes another's value.
TEST(Publication, AReadingThatFaultsOrGoesReadsNaInItsOwnSlot) {
    hwmon::Publication publication({});
    const std::vector<Reading> all = {Chip("nvme-pci-0100/temp1", "Composite", 41.85),
                                      Chip("nvme-pci-0100/temp2", "Sensor 1", 40.85),
                                      Chip("k10temp-pci-00c3/temp1", "Tctl", 45),
                                      {Kind::Clock, "CPU0 Clock", 2096.01, "cpu0/clock", {}}};
    auto snapshot = publication.Build(all, nullptr);
    EXPECT_TRUE(publication.TakeMapChanged());
    EXPECT_EQ(snapshot.Sensors[2].Current, 45);

    std::vector<Reading> faulted = all;
    faulted[0].value = std::nan("");
    snapshot = publication.Build(faulted, nullptr);
    EXPECT_TRUE(std::isnan(snapshot.Sensors[0].Current));
    EXPECT_EQ(Name(snapshot.Sensors[0]), "Composite");
    EXPECT_EQ(snapshot.Sensors[2].Current, 45); // not the clock
    EXPECT_EQ(publication.Slots()[0].state, State::Faulted);

    snapshot = publication.Build({all[2], all[3]}, nullptr); // the nvme drive went
    EXPECT_EQ(publication.Slots()[1].state, State::Gone);
    EXPECT_EQ(Name(snapshot.Sensors[1]), "Sensor 1");
    EXPECT_EQ(snapshot.Sensors[1].Kind, 1);
    EXPECT_TRUE(std::isnan(snapshot.Sensors[1].Current));
    EXPECT_EQ(snapshot.Sensors[3].Current, 2096.01);
    EXPECT_FALSE(publication.TakeMapChanged());

    snapshot = publication.Build(all, nullptr);
    EXPECT_EQ(snapshot.Sensors[0].Current, 41.85);
    EXPECT_EQ(publication.Count(State::Live), 4u);

    // A key that only the map's file knows is named after its feature.
    hwmon::Publication fromFile(SlotMap::Parse("5 drivetemp-scsi-0-0/temp1\n", nullptr));
    snapshot = fromFile.Build({}, nullptr);
    EXPECT_EQ(Name(snapshot.Sensors[5]), "temp1");
    EXPECT_TRUE(std::isnan(snapshot.Sensors[5].Current));
}

// Names that would read the same within 12 bytes are told apart, the chip's
// short name first, then its number, then the slot; a lone name stays as
// the sensors command shows it.
TEST(Publication, NamesThatWouldReadTheSameAreToldApart) {
    const std::pair<std::vector<Reading>, std::vector<std::string>> cases[] = {
        {{Chip("drivetemp-scsi-0-0/temp1", "temp1", 30),
          Chip("drivetemp-scsi-1-0/temp1", "temp1", 31)},
         {"drivetemp0 t", "drivetemp1 t"}},
        {{Chip("nvme-pci-0100/temp1", "Composite", 40),
          Chip("nvme-pci-0200/temp1", "Composite", 41),
          Chip("k10temp-pci-00c3/temp1", "Composite", 42)},
         {"nvme0 Compos", "nvme1 Compos", "k10temp Comp"}},
        {{Chip("it8721-isa-0290/temp1", "Motherboard Temp", 30),
          Chip("it8721-isa-0290/temp2", "Motherboard Temp 2", 31)},
         {"Motherboa #0", "Motherboa #1"}},
        {{Chip("k10temp-pci-00c3/temp1", "Tctl", 45), {Kind::Other, "Tctl", 1, "Tctl", {}}},
         {"k10temp Tctl", "Tctl"}},
        {{Chip("coretemp-isa-0000/temp1", "Package id 0", 50)}, {"Package id 0"}},
    };
    for (const auto& [readings, names] : cases) {
        hwmon::Publication publication({});
        const auto snapshot = publication.Build(readings, nullptr);
        for (std::size_t slot = 0; slot < names.size(); ++slot)
            EXPECT_EQ(Name(snapshot.Sensors[slot]), names[slot]) << readings[slot].key;
    }
}

// The header as monitors of this format write it: the version, then (type,
// count) pairs that cover every entry up to the last in use; each entry's
// first byte is its type.
TEST(Publication, TheHeaderCountsTheEntriesOfEachType) {
    hwmon::Publication publication(SlotMap::Parse("6 gone/temp1\n", nullptr));
    const auto snapshot = publication.Build({Chip("a-isa-0/temp1", "T", 40),
                                             Chip("a-isa-0/in0", "V", 1.2, Kind::Voltage),
                                             Chip("a-isa-0/fan1", "F", 900, Kind::Fan),
                                             Chip("a-isa-0/power1", "P", 20, Kind::Power),
                                             Chip("a-isa-0/humidity1", "H", 40, Kind::Percent),
                                             {Kind::Clock, "CPU0 Clock", 2400, "cpu0/clock", {}}},
                                            nullptr);
    double version = 0;
    std::memcpy(&version, snapshot.Leading, sizeof version);
    EXPECT_EQ(version, hwmon::kFormatVersion);
    std::int32_t pairs[10][2];
    std::memcpy(pairs, snapshot.Leading + 8, sizeof pairs);
    // Types 1 to 5, then 0: one of each, and as type 0 the power reading and
    // the gone one whose kind only its key tells.
    const std::int32_t expected[10][2] = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {0, 2}};
    for (int pair = 0; pair < 10; ++pair) {
        EXPECT_EQ(pairs[pair][0], expected[pair][0]) << pair;
        EXPECT_EQ(pairs[pair][1], expected[pair][1]) << pair;
    }
    const std::uint8_t types[] = {1, 2, 3, 0, 5, 4, 0};
    for (std::size_t slot = 0; slot < std::size(types); ++slot)
        EXPECT_EQ(snapshot.Sensors[slot].Kind, types[slot]) << slot;
}
