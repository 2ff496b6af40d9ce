#pragma once

// TCP for the report service, one implementation per OS (tcp_linux.cpp,
// tcp_win32.cpp): the listening sockets and the non-blocking calls made on a
// served connection. No Qt; the caller watches the sockets with its event loop.

#include "endpoints.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tcp {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// TCP keep-alive on every served connection, so that a peer that vanished
// without a word (power cut, pulled cable) is noticed.
struct KeepAlive {
    int idleSeconds = 0;     // quiet time before the first probe
    int intervalSeconds = 0; // between probes
    int probes = 0;          // unanswered probes before the connection is dropped
};

// The sockets that displays connect to, one per endpoint. Once listening they
// listen for the listener's life, so that no other process can take the port
// meanwhile; the caller refuses the connections it does not serve.
class PortListener {
public:
    virtual ~PortListener() = default;

    // Binds and listens on every endpoint (port 0: one the system picks).
    // Connections accepted later carry `keepAlive`. All or nothing: false,
    // with the reason in `error`, when any endpoint cannot be had; `lasting`
    // then says whether waiting cannot mend it (a port this user may not
    // listen on), where a port in use or an address the machine does not
    // have yet may come free or appear.
    virtual bool Listen(const std::vector<Endpoint>& endpoints, const KeepAlive& keepAlive,
                        std::string* error, bool* lasting) = 0;
    // Gives the port up; connections waiting unaccepted are refused.
    virtual void Close() = 0;
    virtual bool IsListening() const = 0;
    // What to watch for arriving connections, one per endpoint.
    virtual std::vector<Socket> Handles() const = 0;
    // The endpoints listened on, with the ports the system picked.
    virtual std::vector<Endpoint> Bound() const = 0;
    // The next connection waiting on `listening`, non-blocking, and where it
    // comes from; kNoSocket when none waits, and also when accepting failed
    // (descriptors exhausted, say), which `error` then tells.
    virtual Socket Accept(Socket listening, Address* peer, std::string* error) = 0;
};

// The system's listener (TCP; dual-stack for every address where the system
// has IPv6).
std::unique_ptr<PortListener> MakeSystemListener();

// The addresses a host name stands for; none, with the reason in `error`,
// when it cannot be resolved.
std::vector<Address> Resolve(const std::string& host, std::string* error);

// Calls on an accepted connection; none of them blocks.
struct ReadResult {
    std::size_t bytes = 0; // bytes placed in the buffer
    bool ended = false;    // the peer will send no more (it may still read)
    bool failed = false;   // the connection is gone (reset, or an error)
};
ReadResult Read(Socket socket, char* buffer, std::size_t size);

// How many bytes the system took for sending: all, some, or 0 when its
// buffer is full; -1 when the connection is gone.
long Write(Socket socket, const char* data, std::size_t size);

// Whether the peer of a connection not yet read from has closed it (or reset
// it) without sending anything.
bool HungUp(Socket socket);

// Ends the connection: what was written still goes out, then the close.
void Close(Socket socket);

} // namespace tcp
