// The floor for this protocol on this machine: a minimal single-threaded server
// that does the same exchange as Korvid Halvane with nothing else around it:
// greet, read any request, send a fixed report, close; one client at a time.
// Two ways to serve one at a time:
//   floor-server PORT --keep-listening   one listener for its whole life:
//       clients that arrive meanwhile wait in the kernel's queue and are
//       served in turn (as the program serves them)
//   floor-server PORT                    the listener is closed while a client
//       is served (a second is refused) and a new one made for the next,
//       which is how the protocol has always been served

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kReport[] = "MBoTe=NA\\\r\nCPUTe=NA\\\r\nMBoFa=-NA-\\\r\nCPUFa=-NA-\\\r\n"
                           "Core0=NA\\\r\n3.3-V=NA\\\r\n+5Vol=NA\\\r\n+12Vo=-NA-\\\r\n"
                           "CPUSp=-NA-\\\r\nCPULoading =3\\\r\nCPUDes =Sample CPU\\\r\n"
                           "CompName=bench\\\r\nDrive C:=252.0,232.9\\\r\n";

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

// A dual-stack listener on `port`, or -1.
int Listen(uint16_t port) {
    const int listener = ::socket(AF_INET6, SOCK_STREAM, 0);
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

void Serve(int client) {
    char request[4096];
    if (client >= 0 && SendAll(client, "\r\n", 2) && ::recv(client, request, sizeof request, 0) > 0)
        SendAll(client, kReport, sizeof kReport - 1);
}

int main(int argc, char** argv) {
    const bool keepListening = argc == 3 && std::strcmp(argv[2], "--keep-listening") == 0;
    if (argc != 2 && !keepListening) {
        std::fprintf(stderr, "usage: floor-server PORT [--keep-listening]\n");
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    int listener = Listen(port);
    for (;;) {
        if (listener < 0) {
            std::perror("floor-server");
            return 1;
        }
        const int client = ::accept(listener, nullptr, nullptr);
        if (keepListening) {
            Serve(client);
            if (client >= 0) ::close(client);
            continue;
        }
        ::close(listener);
        Serve(client);
        // Listening again before the connection ends, so that a client
        // reconnecting at the end of its report finds the port open.
        listener = Listen(port);
        if (client >= 0) ::close(client);
    }
}
