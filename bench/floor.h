#pragma once

// What the floor servers share: the fixed report they send (the size and
// shape of the program's own, every parameter unpaired) and their listener.

#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline constexpr char kFloorReport[] =
    "MBoTe=NA\\\r\nCPUTe=NA\\\r\nMBoFa=-NA-\\\r\nCPUFa=-NA-\\\r\n"
    "Core0=NA\\\r\n3.3-V=NA\\\r\n+5Vol=NA\\\r\n+12Vo=-NA-\\\r\n"
    "CPUSp=-NA-\\\r\nCPULoading =3\\\r\nCPUDes =Sample CPU\\\r\n"
    "CompName=bench\\\r\nDrive C:=252.0,232.9\\\r\n";

// A dual-stack listener on `port` (`type` may add SOCK_NONBLOCK), or -1.
inline int FloorListener(std::uint16_t port, int type = 0) {
    const int listener = ::socket(AF_INET6, SOCK_STREAM | type, 0);
    const int on = 1, off = 0;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    address.sin6_port = htons(port);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 50) != 0) {
        ::close(listener);
        return -1;
    }
    return listener;
}
