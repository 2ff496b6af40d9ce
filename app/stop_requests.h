#pragma once

// The system's requests to a running program: to stop (SIGTERM and SIGINT on
// Linux, stop_requests_linux.cpp; the console's Ctrl+C, Ctrl+Break and close
// on Windows, stop_requests_win32.cpp) and, where the system has it, to read
// its settings again (SIGHUP). Each request runs its callback on the thread
// that made this object, from its event loop, never inside a signal handler.

#include <QObject>
#include <functional>

class StopRequests : public QObject {
public:
    // Without `reload`, SIGHUP keeps its default action.
    explicit StopRequests(std::function<void()> stop, std::function<void()> reload = {},
                          QObject* parent = nullptr);
    ~StopRequests() override;

private:
    std::function<void()> stop_;
    std::function<void()> reload_;
};
