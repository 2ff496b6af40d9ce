#pragma once

// The system's requests to a running program: to stop (SIGTERM and SIGINT on
// Linux, stop_requests_linux.cpp; the console's Ctrl+C, Ctrl+Break and close
// on Windows, stop_requests_win32.cpp) and, where the system has it, to read
// its settings again (SIGHUP). Each request runs its callback on the thread
// that made this object, from its event loop, never inside a signal handler.
// No request is ever lost, and none ends the program unhandled.

#include "service_manager.h"

#include <QObject>
#include <functional>

// Holds the requests back until a StopRequests takes them: on Linux it
// blocks SIGTERM, SIGINT and SIGHUP in this thread and in every thread it
// starts from then on, and the mask survives exec(). Call it first in main().
void HoldStopRequests();

class StopRequests : public QObject {
public:
    // A stop request wins over a reload request pending with it. Without
    // `reload`, SIGHUP is taken and ignored.
    explicit StopRequests(std::function<void()> stop, std::function<void()> reload = {},
                          QObject* parent = nullptr);
    // Holds the requests back again, so that none that comes while the
    // program ends can end it otherwise.
    ~StopRequests() override;

private:
    std::function<void()> stop_;
    std::function<void()> reload_;
};
