// Drives full report cycles against a server: connect, read the greeting,
// send a request, read the report to the end, close. Prints cycles per
// second and latency percentiles.
//
//   cycle-client PORT CYCLES [PACE_MS]   one cycle every PACE_MS, as a
//                                        display asks (default: back to back)

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One cycle; the number of report bytes, or -1 when it failed.
long Cycle(const sockaddr_in& server) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char buffer[4096];
    long received = 0;
    while (received < 2) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        received += n;
    }
    if (received != 2 || ::send(fd, "x", 1, MSG_NOSIGNAL) != 1) {
        ::close(fd);
        return -1;
    }
    long report = 0;
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        report += n;
    ::close(fd);
    return report > 0 ? report : -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: cycle-client PORT CYCLES [PACE_MS]\n");
        return 2;
    }
    const auto pace = std::chrono::milliseconds(argc == 4 ? std::atol(argv[3]) : 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const long cycles = std::atol(argv[2]);

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(cycles));
    long failures = 0;
    const auto start = Clock::now();
    for (long i = 0; i < cycles; ++i) {
        if (pace.count() > 0) std::this_thread::sleep_until(start + i * pace);
        const auto begin = Clock::now();
        if (Cycle(server) < 0) {
            ++failures;
            continue;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(micros.begin(), micros.end());
    auto percentile = [&micros](double p) {
        return micros.empty() ? 0.0 : micros[static_cast<std::size_t>(p * (micros.size() - 1))];
    };
    std::printf("cycles_per_s=%.0f p50_us=%.0f p99_us=%.0f failures=%ld\n",
                static_cast<double>(micros.size()) / seconds, percentile(0.50), percentile(0.99),
                failures);
    return failures == 0 ? 0 : 1;
}
