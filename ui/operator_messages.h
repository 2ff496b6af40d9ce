#pragma once

// Every modal message to the operator goes through here, so that tests can
// answer in the operator's place.

#include <QPointer>
#include <QString>

class QMessageBox;
class QWidget;

struct OperatorMessage {
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Icon { Question, Exclamation };
    enum class Answer { Ok, Cancel, Yes, No };

    QString text; // "\r\n" marks a line break
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::Exclamation;
    Answer defaultButton = Answer::Ok;
};

class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;
    // Shows the message captioned with the application title and returns the
    // button pressed. Window and socket events go on while it is open.
    virtual OperatorMessage::Answer Show(QWidget* parent, const OperatorMessage& message) = 0;
    // Shows a warning that waits for nobody: it returns at once, runs no
    // event loop of its own, and replaces the notice shown before it.
    virtual void Notify(QWidget* parent, const OperatorMessage& message) = 0;
    // Takes the notice down: what it warned of is over, as `outcome` says.
    virtual void Withdraw(const QString& outcome) = 0;
};

// Real message boxes.
class MessageBoxMessages : public OperatorMessages {
public:
    OperatorMessage::Answer Show(QWidget* parent, const OperatorMessage& message) override;
    void Notify(QWidget* parent, const OperatorMessage& message) override;
    void Withdraw(const QString& outcome) override;

private:
    QPointer<QMessageBox> notice_;
};
