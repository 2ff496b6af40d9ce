#include "stop_requests.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler sets a flag and wakes the event loop with a byte; when the
// socket is full the flag is still set, so a request is never lost however
// many came before it.
int wakeFds[2] = {-1, -1};
std::atomic<bool> stopAsked{false};
std::atomic<bool> reloadAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnSignal(int signal) {
    const int saved = errno;
    (signal == SIGHUP ? reloadAsked : stopAsked).store(true);
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

sigset_t Requests() {
    sigset_t requests;
    ::sigemptyset(&requests);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaddset(&requests, signal);
    return requests;
}

} // namespace

void HoldStopRequests() {
    const sigset_t requests = Requests();
    ::pthread_sigmask(SIG_BLOCK, &requests, nullptr);
}

StopRequests::StopRequests(std::function<void()> stop, std::function<void()> reload,
                           QObject* parent)
    : QObject(parent), stop_(std::move(stop)), reload_(std::move(reload)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0) return;
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[64];
        while (::read(wakeFds[0], bytes, sizeof bytes) > 0) {
        }
        if (stopAsked.exchange(false)) {
            reloadAsked = false;
            stop_();
        } else if (reloadAsked.exchange(false) && reload_) {
            reload_();
        }
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    ::sigfillset(&action.sa_mask); // one handler at a time
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // Those that came while they were held are delivered now, to the handler.
    const sigset_t requests = Requests();
    ::pthread_sigmask(SIG_UNBLOCK, &requests, nullptr);
}

StopRequests::~StopRequests() {
    HoldStopRequests();
    for (int& fd : wakeFds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}
