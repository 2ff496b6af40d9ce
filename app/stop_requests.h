#pragma once

// The system's requests to stop: SIGTERM and SIGINT on Linux
// (stop_requests_linux.cpp), the console's Ctrl+C, Ctrl+Break and close on
// Windows (stop_requests_win32.cpp). Each request runs `stop` on the thread
// that made this object, from its event loop, never inside a signal handler.

#include <QObject>
#include <functional>

class StopRequests : public QObject {
public:
    explicit StopRequests(std::function<void()> stop, QObject* parent = nullptr);
    ~StopRequests() override;

private:
    std::function<void()> stop_;
};
