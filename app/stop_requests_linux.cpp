#include "stop_requests.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler only writes the signal's number to this socket; the event loop
// reads it.
int wakeFds[2] = {-1, -1};

void OnSignal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
}

void Handle(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

StopRequests::StopRequests(std::function<void()> stop, std::function<void()> reload,
                           QObject* parent)
    : QObject(parent), stop_(std::move(stop)), reload_(std::move(reload)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0) return;
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        bool stop = false, reload = false;
        char bytes[16];
        for (ssize_t n; (n = ::read(wakeFds[0], bytes, sizeof bytes)) > 0;)
            for (ssize_t i = 0; i < n; ++i)
                (bytes[i] == SIGHUP ? reload : stop) = true;
        if (stop) {
            stop_();
        } else if (reload && reload_) {
            reload_();
        }
    });
    Handle(SIGTERM, OnSignal);
    Handle(SIGINT, OnSignal);
    if (reload_) Handle(SIGHUP, OnSignal);
}

StopRequests::~StopRequests() {
    Handle(SIGTERM, SIG_DFL);
    Handle(SIGINT, SIG_DFL);
    if (reload_) Handle(SIGHUP, SIG_DFL);
    for (int& fd : wakeFds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}
