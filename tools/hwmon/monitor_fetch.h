#pragma once

// What fetches the hardware monitors' readings (monitor_fetch_win32.cpp):
// LibreHardwareMonitor's web server over HTTP, HWiNFO's shared memory.

#include <memory>
#include <optional>
#include <string>

namespace hwmon {

inline constexpr std::size_t kMaxBodyBytes = std::size_t{4} << 20;

// HTTP GETs of one server, each given 2 s whatever the HTTP library does
// (Wine's WinHTTP keeps no receive timeout): a request runs on a thread of
// its own, and one that outlasts its 2 s is left to end by itself, while the
// next rounds find it still waiting and ask nothing more.
class HttpFetcher {
public:
    // The body of a GET of `url`, with Basic authentication when `user` is
    // given; nothing, with the reason, when the server does not answer
    // within 2 s, answers with an HTTP error, or with over 4 MiB.
    std::optional<std::string> Get(const std::string& url, const std::string& user,
                                   const std::string& password, std::string* why);

private:
    struct Fetch;
    std::shared_ptr<Fetch> running_; // a request that outlasted its 2 s
};

// HWiNFO's shared memory as it stands; nothing, with the reason, when there
// is none (HWiNFO does not run, or does not share its readings).
std::optional<std::string> ReadHwinfoMemory(std::string* why);

} // namespace hwmon
