#include "fetch_report.h"

#include "net_io.h"

#include <unistd.h>

namespace lcd {

namespace {

constexpr auto kExchangeTime = std::chrono::seconds(2);

} // namespace

std::optional<Report> FetchReport(const Address& address, std::string* why) {
    const auto deadline = Clock::now() + kExchangeTime;
    const int fd = ConnectTo(address, deadline, why);
    if (fd < 0) return std::nullopt;
    std::string received;
    ReadEnd end =
        ReadUntil(fd, received, deadline, 2, [](const std::string& s) { return s.size() >= 2; });
    std::optional<Report> report;
    if (end != ReadEnd::Done || received != "\r\n") {
        *why = end == ReadEnd::TimedOut ? "no greeting within 2 s" : "no greeting";
    } else if (SendAll(fd, "x\r\n", deadline, why)) {
        received.clear();
        end = ReadUntil(fd, received, deadline, kMaxReportBytes,
                        [](const std::string&) { return false; });
        if (end == ReadEnd::Closed)
            report = ParseReport(received, why);
        else
            *why = end == ReadEnd::TooLarge   ? "a report of over 64 KiB"
                   : end == ReadEnd::TimedOut ? "no whole report within 2 s"
                                              : "the connection failed";
    }
    ::close(fd);
    return report;
}

} // namespace lcd
