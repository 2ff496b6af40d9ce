#include "monitor.h"

#include "profile.h"

#include <limits>

namespace {

constexpr const char* kSettingsSection = "Korvid";
constexpr const char* kSettingsKey = "Sensors";
// A load reads at most this many characters of the stored value.
constexpr std::size_t kLoadedValueChars = 99;

using modMBMAccess::BlockState;

// What a paired row holds while no publisher keeps the block: shown and sent
// as "NA", as an input that faults is, never as a reading of 0.
constexpr double kNoReading = std::numeric_limits<double>::quiet_NaN();

// Why a snapshot in `state` holds no readings; empty for a live block.
std::string Problem(BlockState state, const MonitorEnvironment& env) {
    switch (state) {
    case BlockState::Live:
        break;
    case BlockState::Absent:
        return "there is no sensor block " + env.blockName + ": every paired reading is NA until " +
               env.publisherName + " publishes one";
    case BlockState::Abandoned:
        return "the sensor block " + env.blockName +
               " was left by a publisher that no longer runs: every paired reading is NA until " +
               env.publisherName + " runs again";
    case BlockState::Unusable:
        return "the sensor block " + env.blockName +
               " cannot be read (shorter than the sensor table, or no shared-memory block): "
               "every paired reading is NA";
    }
    return {};
}

} // namespace

Monitor::Monitor(MonitorEnvironment env) : env_(std::move(env)) {
    model_.decimalSeparator = env_.decimalSeparator;
}

Monitor::~Monitor() = default;

// Every snapshot comes through here, so that a source that stops, or comes
// back, is told once each time.
modMBMAccess::SensorSnapshot Monitor::ReadSensors() {
    modMBMAccess::BlockStatus status;
    const modMBMAccess::SensorSnapshot snapshot = env_.readSnapshot(&status);
    if (status.othersMayWrite && !toldOthersMayWrite_ && env_.log) {
        toldOthersMayWrite_ = true;
        env_.log("the sensor block " + env_.blockName +
                 " may be written by other users too: its readings can be anyone's");
    }
    if (status.state != lastSource_) {
        sourceProblem_ = Problem(status.state, env_);
        if (env_.log) {
            if (!sourceProblem_.empty())
                env_.log(sourceProblem_);
            else
                env_.log((lastSource_ ? "the sensor block " + env_.blockName + " is live"
                                      : "reading sensors from the block " + env_.blockName));
        }
        lastSource_ = status.state;
    }
    return snapshot;
}

void Monitor::StartUp() {
    const modMBMAccess::SensorSnapshot snapshot = ReadSensors();
    cpuInfo_ = std::make_unique<cCpuInfo>(env_.makeCpuid());
    model_.cpuType = pairing::CpuTypeText(ProcessData());
    model_.compName = env_.computerName();
    cpuUsage_ = env_.makeCpuUsage();
    for (int slot = 0; slot < modMBMAccess::kSensorCount; ++slot) {
        const modMBMAccess::SensorEntry& entry = snapshot.Sensors[slot];
        model_.sensors[static_cast<std::size_t>(slot)] = {
            modMBMAccess::CleanName(modMBMAccess::RawName(entry)), entry.Current};
    }
    Clear();
    model_.cpuLoad = ReadLoad();
    model_.cpuLoadBare = false;
    SurveyDrives();
}

std::int32_t Monitor::ReadLoad() {
    const auto now = std::chrono::steady_clock::now();
    if (loadTime_ && now - *loadTime_ < env_.loadReuse) return model_.cpuLoad;
    loadTime_ = now;
    return cpuUsage_->Usage();
}

std::string Monitor::ProcessData() const {
    return cpuInfo_ ? cpuInfo_->NameStr() : std::string();
}

Monitor::PairsLoaded Monitor::LoadPairings() {
    PairsLoaded loaded;
    const auto value = profile::FindString(kSettingsSection, kSettingsKey, kLoadedValueChars,
                                           env_.settingsFile, &loaded.error);
    loaded.found = value.has_value();
    const std::vector<std::string> items = pairing::SplitSensorsValue(value.value_or(""));
    for (std::size_t row = 0; row < model_.params.size(); ++row) {
        model_.params[row].sensor = items[row];
        if (pairing::SensorSlotOf(items[row])) ++loaded.paired;
    }
    pairsFromFile_ = true;
    return loaded;
}

Monitor::PairsLoaded Monitor::ReloadPairings() {
    const auto before = model_.params;
    PairsLoaded loaded = LoadPairings();
    for (std::size_t row = 0; row < model_.params.size(); ++row)
        if (model_.params[row].sensor != before[row].sensor) model_.params[row].value = {};
    RefreshReadings();
    return loaded;
}

bool Monitor::SavePairings(std::string* error) {
    std::vector<std::string> texts;
    for (const ParamRow& row : model_.params)
        texts.push_back(row.sensor);
    const bool saved = profile::WriteString(
        kSettingsSection, kSettingsKey, pairing::JoinSensorsValue(texts), env_.settingsFile, error);
    pairsFromFile_ = pairsFromFile_ || saved;
    return saved;
}

void Monitor::Link(int sensor, int param) {
    ParamRow& row = model_.params[static_cast<std::size_t>(param)];
    row.value = {ParamValue::Source::Linked,
                 SourceLive() ? model_.sensors[static_cast<std::size_t>(sensor)].reading
                              : kNoReading};
    row.sensor = std::to_string(sensor);
    pairsFromFile_ = false;
}

void Monitor::Clear() {
    model_.params = {};
    pairsFromFile_ = false;
}

std::vector<int> Monitor::UnpairedCheckedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < pairing::kCheckedParamRows; ++row)
        if (!pairing::SensorSlotOf(model_.params[static_cast<std::size_t>(row)].sensor))
            rows.push_back(row);
    return rows;
}

void Monitor::Refresh() {
    RefreshReadings();
    if (cpuUsage_) {
        model_.cpuLoad = ReadLoad();
        model_.cpuLoadBare = false;
    }
}

void Monitor::RefreshReadings(std::chrono::milliseconds age) {
    const auto now = std::chrono::steady_clock::now();
    if (readingsTime_ && now - *readingsTime_ < age) return;
    readingsTime_ = now;
    const modMBMAccess::SensorSnapshot snapshot = ReadSensors();
    for (ParamRow& row : model_.params)
        if (const auto slot = pairing::SensorSlotOf(row.sensor))
            row.value = {ParamValue::Source::Refreshed,
                         SourceLive() ? snapshot.Sensors[*slot].Current : kNoReading};
}

const MonitorModel& Monitor::ForReport() {
    if (cpuUsage_) {
        // The load since the previous reading, by any caller.
        model_.cpuLoad = ReadLoad();
        model_.cpuLoadBare = true;
    }
    SurveyDrives(); // a drive mounted just before the request is in it
    return model_;
}

void Monitor::SurveyDrives() {
    model_.drives = env_.surveyDrives();
}
