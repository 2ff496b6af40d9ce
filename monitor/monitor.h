#pragma once

// The monitor: its model and the machine it reads, with the steps that
// start-up, the refresh, the operator's commands and a report take. The
// window (ui/frmMonitor) and the headless service (app/headless) are its two
// faces: each calls these steps from its own event loop and shows the model
// its own way. Plain C++; not thread-safe.

#include "monitor_environment.h"
#include "monitor_model.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Monitor {
public:
    explicit Monitor(MonitorEnvironment env);
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    const MonitorModel& Model() const { return model_; }
    const MonitorEnvironment& Environment() const { return env_; }

    // The start-up before listening and the question: a first snapshot fills
    // the sensor list, then the CPU type, the computer name, the CPU load,
    // nine unpaired parameter rows and the drives. Says once in the log
    // whether the sensor block is there.
    void StartUp();
    // The processor's brand string as cCpuInfo reads it; empty before StartUp.
    std::string ProcessData() const;

    // What loading the saved pairs found.
    struct PairsLoaded {
        bool found = false; // the file holds a Sensors value
        int paired = 0;     // rows that name a sensor
        std::string error;  // why the file could not be read; empty when it could
    };
    // The saved pairs replace the nine Sensor texts; the values stay as they
    // are until the next refresh.
    PairsLoaded LoadPairings();
    // As LoadPairings, for a running monitor: a row whose pair changed shows
    // its placeholder, and the paired rows are read at once.
    PairsLoaded ReloadPairings();
    // Stores the nine Sensor texts; false with the reason.
    bool SavePairings(std::string* error);
    // Whether the pairs are as the file gave them or as they were saved to
    // it: loaded or saved, and not linked or cleared since.
    bool PairsFromFile() const { return pairsFromFile_; }

    // Pairs sensor slot `sensor` (0 to 99) with parameter row `param` (0 to
    // 8); the row shows the reading the sensor list shows, or, while no
    // publisher keeps the block, no reading ("NA").
    void Link(int sensor, int param);
    // Every row unpaired, showing its placeholder.
    void Clear();
    // The rows among 0 to 7 that name no sensor, which Start asks about.
    std::vector<int> UnpairedCheckedRows() const;

    // One refresh: every paired row's reading from a fresh snapshot (none,
    // "NA", while no publisher keeps the block), and the CPU load. Nothing
    // else changes.
    void Refresh();
    // The readings alone, when the last were read `age` or longer ago.
    void RefreshReadings(std::chrono::milliseconds age = {});
    // Brings the CPU load (left without its "%") and the drives up to date
    // for a report, and returns what the report sends.
    const MonitorModel& ForReport();

    // The operator's own text in the CPU type and computer name boxes, which
    // the report sends.
    void SetCpuType(std::string text) { model_.cpuType = std::move(text); }
    void SetCompName(std::string text) { model_.compName = std::move(text); }

    // Why the last snapshot held no readings, for the window; empty while the
    // sensor block is live.
    const std::string& SensorSourceProblem() const { return sourceProblem_; }

private:
    modMBMAccess::SensorSnapshot ReadSensors();
    std::int32_t ReadLoad();
    bool SourceLive() const { return lastSource_ == modMBMAccess::BlockState::Live; }
    void SurveyDrives();

    MonitorEnvironment env_;
    MonitorModel model_;
    std::unique_ptr<cCpuInfo> cpuInfo_;
    std::unique_ptr<clsCPUUsage> cpuUsage_;
    std::optional<std::chrono::steady_clock::time_point> readingsTime_;
    std::optional<std::chrono::steady_clock::time_point> loadTime_;
    std::optional<modMBMAccess::BlockState> lastSource_;
    bool pairsFromFile_ = false;
    bool toldOthersMayWrite_ = false;
    std::string sourceProblem_;
};
