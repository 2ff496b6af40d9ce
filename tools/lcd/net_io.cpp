#include "net_io.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lcd {

namespace {

// Waits for `events` on `fd` until the deadline: 1 when ready, 0 when the
// deadline passed, -1 when a request came (the caller looks at its flags).
int Wait(int fd, short events, Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd p{fd, events, 0};
    sigset_t none;
    ::sigemptyset(&none);
    const int ready = ::ppoll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, &wait, &none);
    return ready > 0 ? 1 : ready == 0 ? 0 : -1;
}

} // namespace

int ConnectTo(const Address& address, Clock::time_point deadline, std::string* why) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    if (const int status = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
        status != 0) {
        *why = "cannot resolve " + address.host + ": " + ::gai_strerror(status);
        return -1;
    }
    int connected = -1;
    *why = "cannot connect";
    for (const addrinfo* info = found; info && connected < 0; info = info->ai_next) {
        const int fd = ::socket(info->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        if (::connect(fd, info->ai_addr, info->ai_addrlen) == 0) {
            connected = fd;
            break;
        }
        if (errno == EINPROGRESS) {
            int ready;
            while ((ready = Wait(fd, POLLOUT, deadline)) < 0) {
            }
            int error = 0;
            socklen_t length = sizeof error;
            if (ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                error == 0) {
                connected = fd;
                break;
            }
            *why = ready == 1 ? std::string("cannot connect: ") + std::strerror(error)
                              : std::string("no connection within the time allowed");
        } else {
            *why = std::string("cannot connect: ") + std::strerror(errno);
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return connected;
}

bool SendAll(int fd, std::string_view data, Clock::time_point deadline, std::string* why) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            *why = std::string("cannot send: ") + std::strerror(errno);
            return false;
        }
        if (Wait(fd, POLLOUT, deadline) == 0) {
            *why = "cannot send within the time allowed";
            return false;
        }
    }
    return true;
}

ReadEnd ReadUntil(int fd, std::string& buffer, Clock::time_point deadline, std::size_t max,
                  const std::function<bool(const std::string&)>& done) {
    char chunk[8192];
    while (!done(buffer)) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            if (buffer.size() + static_cast<std::size_t>(n) > max) return ReadEnd::TooLarge;
            buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return ReadEnd::Closed;
        if (errno != EAGAIN && errno != EINTR) return ReadEnd::Failed;
        if (Wait(fd, POLLIN, deadline) == 0) return ReadEnd::TimedOut;
    }
    return ReadEnd::Done;
}

bool SleepUntil(Clock::time_point until, int watch) {
    return Wait(watch, POLLIN, until) == 1;
}

} // namespace lcd
