#pragma once

// Reads back the keep-alive options of a served connection.

#include "tcp.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// ws2ipdef.h of newer SDKs (Windows 10 1703 and later).
#define TCP_KEEPIDLE 3
#define TCP_KEEPCNT 16
#define TCP_KEEPINTVL 17
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace testing_support {

struct KeepAliveOptions {
    bool on = false;
    tcp::KeepAlive timing; // -1 where the system does not report one
};

inline int IntOption(tcp::Socket socket, int level, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    ::getsockopt(static_cast<int>(socket), level, name, reinterpret_cast<char*>(&value), &size);
    return value;
}

inline KeepAliveOptions KeepAliveOf(tcp::Socket socket) {
    return {IntOption(socket, SOL_SOCKET, SO_KEEPALIVE) != 0,
            {IntOption(socket, IPPROTO_TCP, TCP_KEEPIDLE),
             IntOption(socket, IPPROTO_TCP, TCP_KEEPINTVL),
             IntOption(socket, IPPROTO_TCP, TCP_KEEPCNT)}};
}

} // namespace testing_support
