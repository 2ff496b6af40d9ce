#include "tcp.h"

#include <string>

// winsock2.h first: the others build on its types.
// clang-format off
#include <winsock2.h>
#include <mstcpip.h>
#include <ws2tcpip.h>
// clang-format on

namespace tcp {

namespace {

constexpr int kBacklog = 16;
// ws2ipdef.h of newer SDKs; Windows 10 1703 and later honour it.
constexpr int kTcpKeepCount = 16;

std::string ErrorText(const char* what) {
    const int code = ::WSAGetLastError();
    char text[256] = {};
    DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        text[--length] = '\0';
    return std::string(what) + ": " +
           (length > 0 ? std::string(text, length) : "Winsock error " + std::to_string(code));
}

void StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

void SetNonBlocking(SOCKET socket) {
    u_long on = 1;
    ::ioctlsocket(socket, FIONBIO, &on);
}

void SetKeepAlive(SOCKET socket, const KeepAlive& keepAlive) {
    tcp_keepalive values{1, static_cast<u_long>(keepAlive.idleSeconds) * 1000,
                         static_cast<u_long>(keepAlive.intervalSeconds) * 1000};
    DWORD returned = 0;
    ::WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
               nullptr);
    const DWORD probes = static_cast<DWORD>(keepAlive.probes);
    ::setsockopt(socket, IPPROTO_TCP, kTcpKeepCount, reinterpret_cast<const char*>(&probes),
                 sizeof probes); // older systems keep their own count
}

// A listening socket per Listen(), closed by Stop(), as Winsock servers have
// always done it: Windows cannot stop a socket listening and start it again.
class WindowsListener : public PortListener {
public:
    WindowsListener() { StartWinsock(); }
    ~WindowsListener() override { Stop(); }

    bool Listen(std::uint16_t port, const KeepAlive& keepAlive, std::string* error) override {
        if (socket_ != INVALID_SOCKET) return true;
        keepAlive_ = keepAlive;
        if (port_ != 0) port = port_; // the port the system picked the first time
        int family = AF_INET6;
        SOCKET s = ::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            family = AF_INET;
            s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        }
        if (s == INVALID_SOCKET) {
            if (error) *error = ErrorText("cannot create a socket");
            return false;
        }
        int bound;
        if (family == AF_INET6) {
            const DWORD off = 0;
            ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off),
                         sizeof off);
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_addr = in6addr_any;
            address.sin6_port = htons(port);
            bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        } else {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_ANY);
            address.sin_port = htons(port);
            bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        if (bound != 0 || ::listen(s, kBacklog) != 0) {
            if (error) *error = ErrorText(bound != 0 ? "cannot bind" : "cannot listen");
            ::closesocket(s);
            return false;
        }
        SetNonBlocking(s);
        sockaddr_storage local{};
        int length = sizeof local;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
        socket_ = s;
        return true;
    }

    void Stop() override {
        if (socket_ == INVALID_SOCKET) return;
        ::closesocket(socket_); // resets the connections waiting unaccepted
        socket_ = INVALID_SOCKET;
    }

    bool IsListening() const override { return socket_ != INVALID_SOCKET; }
    Socket Handle() const override { return static_cast<Socket>(socket_); }
    std::uint16_t Port() const override { return port_; }

    Socket Accept(std::string* error) override {
        if (socket_ == INVALID_SOCKET) return kNoSocket;
        const SOCKET s = ::accept(socket_, nullptr, nullptr);
        if (s == INVALID_SOCKET) {
            const int code = ::WSAGetLastError();
            if (error && (code == WSAEMFILE || code == WSAENOBUFS))
                *error = ErrorText("cannot accept a connection");
            return kNoSocket;
        }
        SetNonBlocking(s);
        SetKeepAlive(s, keepAlive_);
        return static_cast<Socket>(s);
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    KeepAlive keepAlive_;
};

} // namespace

std::unique_ptr<PortListener> MakeSystemListener() {
    return std::make_unique<WindowsListener>();
}

ReadResult Read(Socket socket, char* buffer, std::size_t size) {
    ReadResult result;
    const int n = ::recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
    if (n > 0)
        result.bytes = static_cast<std::size_t>(n);
    else if (n == 0)
        result.ended = true;
    else if (::WSAGetLastError() != WSAEWOULDBLOCK)
        result.failed = true;
    return result;
}

long Write(Socket socket, const char* data, std::size_t size) {
    const int n = ::send(static_cast<SOCKET>(socket), data, static_cast<int>(size), 0);
    if (n >= 0) return n;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

void Close(Socket socket) {
    ::closesocket(static_cast<SOCKET>(socket));
}

} // namespace tcp
