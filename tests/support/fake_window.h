#pragma once

// The window's surroundings for tests: a fake machine, the operator's answers
// scripted, and the service on a free port.

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

struct FakeWindow : FakeMachine {
    std::shared_ptr<ScriptedMessages> messages = std::make_shared<ScriptedMessages>();

    WindowEnvironment Window() {
        WindowEnvironment env;
        env.monitor = Environment();
        env.service.listen = {{std::nullopt, 0}};
        env.service.limits.listenRetry = std::chrono::milliseconds(100);
        env.messages = messages;
        env.quit = [] {};
        return env;
    }
};

} // namespace testing_support
