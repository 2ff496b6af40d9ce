#pragma once

// A monitor environment that touches nothing of the machine: sensor readings,
// the sensor block's state, drives, computer name and CPU load come from the
// test, the settings file lives in a directory of its own, and the log lines
// are kept.

#include "monitor.h"
#include "support/temp_dir.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

namespace testing_support {

class FixedLoad : public CpuLoadSource {
public:
    explicit FixedLoad(std::shared_ptr<int> load) : load_(std::move(load)) {}
    std::int32_t Sample() override { return *load_; }

private:
    std::shared_ptr<int> load_;
};

struct FakeMachine {
    modMBMAccess::SensorSnapshot snapshot{};
    modMBMAccess::BlockStatus block{modMBMAccess::BlockState::Live, false};
    std::vector<FixedDrive> drives;
    std::shared_ptr<int> load = std::make_shared<int>(7);
    std::vector<std::string> log;
    TempDir configDir;
    std::string settingsFile = configDir.File("Korvid.INI");
    std::function<std::string()> computerName = [] { return std::string("WS01"); };

    void SetSensor(int slot, const char* name, double reading) {
        std::memset(snapshot.Sensors[slot].Name, 0, sizeof snapshot.Sensors[slot].Name);
        std::memcpy(snapshot.Sensors[slot].Name, name,
                    std::min(std::strlen(name), sizeof snapshot.Sensors[slot].Name));
        snapshot.Sensors[slot].Current = reading;
    }

    const std::string& SettingsFile() const { return settingsFile; }
    void WriteSettings(const char* text) const {
        std::ofstream(SettingsFile(), std::ios::binary) << text;
    }

    MonitorEnvironment Environment() {
        MonitorEnvironment env;
        env.readSnapshot = [this](modMBMAccess::BlockStatus* status) {
            if (status) *status = block;
            return block.state == modMBMAccess::BlockState::Live ? snapshot
                                                                 : modMBMAccess::SensorSnapshot{};
        };
        env.blockName = "/test-block";
        env.publisherName = "the test";
        env.makeCpuid = [] { return std::make_unique<cCPUID>(); };
        env.makeCpuUsage = [this] {
            return std::make_unique<clsCPUUsage>(std::make_unique<FixedLoad>(load));
        };
        env.computerName = computerName;
        env.surveyDrives = [this] { return drives; };
        env.settingsFile = SettingsFile();
        env.decimalSeparator = '.';
        env.log = [this](const std::string& line) { log.push_back(line); };
        env.loadReuse = std::chrono::milliseconds(0);
        return env;
    }
};

} // namespace testing_support
