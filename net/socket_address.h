#pragma once

// The system's socket addresses to and from Address and Endpoint, for
// tcp_linux.cpp and tcp_win32.cpp alone: both include their system's socket
// headers (sockaddr_in6, addrinfo, htons) before this one, whose structures
// are the same on both.

#include "endpoints.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tcp {

// An IPv4 address comes back IPv4-mapped; `port`, when given, receives the port.
inline Address FromSockaddr(const sockaddr_storage& storage, std::uint16_t* port) {
    Address address;
    if (storage.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
        address.bytes[10] = address.bytes[11] = 0xff;
        std::memcpy(&address.bytes[12], &in.sin_addr, 4);
        if (port) *port = ntohs(in.sin_port);
    } else {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage);
        std::memcpy(address.bytes.data(), &in6.sin6_addr, 16);
        if (port) *port = ntohs(in6.sin6_port);
    }
    return address;
}

// The address to bind `endpoint` to on a socket of `family`; its length.
inline int ToSockaddr(const Endpoint& endpoint, int family, sockaddr_storage& storage) {
    storage = {};
    if (family == AF_INET6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(endpoint.port);
        if (endpoint.address) std::memcpy(&in6.sin6_addr, endpoint.address->bytes.data(), 16);
        return sizeof in6;
    }
    auto& in = reinterpret_cast<sockaddr_in&>(storage);
    in.sin_family = AF_INET;
    in.sin_port = htons(endpoint.port);
    if (endpoint.address) std::memcpy(&in.sin_addr, &endpoint.address->bytes[12], 4);
    return sizeof in;
}

// The distinct addresses of a getaddrinfo() answer, in its order.
inline std::vector<Address> AddressesOf(const addrinfo* found) {
    std::vector<Address> addresses;
    for (const addrinfo* info = found; info; info = info->ai_next) {
        sockaddr_storage storage{};
        std::memcpy(&storage, info->ai_addr, std::min(sizeof storage, size_t(info->ai_addrlen)));
        const Address address = FromSockaddr(storage, nullptr);
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    return addresses;
}

} // namespace tcp
