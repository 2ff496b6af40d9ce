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

#include "floor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

void Serve(int client) {
    char request[4096];
    if (client >= 0 && SendAll(client, "\r\n", 2) && ::recv(client, request, sizeof request, 0) > 0)
        SendAll(client, kFloorReport, sizeof kFloorReport - 1);
}

int main(int argc, char** argv) {
    const bool keepListening = argc == 3 && std::strcmp(argv[2], "--keep-listening") == 0;
    if (argc != 2 && !keepListening) {
        std::fprintf(stderr, "usage: floor-server PORT [--keep-listening]\n");
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    int listener = FloorListener(port);
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
        listener = FloorListener(port);
        if (client >= 0) ::close(client);
    }
}
