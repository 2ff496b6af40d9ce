// The hardware monitors that Windows users run, as their formats give their
// readings: LibreHardwareMonitor's sensor tree (its text values in any
// culture, or numbers) and HWiNFO's shared memory; and the choice of which
// readings to publish.
#include "monitor_sources.h"
#include "tools/hwinfo_memory.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using hwmon::Kind;

namespace {

std::string Fixture(const std::string& name) {
    std::ifstream in(std::string(KORVID_FIXTURES) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

TEST(MonitorSources, ValuesReadWhateverTheCulture) {
    const std::tuple<const char*, double, const char*> cases[] = {
        {"46,9 \xC2\xB0"
         "C",
         46.9,
         "\xC2\xB0"
         "C"},
        {"46.9 \xC2\xB0"
         "C",
         46.9,
         "\xC2\xB0"
         "C"},
        {"1204 RPM", 1204, "RPM"},
        {"12,144 V", 12.144, "V"},
        {"3,1 %", 3.1, "%"},
        {"-5,5 \xC2\xB0"
         "C",
         -5.5,
         "\xC2\xB0"
         "C"},
        {"0 W", 0, "W"},
    };
    for (const auto& [text, value, unit] : cases) {
        std::string found;
        EXPECT_DOUBLE_EQ(hwmon::ParseCultureValue(text, &found), value) << text;
        EXPECT_EQ(found, unit) << text;
    }
    for (const char* none : {"NaN", "", " ", "- RPM", "n/a"})
        EXPECT_TRUE(std::isnan(hwmon::ParseCultureValue(none, nullptr))) << none;
}

// Both forms of the tree give the same readings, keyed by their SensorId,
// in the tree's order, in the block's units.
TEST(MonitorSources, LibreHardwareMonitorsTreeInEitherForm) {
    for (const char* fixture : {"lhm-0.9.6-de.json", "lhm-numeric.json"}) {
        hwmon::Warnings warnings;
        const auto got = hwmon::ParseLibreHardwareMonitor(Fixture(fixture), &warnings);
        ASSERT_TRUE(got.readings) << fixture << ": " << got.why;
        const auto& readings = *got.readings;
        ASSERT_EQ(readings.size(), 10u) << fixture;
        EXPECT_EQ(readings[0].key, "/amdcpu/0/temperature/2");
        EXPECT_EQ(readings[0].name, "Core (Tctl/Tdie)");
        EXPECT_EQ(readings[0].chip, "amdcpu");
        EXPECT_EQ(readings[0].kind, Kind::Temperature);
        EXPECT_DOUBLE_EQ(readings[0].value, 46.9);
        EXPECT_DOUBLE_EQ(readings[1].value, 4449.2);
        EXPECT_EQ(readings[2].kind, Kind::Percent);
        EXPECT_EQ(readings[3].kind, Kind::Power);
        EXPECT_DOUBLE_EQ(readings[4].value, 12.144);
        EXPECT_TRUE(std::isnan(readings[5].value)); // AVCC: NaN
        EXPECT_EQ(readings[6].kind, Kind::Fan);
        EXPECT_EQ(readings[7].chip, "lpc");
        EXPECT_EQ(readings[9].kind, Kind::Other); // Data, in GB
        EXPECT_TRUE(warnings.empty()) << warnings.front();
    }
    hwmon::Warnings warnings;
    std::string fahrenheit = Fixture("lhm-0.9.6-de.json");
    ReplaceAll(fahrenheit,
               "46,9 \xC2\xB0"
               "C",
               "122 \xC2\xB0"
               "F");
    ReplaceAll(fahrenheit, "1204 RPM", "1204 rps");
    const auto converted = hwmon::ParseLibreHardwareMonitor(fahrenheit, &warnings);
    ASSERT_TRUE(converted.readings);
    EXPECT_DOUBLE_EQ((*converted.readings)[0].value, 50);
    EXPECT_EQ(converted.readings->size(), 9u); // the fan in rps is left out
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[1], "Fan readings in rps are left out: the block carries them in RPM");

    // Energy: in mWh, as text or as a number, published in J.
    for (const char* raw : {"\"1000 mWh\"", "\"1 Wh\"", "1000"}) {
        const std::string tree = std::string(R"({"Children":[{"HardwareId":"/battery/0","Children":[
            {"SensorId":"/battery/0/energy/0","Type":"Energy","Text":"Remaining","RawValue":)") +
                                 raw + "}]}]}";
        const auto energy = hwmon::ParseLibreHardwareMonitor(tree, nullptr);
        ASSERT_TRUE(energy.readings && energy.readings->size() == 1) << raw;
        EXPECT_DOUBLE_EQ(energy.readings->front().value, 3600) << raw;
    }

    for (const char* broken : {"{\"id\":0,\"Children\":[", "<html>Not found</html>", "[1,2]", ""})
        EXPECT_FALSE(hwmon::ParseLibreHardwareMonitor(broken, nullptr).readings) << broken;
}

// HWiNFO's memory: stepped through by the sizes its header gives; stopped,
// stale or not fitting, it gives no readings, and says why.
TEST(MonitorSources, HwinfosSharedMemory) {
    HwinfoMemory memory;
    memory.extra = 40; // a later version's larger elements
    memory.sensors = {{0xF0000300, "CPU [#0]: AMD Ryzen 7"}, {0xF0000400, "GPU [#0]: NVIDIA"}};
    memory.readings = {{1, 0, 0x1000000, "CPU (Tctl/Tdie)",
                        "\xB0"
                        "C",
                        46.5},
                       {3, 1, 0x3000000, "GPU Fan1", "RPM", 1100},
                       {7, 0, 0x7000000, "Total CPU Usage", "%", 12},
                       {1, 1, 0x1000001, "GPU Hot Spot",
                        "\xB0"
                        "F",
                        122}};
    hwmon::Warnings warnings;
    const auto live = hwmon::ParseHwinfo(memory.Bytes(), 1001, &warnings);
    ASSERT_TRUE(live.readings) << live.why;
    ASSERT_EQ(live.readings->size(), 4u);
    EXPECT_EQ((*live.readings)[0].key, "hwinfo/4026532608.0/16777216");
    EXPECT_EQ((*live.readings)[0].name, "CPU (Tctl/Tdie)");
    EXPECT_EQ((*live.readings)[0].chip, "CPU");
    EXPECT_DOUBLE_EQ((*live.readings)[1].value, 1100);
    EXPECT_EQ((*live.readings)[2].kind, Kind::Percent);
    EXPECT_DOUBLE_EQ((*live.readings)[3].value, 50);

    memory.signature = hwmon::kHwinfoDead;
    EXPECT_EQ(hwmon::ParseHwinfo(memory.Bytes(), 1001, nullptr).why,
              "HWiNFO has stopped sharing its readings");
    memory.signature = hwmon::kHwinfoLive;
    EXPECT_EQ(hwmon::ParseHwinfo(memory.Bytes(), 1011, nullptr).why,
              "HWiNFO's readings are 11 s old: it has stopped polling");
    EXPECT_TRUE(hwmon::ParseHwinfo(memory.Bytes(), 1010, nullptr).readings);
    std::string cut = memory.Bytes();
    cut.resize(cut.size() - 1);
    EXPECT_EQ(hwmon::ParseHwinfo(cut, 1001, nullptr).why,
              "its shared memory's elements do not fit in it");
    EXPECT_FALSE(hwmon::ParseHwinfo("HWiS", 1001, nullptr).readings);
}

// By default temperatures, fans, voltages, clocks, loads and powers; --only
// and the patterns choose otherwise.
TEST(MonitorSources, TheChoiceOfReadings) {
    const auto got = hwmon::ParseLibreHardwareMonitor(Fixture("lhm-numeric.json"), nullptr);
    ASSERT_TRUE(got.readings);
    EXPECT_EQ(hwmon::Choose(*got.readings, {}).size(), 9u); // not the data read
    hwmon::Choice choice;
    std::string why;
    choice.kinds = *hwmon::ParseKinds("temperature,fan", &why);
    choice.include = {"/amdcpu/0/power/*"};
    choice.exclude = {"Composite*"};
    const auto chosen = hwmon::Choose(*got.readings, choice);
    std::vector<std::string> keys;
    keys.reserve(chosen.size());
    for (const auto& reading : chosen)
        keys.push_back(reading.key);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"/amdcpu/0/temperature/2", "/amdcpu/0/power/0",
                                        "/lpc/nct6798d/fan/0", "/lpc/nct6798d/temperature/0"}));
    EXPECT_FALSE(hwmon::ParseKinds("temperature,heat", &why));
    EXPECT_EQ(why, "'heat' is no kind of reading (temperature, fan, voltage, clock, load, power, "
                   "current, energy, other)");
    EXPECT_TRUE(hwmon::PatternMatches("/lpc/*/fan/?", "/lpc/nct6798d/fan/0"));
    EXPECT_FALSE(hwmon::PatternMatches("/lpc/*/fan/?", "/lpc/nct6798d/fan/10"));
}
