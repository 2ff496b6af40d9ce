#pragma once

// The window's surroundings for tests: a fake machine, the operator's answers
// scripted, and the service it shows on a free port.

#include "frmMonitor.h"
#include "support/fake_environment.h"

#include <deque>

namespace testing_support {

class ScriptedMessages : public OperatorMessages {
public:
    std::deque<OperatorMessage::Answer> answers; // when empty: the default button
    QStringList shown;
    std::vector<OperatorMessage> messages;
    QStringList notices;   // every notice, in order
    QString notice;        // the notice up now; empty when none
    QStringList withdrawn; // the outcomes that took notices down

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
    }
    void Withdraw(const QString& outcome) override {
        withdrawn << outcome;
        notice.clear();
    }
};

// A window and the service it shows, made together and gone together (the
// window first).
struct OpenWindow {
    std::unique_ptr<ReportService> service;
    std::unique_ptr<frmMonitor> window;
    frmMonitor* operator->() const { return window.get(); }
    frmMonitor& operator*() const { return *window; }
};

struct FakeWindow : FakeMachine {
    std::shared_ptr<ScriptedMessages> messages = std::make_shared<ScriptedMessages>();
    // Every address, on a port the system picks.
    ReportService::Options options{{{"*:0"}, {}}, false};
    ServiceSettings exchange = [] {
        ServiceSettings settings;
        settings.limits.listenRetry = std::chrono::milliseconds(100);
        return settings;
    }();
    bool useSavedPairs = false;
    std::function<void()> quit = [] {};

    // A window on a service of its own, not loaded yet.
    OpenWindow Make() {
        OpenWindow open;
        open.service = std::make_unique<ReportService>(Environment(), options, exchange);
        WindowEnvironment env;
        env.messages = messages;
        env.useSavedPairs = useSavedPairs;
        env.quit = quit;
        open.window = std::make_unique<frmMonitor>(*open.service, env);
        return open;
    }
    // A loaded window whose start-up question got `answer`.
    OpenWindow Load(OperatorMessage::Answer answer = OperatorMessage::Answer::No) {
        messages->answers.push_back(answer);
        OpenWindow open = Make();
        open->Form_Load();
        return open;
    }
};

} // namespace testing_support
