#pragma once

// Blocking-with-a-deadline TCP for korvid-lcd (POSIX): every wait is a
// ppoll() that takes the process's requests (its signals are blocked
// elsewhere), and none outlasts its deadline.

#include "lcd_settings.h"

#include <chrono>
#include <functional>
#include <string>

namespace lcd {

using Clock = std::chrono::steady_clock;

// A connected socket, or -1 with the reason.
int ConnectTo(const Address& address, Clock::time_point deadline, std::string* why);

// Sends all of `data`; false, with the reason, when it cannot by the deadline.
bool SendAll(int fd, std::string_view data, Clock::time_point deadline, std::string* why);

enum class ReadEnd { Done, Closed, TimedOut, Failed, TooLarge };

// Appends what arrives to `buffer` until `done(buffer)` holds, the peer
// closes, the deadline passes or `buffer` would hold more than `max` bytes.
ReadEnd ReadUntil(int fd, std::string& buffer, Clock::time_point deadline, std::size_t max,
                  const std::function<bool(const std::string&)>& done);

// Sleeps until `until`, until a request comes, or until `watch` (when not
// -1) has something to read or its peer has gone: true then.
bool SleepUntil(Clock::time_point until, int watch = -1);

} // namespace lcd
