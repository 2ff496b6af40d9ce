#include "tcp.h"

#include <algorithm>
#include <cstring>
#include <string>

// winsock2.h first: the others build on its types.
// clang-format off
#include <winsock2.h>
#include <mstcpip.h>
#include <ws2tcpip.h>
// clang-format on

// After the system's socket headers, which it builds on.
#include "socket_address.h"

namespace tcp {

namespace {

// ws2ipdef.h of newer SDKs; Windows 10 1703 and later honour it.
constexpr int kTcpKeepCount = 16;

std::string ErrorText(const std::string& what) {
    const int code = ::WSAGetLastError();
    char text[256] = {};
    DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        text[--length] = '\0';
    return what + ": " +
           (length > 0 ? std::string(text, length) : "Winsock error " + std::to_string(code));
}

void StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

void SetInt(SOCKET socket, int level, int name, DWORD value) {
    ::setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
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
    // Older systems keep their own count.
    SetInt(socket, IPPROTO_TCP, kTcpKeepCount, static_cast<DWORD>(keepAlive.probes));
}

// Listening sockets kept for the listener's life, each with
// SO_EXCLUSIVEADDRUSE, so that no other socket can bind its address and port
// meanwhile; the caller refuses the clients it does not serve.
class WindowsListener final : public PortListener {
public:
    WindowsListener() { StartWinsock(); }
    ~WindowsListener() override { Close(); }

    bool Listen(const std::vector<Endpoint>& endpoints, const KeepAlive& keepAlive,
                std::string* error, bool* lasting) override {
        // WSAEACCES is another program's exclusive hold on the port here,
        // which may end: nothing is lasting but a missing protocol.
        if (lasting) *lasting = false;
        if (IsListening()) return true;
        keepAlive_ = keepAlive;
        for (const Endpoint& endpoint : endpoints) {
            if (!Open(endpoint, error)) {
                Close();
                return false;
            }
        }
        return true;
    }

    void Close() override {
        for (const Listening& listening : sockets_)
            ::closesocket(listening.socket); // resets the connections waiting unaccepted
        sockets_.clear();
    }

    bool IsListening() const override { return !sockets_.empty(); }

    std::vector<Socket> Handles() const override {
        std::vector<Socket> handles;
        for (const Listening& listening : sockets_)
            handles.push_back(static_cast<Socket>(listening.socket));
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
        int length = sizeof from;
        const SOCKET s =
            ::accept(static_cast<SOCKET>(listening), reinterpret_cast<sockaddr*>(&from), &length);
        if (s == INVALID_SOCKET) {
            const int code = ::WSAGetLastError();
            if (error && (code == WSAEMFILE || code == WSAENOBUFS))
                *error = ErrorText("cannot accept a connection");
            return kNoSocket;
        }
        if (peer) *peer = FromSockaddr(from, nullptr);
        SetNonBlocking(s);
        SetKeepAlive(s, keepAlive_);
        return static_cast<Socket>(s);
    }

private:
    struct Listening {
        SOCKET socket;
        Endpoint endpoint;
    };

    bool Open(const Endpoint& endpoint, std::string* error) {
        const bool v4 = endpoint.address && endpoint.address->IsV4();
        int family = v4 ? AF_INET : AF_INET6;
        SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET && !endpoint.address) {
            family = AF_INET;
            s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        }
        const std::string where = EndpointText(endpoint);
        if (s == INVALID_SOCKET) {
            if (error) *error = ErrorText("cannot create a socket for " + where);
            return false;
        }
        SetInt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
        if (family == AF_INET6) // every address means IPv4 as well; one IPv6 address only it
            SetInt(s, IPPROTO_IPV6, IPV6_V6ONLY, endpoint.address ? 1 : 0);
        sockaddr_storage address;
        int length = ToSockaddr(endpoint, family, address);
        if (::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(s, SOMAXCONN) != 0) {
            if (error) *error = ErrorText("cannot listen on " + where);
            ::closesocket(s);
            return false;
        }
        SetNonBlocking(s);
        sockaddr_storage local{};
        length = sizeof local;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
        Endpoint bound = endpoint;
        FromSockaddr(local, &bound.port);
        sockets_.push_back({s, bound});
        return true;
    }

    std::vector<Listening> sockets_;
    KeepAlive keepAlive_;
};

} // namespace

std::unique_ptr<PortListener> MakeSystemListener() {
    return std::make_unique<WindowsListener>();
}

std::vector<Address> Resolve(const std::string& host, std::string* error) {
    StartWinsock();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        if (error) *error = ErrorText("cannot resolve " + host);
        return {};
    }
    std::vector<Address> addresses = AddressesOf(found);
    ::freeaddrinfo(found);
    return addresses;
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

bool HungUp(Socket socket) {
    char byte;
    const int n = ::recv(static_cast<SOCKET>(socket), &byte, 1, MSG_PEEK);
    return n == 0 || (n < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK);
}

void Close(Socket socket) {
    ::closesocket(static_cast<SOCKET>(socket));
}

} // namespace tcp
