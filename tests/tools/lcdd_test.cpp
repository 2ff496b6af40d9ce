// korvid-lcd's side of LCDd's protocol, against a made-up LCDd on loopback.
#include "lcdd.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace lcd;

namespace {

// Takes one client, answers its hello and client_set as LCDd does, then
// sends `then` and hangs up.
class FakeLcdd {
public:
    explicit FakeLcdd(std::string then) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        server_ = std::thread([this, then = std::move(then)] {
            const int client = ::accept(listener_, nullptr, nullptr);
            std::string in;
            char chunk[256];
            for (int answered = 0; answered < 2;) {
                const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
                if (n <= 0) break;
                in.append(chunk, static_cast<std::size_t>(n));
                for (std::size_t eol; (eol = in.find('\n')) != std::string::npos; ++answered) {
                    const std::string answer = in.rfind("hello", 0) == 0
                                                   ? "connect LCDproc 0.5.9 protocol 0.3 lcd wid "
                                                     "20 hgt 4 cellwid 5 cellhgt 8\n"
                                                   : "success\n";
                    in.erase(0, eol + 1);
                    ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
                }
            }
            ::send(client, then.data(), then.size(), MSG_NOSIGNAL);
            ::close(client);
        });
    }
    ~FakeLcdd() {
        if (server_.joinable()) server_.join();
        ::close(listener_);
    }
    Address Where() const { return {"127.0.0.1", port_}; }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread server_;
};

} // namespace

// LCDd that goes away while nothing changes on the screens is noticed all the
// same, from what it sends (its end, or events first); a "bye" is its end too.
TEST(Lcdd, NoticesItsEndBetweenCommands) {
    for (const std::string then : {"", "listen s0\nignore s0\n", "bye\n"}) {
        FakeLcdd fake(then);
        Lcdd lcdd;
        std::string why;
        ASSERT_TRUE(lcdd.Open(fake.Where(), &why)) << why;
        EXPECT_EQ(lcdd.Width(), 20);
        EXPECT_EQ(lcdd.Height(), 4);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (lcdd.IsOpen() && Clock::now() < deadline)
            if (SleepUntil(deadline, lcdd.Descriptor())) lcdd.Heard();
        EXPECT_FALSE(lcdd.IsOpen()) << "after '" << then << "'";
    }
}
