#pragma once

// A client of LCDd, LCDproc's server, over its text protocol (POSIX): one
// command at a time, each waiting for its "success" or "huh?" while the
// server's own events (listen, ignore, key, menuevent) pass by.

#include "net_io.h"

#include <string>

namespace lcd {

// Text as the protocol quotes it: in double quotes, '"' and '\' escaped;
// control characters, which no display shows, become '?'.
std::string Quoted(std::string_view text);

// The display's width and height from LCDd's answer to "hello" ("connect
// LCDproc 0.5.9 protocol 0.3 lcd wid 20 hgt 4 ..."); false when it is none.
bool ParseHello(std::string_view answer, int& width, int& height);

class Lcdd {
public:
    ~Lcdd() { Close(); }

    // Connects, says hello and names this client; false, with the reason.
    bool Open(const Address& address, std::string* why);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Sends `command` and waits up to 2 s for its answer. False when LCDd has
    // gone (it is closed then); `refused` tells a "huh?" answer.
    bool Command(const std::string& command, bool* refused = nullptr);

    // Takes, without waiting, what LCDd sent between commands: its events,
    // which need no answer, or its end. False when it has gone (it is closed
    // then). Watch Descriptor() to know when there is something.
    bool Heard();
    int Descriptor() const { return fd_; }

private:
    bool Answer(std::string& line, Clock::time_point deadline);

    int fd_ = -1;
    std::string in_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace lcd
