// Clients racing for a one-client-at-a-time server: each thread connects,
// waits up to 2 s for the greeting, asks and reads the report, over and over.
// A connection is served, refused (refused, or closed or reset without the
// greeting), or left hanging: established, yet neither greeting nor close
// within 2 s. Prints the counts and the longest wait for a greeting that came.
//
//   race-client PORT THREADS SECONDS

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<long> served, refused, hanging, longestWaitUs;

void Race(const sockaddr_in& server, std::chrono::steady_clock::time_point until) {
    while (std::chrono::steady_clock::now() < until) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const timeval wait{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
            ::close(fd);
            ++refused;
            continue;
        }
        char buffer[4096];
        const auto asked = std::chrono::steady_clock::now();
        const ssize_t n = ::recv(fd, buffer, 2, MSG_WAITALL);
        const long waited = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                  std::chrono::steady_clock::now() - asked)
                                                  .count());
        if (n == 2) {
            for (long longest = longestWaitUs;
                 waited > longest && !longestWaitUs.compare_exchange_weak(longest, waited);) {
            }
            ::send(fd, "x", 1, MSG_NOSIGNAL);
            while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
            ++served;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            ++hanging;
        } else {
            ++refused;
        }
        ::close(fd);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: race-client PORT THREADS SECONDS\n");
        return 2;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[3]));
    const int count = std::atoi(argv[2]);
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i)
        threads.emplace_back(Race, server, until);
    for (auto& thread : threads)
        thread.join();
    std::printf("served=%ld refused=%ld hanging=%ld longest_wait_ms=%.1f\n", served.load(),
                refused.load(), hanging.load(), static_cast<double>(longestWaitUs.load()) / 1000);
    return 0;
}
