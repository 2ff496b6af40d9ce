// The monitor's steps on a fake machine: what the window and the headless
// service both rely on.
#include "monitor.h"
#include "support/fake_environment.h"

#include <cmath>
#include <gtest/gtest.h>

using modMBMAccess::BlockState;
using testing_support::FakeMachine;

TEST(MonitorModel, RowsShowNumberNameAndReading) {
    MonitorModel model;
    model.sensors[2] = {"CPU", 45.5};
    EXPECT_EQ(SensorRowText(model, 2), "No. 3: CPU / 45.5");
    EXPECT_EQ(SensorRowText(model, 99), "No. 100:  / 0");
    model.sensors[2].reading = std::nan("");
    EXPECT_EQ(SensorRowText(model, 2), "No. 3: CPU / NA");
    model.decimalSeparator = ',';
    model.sensors[2].reading = 45.5;
    EXPECT_EQ(SensorRowText(model, 2), "No. 3: CPU / 45,5");
    EXPECT_EQ(LoadText(model), "0%");
    model.cpuLoadBare = true;
    EXPECT_EQ(LoadText(model), "0");
}

// A report's load is fresh and bare, and its drives are surveyed for it: a
// drive mounted just before the request is in it.
TEST(Monitor, ForReportRefreshesLoadAndDrives) {
    FakeMachine machine;
    machine.drives = {{"C:", 1, 1, "/"}};
    MonitorEnvironment env = machine.Environment();
    Monitor monitor(env);
    monitor.StartUp();
    *machine.load = 42;
    machine.drives.push_back({"D:", 2, 2, "/srv"});
    EXPECT_EQ(monitor.ForReport().cpuLoad, 42);
    EXPECT_TRUE(monitor.Model().cpuLoadBare);
    EXPECT_EQ(monitor.Model().drives.size(), 2u);
    monitor.Refresh();
    EXPECT_FALSE(monitor.Model().cpuLoadBare);

    // A load read moments ago is not measured again over an empty interval.
    env.loadReuse = std::chrono::hours(1);
    Monitor close(env);
    close.StartUp();
    *machine.load = 7;
    EXPECT_EQ(close.ForReport().cpuLoad, 42);
}

TEST(Monitor, PairsLoadCountAndReload) {
    FakeMachine machine;
    machine.SetSensor(3, "CPU", 50);
    Monitor monitor(machine.Environment());
    monitor.StartUp();
    auto loaded = monitor.LoadPairings();
    EXPECT_FALSE(loaded.found);
    EXPECT_EQ(loaded.paired, 0);
    EXPECT_EQ(loaded.error, "");

    machine.WriteSettings("[Korvid]\nSensors=3\\junk\\-1\\-1\\-1\\-1\\-1\\-1\\99\\\n");
    loaded = monitor.LoadPairings();
    EXPECT_TRUE(loaded.found);
    EXPECT_EQ(loaded.paired, 2);
    EXPECT_EQ(ValueText(monitor.Model(), 0), "NA"); // until the first refresh
    monitor.Refresh();
    EXPECT_EQ(ValueText(monitor.Model(), 0), "50");

    // Reloaded, a row whose pair went shows its placeholder, the others their
    // readings at once.
    machine.WriteSettings("[Korvid]\nSensors=-1\\3\\\n");
    loaded = monitor.ReloadPairings();
    EXPECT_EQ(loaded.paired, 1);
    EXPECT_EQ(ValueText(monitor.Model(), 0), "NA");
    EXPECT_EQ(ValueText(monitor.Model(), 1), "50");
    EXPECT_EQ(ValueText(monitor.Model(), 8), "-NA-");

    std::string error;
    ASSERT_TRUE(monitor.SavePairings(&error)) << error;
    EXPECT_EQ(Monitor(machine.Environment()).LoadPairings().paired, 1);

    std::filesystem::remove(machine.SettingsFile());
    std::filesystem::create_directory(machine.SettingsFile());
    loaded = monitor.LoadPairings();
    EXPECT_FALSE(loaded.found);
    // Linux says why; the Windows profile functions read it as missing.
    if (!loaded.error.empty()) {
        EXPECT_NE(loaded.error.find("a directory"), std::string::npos) << loaded.error;
    }
}

// The sensor block's state is told once when it changes, and a block that
// others may write once in all. While no publisher keeps the block, a
// paired row reads NA, linked or refreshed: a failure is never served as a
// reading of 0.
TEST(Monitor, ASensorSourceThatStopsIsToldOnce) {
    FakeMachine machine;
    machine.SetSensor(0, "CPU", 40);
    machine.block = {BlockState::Absent, false};
    Monitor monitor(machine.Environment());
    monitor.StartUp();
    monitor.Link(0, 0);
    EXPECT_EQ(ValueText(monitor.Model(), 0), "NA");
    EXPECT_NE(monitor.SensorSourceProblem().find("no sensor block /test-block"), std::string::npos);
    monitor.Refresh();
    EXPECT_EQ(ValueText(monitor.Model(), 0), "NA");

    machine.block = {BlockState::Live, true};
    monitor.Refresh();
    monitor.Refresh();
    EXPECT_EQ(monitor.SensorSourceProblem(), "");
    EXPECT_EQ(ValueText(monitor.Model(), 0), "40");
    machine.block = {BlockState::Abandoned, true};
    monitor.Refresh();
    monitor.Refresh();
    EXPECT_EQ(ValueText(monitor.Model(), 0), "NA");
    machine.block.state = BlockState::Unusable;
    monitor.Refresh();

    ASSERT_EQ(machine.log.size(), 5u);
    EXPECT_EQ(machine.log[0],
              "there is no sensor block /test-block: every paired reading is NA until the test "
              "publishes one");
    EXPECT_EQ(machine.log[1],
              "the sensor block /test-block may be written by other users too: its readings can "
              "be anyone's");
    EXPECT_EQ(machine.log[2], "the sensor block /test-block is live");
    EXPECT_NE(machine.log[3].find("was left by a publisher that no longer runs"),
              std::string::npos);
    EXPECT_NE(machine.log[4].find("cannot be read"), std::string::npos);
}
