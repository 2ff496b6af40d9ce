#include "lcdd.h"

#include <charconv>
#include <sys/socket.h>
#include <unistd.h>

namespace lcd {

namespace {

constexpr auto kAnswerTime = std::chrono::seconds(2);

int Word(std::string_view answer, std::string_view name) {
    const std::string key = " " + std::string(name) + " ";
    const auto at = answer.find(key);
    if (at == std::string_view::npos) return 0;
    int value = 0;
    const std::string_view rest = answer.substr(at + key.size());
    std::from_chars(rest.data(), rest.data() + rest.size(), value);
    return value;
}

} // namespace

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
    return quoted + '"';
}

bool ParseHello(std::string_view answer, int& width, int& height) {
    if (answer.rfind("connect ", 0) != 0) return false;
    width = Word(answer, "wid");
    height = Word(answer, "hgt");
    return width > 0 && height > 0;
}

bool Lcdd::Open(const Address& address, std::string* why) {
    Close();
    const auto deadline = Clock::now() + kAnswerTime;
    fd_ = ConnectTo(address, deadline, why);
    if (fd_ < 0) return false;
    std::string line;
    if (!SendAll(fd_, "hello\n", deadline, why) || !Answer(line, deadline) ||
        !ParseHello(line, width_, height_)) {
        if (fd_ >= 0 && why->empty()) *why = "no LCDd at the far end (it said: " + line + ")";
        Close();
        return false;
    }
    if (!Command("client_set -name korvid-lcd")) {
        *why = "LCDd went away";
        return false;
    }
    return true;
}

void Lcdd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_.clear();
}

// The next line that answers a command; the server's events pass by.
bool Lcdd::Answer(std::string& line, Clock::time_point deadline) {
    for (;;) {
        const auto eol = in_.find('\n');
        if (eol == std::string::npos) {
            if (ReadUntil(fd_, in_, deadline, 1 << 16, [](const std::string& s) {
                    return s.find('\n') != std::string::npos;
                }) != ReadEnd::Done)
                return false;
            continue;
        }
        line = in_.substr(0, eol);
        in_.erase(0, eol + 1);
        if (line.rfind("listen ", 0) == 0 || line.rfind("ignore ", 0) == 0 ||
            line.rfind("key ", 0) == 0 || line.rfind("menuevent ", 0) == 0)
            continue;
        return true;
    }
}

bool Lcdd::Heard() {
    if (fd_ < 0) return false;
    // What has come, without waiting: the deadline is now.
    const ReadEnd end =
        ReadUntil(fd_, in_, Clock::now(), 1 << 16, [](const std::string&) { return false; });
    if (end == ReadEnd::Closed || end == ReadEnd::Failed) {
        Close();
        return false;
    }
    // No command waits: every whole line is an event, or LCDd's goodbye.
    for (std::size_t eol; (eol = in_.find('\n')) != std::string::npos; in_.erase(0, eol + 1))
        if (in_.rfind("bye", 0) == 0) {
            Close();
            return false;
        }
    if (end == ReadEnd::TooLarge) in_.clear(); // a line without end: no answer is in it
    return true;
}

bool Lcdd::Command(const std::string& command, bool* refused) {
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + kAnswerTime;
    std::string why, line;
    if (!SendAll(fd_, command + "\n", deadline, &why) || !Answer(line, deadline) ||
        line.rfind("bye", 0) == 0) {
        Close();
        return false;
    }
    if (refused) *refused = line.rfind("huh?", 0) == 0;
    return true;
}

} // namespace lcd
