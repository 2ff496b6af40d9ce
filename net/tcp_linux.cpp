#include "tcp.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tcp {

namespace {

constexpr int kBacklog = 16;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void SetInt(int fd, int level, int name, int value) {
    ::setsockopt(fd, level, name, &value, sizeof value);
}

// One socket, bound once and kept for the program's life. Stop() shuts its
// listening down and Listen() starts it again, which costs a few
// microseconds however many closed connections linger in TIME_WAIT on the
// port (binding a fresh socket walks all of them), and leaves no moment in
// which another process could take the port.
//
// SO_REUSEPORT is what makes the new listen() skip that walk. It would also
// let a second copy of this program (same user) bind the port beside the
// first, so a copy first claims the port in the abstract socket namespace of
// its network namespace; the claim goes with the process.
class LinuxListener : public PortListener {
public:
    ~LinuxListener() override {
        if (socket_ >= 0) ::close(socket_);
        if (claim_ >= 0) ::close(claim_);
    }

    bool Listen(std::uint16_t port, const KeepAlive& keepAlive, std::string* error) override {
        if (listening_) return true;
        if (socket_ < 0 && !Open(port, keepAlive, error)) return false;
        if (::listen(socket_, kBacklog) != 0) {
            if (error) *error = ErrnoText("cannot listen");
            return false;
        }
        listening_ = true;
        return true;
    }

    void Stop() override {
        if (!listening_) return;
        listening_ = false;
        // Shutting a listener down resets the connections waiting in its
        // queue and refuses new ones; the socket stays bound.
        if (::shutdown(socket_, SHUT_RD) != 0) {
            ::close(socket_);
            socket_ = -1;
        }
    }

    bool IsListening() const override { return listening_; }
    Socket Handle() const override { return socket_; }
    std::uint16_t Port() const override { return port_; }

    Socket Accept(std::string* error) override {
        if (!listening_) return kNoSocket;
        const int fd = ::accept4(socket_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) return fd;
        // A connection that failed before it was taken is none; running out
        // of descriptors or memory is a failure, which would recur at once.
        if (error && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM))
            *error = ErrnoText("cannot accept a connection");
        return kNoSocket;
    }

private:
    bool Claim(std::uint16_t port, std::string* error) {
        if (port == 0 || claim_ >= 0) return true;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            if (error) *error = ErrnoText("cannot claim the port");
            return false;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = "korvid-halvane:tcp:" + std::to_string(port);
        std::memcpy(address.sun_path + 1, name.data(), name.size()); // abstract: leading NUL
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
            if (error)
                *error = errno == EADDRINUSE ? "another copy of Korvid Halvane serves this port"
                                             : ErrnoText("cannot claim the port");
            ::close(fd);
            return false;
        }
        claim_ = fd;
        return true;
    }

    bool Open(std::uint16_t port, const KeepAlive& keepAlive, std::string* error) {
        if (!Claim(port, error)) return false;
        if (port == 0) {
            // A port the system picked is given back when listening stops;
            // only one named in bind() stays with the socket. So a free port
            // is found first, then bound by number.
            if (!Bind(0, keepAlive, error)) return false;
            const std::uint16_t free = port_;
            ::close(socket_);
            socket_ = -1;
            return Bind(free, keepAlive, error);
        }
        return Bind(port, keepAlive, error);
    }

    bool Bind(std::uint16_t port, const KeepAlive& keepAlive, std::string* error) {
        int family = AF_INET6;
        int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0 && errno == EAFNOSUPPORT) { // a kernel without IPv6
            family = AF_INET;
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        }
        if (fd < 0) {
            if (error) *error = ErrnoText("cannot create a socket");
            return false;
        }
        // SO_REUSEADDR only while binding, so that connections of an earlier
        // run still in TIME_WAIT do not keep the port; cleared afterwards, so
        // that no other socket can bind the port while this one is stopped.
        SetInt(fd, SOL_SOCKET, SO_REUSEADDR, 1);
        SetInt(fd, SOL_SOCKET, SO_REUSEPORT, 1);
        // Accepted connections inherit these.
        SetInt(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
        SetInt(fd, IPPROTO_TCP, TCP_KEEPIDLE, keepAlive.idleSeconds);
        SetInt(fd, IPPROTO_TCP, TCP_KEEPINTVL, keepAlive.intervalSeconds);
        SetInt(fd, IPPROTO_TCP, TCP_KEEPCNT, keepAlive.probes);
        int bound;
        if (family == AF_INET6) {
            SetInt(fd, IPPROTO_IPV6, IPV6_V6ONLY, 0);
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_addr = in6addr_any;
            address.sin6_port = htons(port);
            bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        } else {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_ANY);
            address.sin_port = htons(port);
            bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        if (bound != 0) {
            if (error) *error = ErrnoText("cannot bind");
            ::close(fd);
            return false;
        }
        SetInt(fd, SOL_SOCKET, SO_REUSEADDR, 0);
        sockaddr_storage local{};
        socklen_t length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
        socket_ = fd;
        return true;
    }

    int socket_ = -1;
    int claim_ = -1;
    bool listening_ = false;
    std::uint16_t port_ = 0;
};

} // namespace

std::unique_ptr<PortListener> MakeSystemListener() {
    return std::make_unique<LinuxListener>();
}

ReadResult Read(Socket socket, char* buffer, std::size_t size) {
    ReadResult result;
    for (;;) {
        const ssize_t n = ::recv(static_cast<int>(socket), buffer, size, 0);
        if (n > 0) {
            result.bytes = static_cast<std::size_t>(n);
        } else if (n == 0) {
            result.ended = true;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            result.failed = true;
        }
        return result;
    }
}

long Write(Socket socket, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

void Close(Socket socket) {
    ::close(static_cast<int>(socket));
}

} // namespace tcp
