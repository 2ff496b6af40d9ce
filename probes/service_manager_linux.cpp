#include "service_manager.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// sd_notify(3)'s protocol, as that page gives it for programs without
// libsystemd (which would load five more libraries for one datagram): the
// text "READY=1" to the datagram socket that NOTIFY_SOCKET names, in the
// abstract namespace when it starts with '@'.
void TellServiceManagerReady() {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || (*path != '/' && *path != '@')) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, path, length);
    if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    constexpr char kReady[] = "READY=1";
    [[maybe_unused]] const ssize_t sent =
        ::sendto(fd, kReady, sizeof kReady - 1, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                 static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
    ::close(fd);
}
