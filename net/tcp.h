#pragma once

// TCP for the report service, one implementation per OS (tcp_linux.cpp,
// tcp_win32.cpp): the listening port and the non-blocking calls made on a
// served connection. No Qt; the caller watches the sockets with its event loop.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

// The port that clients connect to, on every IPv4 and IPv6 address.
class PortListener {
public:
    virtual ~PortListener() = default;

    // Starts listening on `port` (0: a free port the system picks), or
    // resumes after Stop(). Connections accepted later carry `keepAlive`.
    // False when the port cannot be had; `error` says why.
    virtual bool Listen(std::uint16_t port, const KeepAlive& keepAlive, std::string* error) = 0;
    // Stops accepting: connections that arrive now, or wait unaccepted, are
    // refused. Where the system allows it the port stays this program's, so
    // no other process can take it while a client is served.
    virtual void Stop() = 0;
    virtual bool IsListening() const = 0;
    // What to watch for arriving connections while listening; it may change
    // from one Listen() to the next.
    virtual Socket Handle() const = 0;
    // The port listened on; 0 before the first successful Listen().
    virtual std::uint16_t Port() const = 0;
    // The next waiting connection, non-blocking; kNoSocket when none waits,
    // and also when accepting failed (descriptors exhausted, say), which
    // `error` then tells.
    virtual Socket Accept(std::string* error) = 0;
};

// The system's listener (TCP, dual-stack where the system has IPv6).
std::unique_ptr<PortListener> MakeSystemListener();

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

// Ends the connection: what was written still goes out, then the close.
void Close(Socket socket);

} // namespace tcp
