#include "tcp.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

// After the system's socket headers, which it builds on.
#include "socket_address.h"

namespace tcp {

namespace {

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void SetInt(int fd, int level, int name, int value) {
    ::setsockopt(fd, level, name, &value, sizeof value);
}

// The listening sockets' inodes for `port` in one of /proc/net/tcp{,6}.
void ListeningInodes(const char* table, std::uint16_t port, std::vector<std::string>& inodes) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line); // the header
    while (std::getline(in, line)) {
        char local[64], remote[64], state[8];
        unsigned long inode = 0;
        if (std::sscanf(line.c_str(), "%*s %63s %63s %7s %*s %*s %*s %*s %*s %lu", local, remote,
                        state, &inode) != 4)
            continue;
        const char* colon = std::strrchr(local, ':');
        if (colon && std::strtoul(colon + 1, nullptr, 16) == port && std::strcmp(state, "0A") == 0)
            inodes.push_back("socket:[" + std::to_string(inode) + "]");
    }
}

// Who listens on `port` where this process can see it, for the message that
// says the port is taken: another copy only when it is one.
std::string PortHolder(std::uint16_t port) {
    std::vector<std::string> inodes;
    ListeningInodes("/proc/net/tcp", port, inodes);
    ListeningInodes("/proc/net/tcp6", port, inodes);
    if (inodes.empty()) return {};
    DIR* proc = ::opendir("/proc");
    if (!proc) return {};
    std::string holder;
    while (holder.empty()) {
        const dirent* entry = ::readdir(proc);
        if (!entry) break;
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue; // another user's
        while (const dirent* fd = ::readdir(fds)) {
            char target[64];
            const ssize_t n =
                ::readlink((fdDir + "/" + fd->d_name).c_str(), target, sizeof target - 1);
            if (n <= 0 ||
                std::find(inodes.begin(), inodes.end(),
                          std::string(target, static_cast<std::size_t>(n))) == inodes.end())
                continue;
            std::string name;
            std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
            if (pid == std::to_string(::getpid())) {
                holder = "this program listens there already";
                break;
            }
            holder = name.rfind("korvid-halvane", 0) == 0
                         ? "another copy of Korvid Halvane (pid " + pid + ") serves it"
                         : name.append(" (pid ").append(pid).append(") listens on it");
            break;
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return holder.empty() ? "a process of another user listens on it" : holder;
}

// Listening sockets kept for the listener's life: while one listens, no other
// socket can bind its address and port, with SO_REUSEPORT or without, and
// the caller refuses the clients it does not serve. (A socket that stopped
// listening could be bound beside; listening again on it costs a walk over
// every closed connection still in TIME_WAIT on the port.)
class LinuxListener final : public PortListener {
public:
    ~LinuxListener() override { Close(); }

    bool Listen(const std::vector<Endpoint>& endpoints, const KeepAlive& keepAlive,
                std::string* error, bool* lasting) override {
        if (IsListening()) return true;
        for (const Endpoint& endpoint : endpoints) {
            if (!Open(endpoint, keepAlive, error, lasting)) {
                Close();
                return false;
            }
        }
        return true;
    }

    void Close() override {
        for (const Listening& listening : sockets_)
            ::close(listening.fd);
        sockets_.clear();
    }

    bool IsListening() const override { return !sockets_.empty(); }

    std::vector<Socket> Handles() const override {
        std::vector<Socket> handles;
        for (const Listening& listening : sockets_)
            handles.push_back(listening.fd);
        return handles;
    }

    std::vector<Endpoint> Bound() const override {
        std::vector<Endpoint> bound;
        for (const Listening& listening : sockets_)
            bound.push_back(listening.endpoint);
        return bound;
    }

    Socket Accept(Socket listening, Address* peer, std::string* error) override {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const int fd = ::accept4(static_cast<int>(listening), reinterpret_cast<sockaddr*>(&from),
                                 &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            if (peer) *peer = FromSockaddr(from, nullptr);
            return fd;
        }
        // A connection that failed before it was taken is none; running out
        // of descriptors or memory is a failure, which would recur at once.
        if (error && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM))
            *error = ErrnoText("cannot accept a connection");
        return kNoSocket;
    }

private:
    struct Listening {
        int fd;
        Endpoint endpoint;
    };

    bool Open(const Endpoint& endpoint, const KeepAlive& keepAlive, std::string* error,
              bool* lasting) {
        const bool v4 = endpoint.address && endpoint.address->IsV4();
        int family = v4 ? AF_INET : AF_INET6;
        int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0 && errno == EAFNOSUPPORT && !endpoint.address) { // a kernel without IPv6
            family = AF_INET;
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        }
        const std::string where = EndpointText(endpoint);
        if (fd < 0) {
            if (error) *error = ErrnoText("cannot create a socket for " + where);
            if (lasting) *lasting = errno == EAFNOSUPPORT;
            return false;
        }
        // While it listens, SO_REUSEADDR lets no other socket bind here; the
        // connections it accepts inherit it, so that their TIME_WAIT entries
        // do not keep the port from other programs once this one has ended.
        SetInt(fd, SOL_SOCKET, SO_REUSEADDR, 1);
        SetInt(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
        SetInt(fd, IPPROTO_TCP, TCP_KEEPIDLE, keepAlive.idleSeconds);
        SetInt(fd, IPPROTO_TCP, TCP_KEEPINTVL, keepAlive.intervalSeconds);
        SetInt(fd, IPPROTO_TCP, TCP_KEEPCNT, keepAlive.probes);
        if (family == AF_INET6) // every address means IPv4 as well; one IPv6 address only it
            SetInt(fd, IPPROTO_IPV6, IPV6_V6ONLY, endpoint.address ? 1 : 0);
        sockaddr_storage address;
        socklen_t length = static_cast<socklen_t>(ToSockaddr(endpoint, family, address));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd, SOMAXCONN) != 0) {
            const int code = errno;
            if (lasting) *lasting = code == EACCES;
            if (error) {
                *error = "cannot listen on " + where + ": ";
                if (code == EADDRNOTAVAIL && endpoint.address)
                    *error += "this machine has no address " + AddressText(*endpoint.address);
                else if (code == EACCES)
                    *error += "port " + std::to_string(endpoint.port) +
                              " is below 1024, which only root (or a program given "
                              "CAP_NET_BIND_SERVICE) may listen on";
                else
                    *error += std::strerror(code);
                if (code == EADDRINUSE && endpoint.port != 0)
                    if (const std::string holder = PortHolder(endpoint.port); !holder.empty())
                        *error += " (" + holder + ")";
            }
            ::close(fd);
            return false;
        }
        sockaddr_storage local{};
        length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        Endpoint bound = endpoint;
        FromSockaddr(local, &bound.port);
        sockets_.push_back({fd, bound});
        return true;
    }

    std::vector<Listening> sockets_;
};

} // namespace

std::unique_ptr<PortListener> MakeSystemListener() {
    return std::make_unique<LinuxListener>();
}

std::vector<Address> Resolve(const std::string& host, std::string* error) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0) {
        if (error) *error = "cannot resolve " + host + ": " + ::gai_strerror(status);
        return {};
    }
    std::vector<Address> addresses = AddressesOf(found);
    ::freeaddrinfo(found);
    return addresses;
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

bool HungUp(Socket socket) {
    char byte;
    const ssize_t n = ::recv(static_cast<int>(socket), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void Close(Socket socket) {
    ::close(static_cast<int>(socket));
}

} // namespace tcp
