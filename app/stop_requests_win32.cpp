#include "stop_requests.h"

#include <QPointer>
#include <windows.h>

namespace {

QPointer<StopRequests> instance;
std::function<void()>* stopOf = nullptr;

// Runs on a thread of the system's; the request is passed to the event loop.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (StopRequests* target = instance.data())
        QMetaObject::invokeMethod(
            target, [] { (*stopOf)(); }, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

// The console's requests need no holding back: the handler that takes them
// is set before any can be acted on.
void HoldStopRequests() {}

// Windows has no request to read settings again; `reload` is never called.
StopRequests::StopRequests(std::function<void()> stop, std::function<void()> reload,
                           QObject* parent)
    : QObject(parent), stop_(std::move(stop)), reload_(std::move(reload)) {
    instance = this;
    stopOf = &stop_;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopRequests::~StopRequests() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    instance = nullptr;
    stopOf = nullptr;
}
