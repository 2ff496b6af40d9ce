#include "operator_messages.h"

#include "korvid_facts.h"

#include <QMessageBox>

namespace {

using Answer = OperatorMessage::Answer;

QMessageBox::StandardButton Standard(Answer answer) {
    switch (answer) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

void Configure(QMessageBox& box, const OperatorMessage& message) {
    box.setWindowTitle(QString::fromLatin1(korvid::kAppTitle));
    box.setText(QString(message.text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    box.setIcon(message.icon == OperatorMessage::Icon::Question ? QMessageBox::Question
                                                                : QMessageBox::Warning);
    switch (message.buttons) {
    case OperatorMessage::Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case OperatorMessage::Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case OperatorMessage::Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    box.setDefaultButton(Standard(message.defaultButton));
}

} // namespace

OperatorMessage::Answer MessageBoxMessages::Show(QWidget* parent, const OperatorMessage& message) {
    QMessageBox box(parent);
    Configure(box, message);
    // exec() runs a nested event loop: timers and sockets keep being served.
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default: // closed without a button
        switch (message.buttons) {
        case OperatorMessage::Buttons::OkCancel:
            return Answer::Cancel;
        case OperatorMessage::Buttons::YesNo:
            return Answer::No;
        default:
            return Answer::Ok;
        }
    }
}

void MessageBoxMessages::Notify(QWidget* parent, const OperatorMessage& message) {
    if (!notice_) {
        notice_ = new QMessageBox(parent);
        notice_->setAttribute(Qt::WA_DeleteOnClose);
        notice_->setWindowModality(Qt::NonModal);
    }
    Configure(*notice_, message);
    notice_->show();
    notice_->raise();
}

void MessageBoxMessages::Withdraw(const QString&) {
    if (notice_) notice_->close();
}
