// Drives full report cycles against a server: connect, read the greeting,
// send a request, read the report to the end, close. Prints cycles per
// second and latency percentiles.
//
//   cycle-client PORT CYCLES [PACE_MS [SERVER_PID]]
//       one cycle every PACE_MS, as a display asks (0, the default: back to
//       back); with SERVER_PID also the median of the server's CPU time per
//       cycle (/proc/PID/schedstat, read as each cycle starts), which a
//       moment that the machine's host takes the processor away from the
//       server does not sway as it sways the mean

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
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

// Nanoseconds that the thread of /proc/PID/schedstat `fd` has run, or -1.
long long RunNanoseconds(int fd) {
    char text[64] = {};
    if (fd < 0 || ::pread(fd, text, sizeof text - 1, 0) <= 0) return -1;
    return std::atoll(text);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: cycle-client PORT CYCLES [PACE_MS [SERVER_PID]]\n");
        return 2;
    }
    const auto pace = std::chrono::milliseconds(argc >= 4 ? std::atol(argv[3]) : 0);
    const int schedstat =
        argc == 5 ? ::open((std::string("/proc/") + argv[4] + "/schedstat").c_str(), O_RDONLY) : -1;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const long cycles = std::atol(argv[2]);

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(cycles));
    std::vector<double> serverMicros;
    long long ran = -1;
    long failures = 0;
    const auto start = Clock::now();
    auto finished = start;
    for (long i = 0; i < cycles || (i == cycles && schedstat >= 0); ++i) {
        if (pace.count() > 0) std::this_thread::sleep_until(start + i * pace);
        if (const long long now = RunNanoseconds(schedstat); now >= 0) {
            if (ran >= 0) serverMicros.push_back(static_cast<double>(now - ran) / 1000);
            ran = now;
        }
        if (i == cycles) break; // the last read closes the last cycle's interval
        const auto begin = Clock::now();
        const bool served = Cycle(server) >= 0;
        finished = Clock::now();
        if (!served) {
            ++failures;
            continue;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(finished - begin).count());
    }
    const double seconds = std::chrono::duration<double>(finished - start).count();
    std::sort(micros.begin(), micros.end());
    auto percentile = [&micros](double p) {
        return micros.empty() ? 0.0 : micros[static_cast<std::size_t>(p * (micros.size() - 1))];
    };
    std::printf("cycles_per_s=%.0f p50_us=%.0f p99_us=%.0f failures=%ld",
                static_cast<double>(micros.size()) / seconds, percentile(0.50), percentile(0.99),
                failures);
    if (!serverMicros.empty()) std::printf(" server_p50_us=%.1f", Median(serverMicros));
    std::printf("\n");
    return failures == 0 ? 0 : 1;
}
