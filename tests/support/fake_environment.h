#pragma once

// A window environment that touches nothing of the machine: sensor readings,
// drives, computer name and CPU load come from the test, the operator's
// answers are scripted, and the service listens on a free port.

#include "frmMonitor.h"

#include <QStringList>
#include <QTemporaryDir>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>

namespace testing_support {

class ScriptedMessages : public OperatorMessages {
public:
    std::deque<OperatorMessage::Answer> answers; // when empty: the default button
    QStringList shown;
    std::vector<OperatorMessage> messages;
    QStringList notices;   // every notice, in order
    QString notice;        // the notice up now; empty when none
    QStringList withdrawn; // the outcomes that took notices down
    // Runs with each notice, where a real box would be drawn.
    std::function<void()> onNotice;

    OperatorMessage::Answer Show(QWidget*, const OperatorMessage& message) override {
        shown << message.text;
        messages.push_back(message);
        if (answers.empty()) return message.defaultButton;
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Notify(QWidget*, const OperatorMessage& message) override {
        notices << message.text;
        notice = message.text;
        if (onNotice) onNotice();
    }
    void Withdraw(const QString& outcome) override {
        withdrawn << outcome;
        notice.clear();
    }
};

class FixedLoad : public CpuLoadSource {
public:
    explicit FixedLoad(std::shared_ptr<int> load) : load_(std::move(load)) {}
    std::int32_t Sample() override { return *load_; }

private:
    std::shared_ptr<int> load_;
};

struct FakeMachine {
    modMBMAccess::SensorSnapshot snapshot{};
    std::vector<FixedDrive> drives;
    std::shared_ptr<int> load = std::make_shared<int>(7);
    std::shared_ptr<ScriptedMessages> messages = std::make_shared<ScriptedMessages>();
    QTemporaryDir configDir;

    void SetSensor(int slot, const char* name, double reading) {
        std::memset(snapshot.Sensors[slot].Name, 0, sizeof snapshot.Sensors[slot].Name);
        std::memcpy(snapshot.Sensors[slot].Name, name,
                    std::min(std::strlen(name), sizeof snapshot.Sensors[slot].Name));
        snapshot.Sensors[slot].Current = reading;
    }

    std::string SettingsFile() const { return (configDir.path() + "/Korvid.INI").toStdString(); }

    MonitorEnvironment Environment() {
        MonitorEnvironment env;
        env.port = 0;
        env.makeListener = tcp::MakeSystemListener;
        env.readSnapshot = [this] { return snapshot; };
        env.makeCpuid = [] { return std::make_unique<cCPUID>(); };
        env.makeCpuUsage = [this] {
            return std::make_unique<clsCPUUsage>(std::make_unique<FixedLoad>(load));
        };
        env.computerName = [] { return std::string("WS01"); };
        env.surveyDrives = [this] { return drives; };
        env.settingsFile = SettingsFile();
        env.decimalSeparator = '.';
        env.messages = messages;
        env.quit = [] {};
        env.serviceLimits.listenRetry = std::chrono::milliseconds(100);
        env.driveSurveyReuse = std::chrono::milliseconds(0);
        return env;
    }
};

} // namespace testing_support
