// The programs as an administrator and a user start them: the headless
// service's lines, libraries, SIGHUP and SIGTERM; the window's Qt options, a
// stop request during the start-up question, and no display at all. The
// test runs in network and mount namespaces of its own (it needs root), so
// that port 9001 and the sensor block are its own.
#include "mod_mbm_access.h"
#include "shared_block.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using testing_support::TempDir;

namespace {

std::string privateSpaces; // empty once the namespaces are this process's own

class PrivateNamespaces : public ::testing::Environment {
public:
    void SetUp() override {
        if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") != 0) {
            privateSpaces = std::string("private namespaces: ") + std::strerror(errno);
            return;
        }
        ifreq loopback{};
        std::strcpy(loopback.ifr_name, "lo");
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        loopback.ifr_flags = IFF_UP | IFF_RUNNING;
        if (::ioctl(fd, SIOCSIFFLAGS, &loopback) != 0) privateSpaces = "loopback";
        ::close(fd);
    }
};
const auto* const kSpaces = ::testing::AddGlobalTestEnvironment(new PrivateNamespaces);

#define NEEDS_PRIVATE_SPACES()                                                                     \
    if (!privateSpaces.empty()) GTEST_SKIP() << "needs " << privateSpaces

// A program started with `args` and `environment`, its standard error read
// line by line.
class Program {
public:
    Program(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
        int err[2];
        if (::pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(err[1], 2);
            std::vector<char*> argv, envp;
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            for (const auto& e : environment)
                envp.push_back(const_cast<char*>(e.c_str()));
            argv.push_back(nullptr);
            envp.push_back(nullptr);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(err[1]);
        err_ = err[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (err_ >= 0) ::close(err_);
    }

    pid_t Pid() const { return pid_; }
    // Everything it wrote so far.
    const std::string& Said() const { return said_; }

    // Waits up to `timeout` for a line holding `text`.
    bool Says(const std::string& text, std::chrono::milliseconds timeout = 10s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (said_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{err_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char buffer[4096];
            const ssize_t n = ::read(err_, buffer, sizeof buffer);
            if (n <= 0) return said_.find(text) != std::string::npos;
            said_.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    // Sends `signal` and waits up to `timeout` for the exit status; -1 when
    // it did not end, 128 + N when a signal ended it.
    int EndWith(int signal, std::chrono::milliseconds timeout = 10s) {
        if (signal) ::kill(pid_, signal);
        const auto until = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) return -1;
            std::this_thread::sleep_for(10ms);
        }
        exited_ = true;
        Says("\n", 100ms); // what it said last
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    int err_ = -1;
    bool exited_ = false;
    std::string said_;
};

// One display's exchange on the default port; empty when nobody answered.
std::string Fetch(std::uint16_t port = 9001) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string text;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        ::send(fd, "x\r\n", 3, MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// A publisher in this process, holding the sensor block as korvid-hwmon does.
std::unique_ptr<modMBMAccess::SharedBlockWriter> Publish(double cpuTemperature) {
    auto block = modMBMAccess::SharedBlockWriter::Create(modMBMAccess::SensorBlockName(),
                                                         sizeof(modMBMAccess::SensorSnapshot));
    if (!block || !block->TryHoldExclusively()) return nullptr;
    modMBMAccess::SensorSnapshot snapshot{};
    std::memcpy(snapshot.Sensors[0].Name, "CPU", 3);
    snapshot.Sensors[0].Current = cpuTemperature;
    block->Write(&snapshot, sizeof snapshot);
    return block;
}

std::vector<std::string> Environment(const TempDir& dir,
                                     const std::vector<std::string>& more = {}) {
    std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + dir.Path().string(),
                                            "XDG_RUNTIME_DIR=" + dir.Path().string(),
                                            "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
    environment.insert(environment.end(), more.begin(), more.end());
    return environment;
}

void WritePairs(const TempDir& dir, const std::string& sensors) {
    std::ofstream(dir.File("Korvid.INI")) << "[Korvid]\nSensors=" << sensors << "\n";
}

} // namespace

// The service says what it does, maps no GUI library, notices a publisher
// that stops, reads its pairs again on SIGHUP and ends cleanly on SIGTERM.
TEST(HeadlessService, TellsWhatItDoesAndFollowsItsFiles) {
    NEEDS_PRIVATE_SPACES();
    TempDir dir;
    Program service({KORVID_PROGRAM, "--headless"}, Environment(dir));
    ASSERT_TRUE(service.Says("listening on *:9001 (every IPv4 and IPv6 address)\n"))
        << service.Said();
    EXPECT_NE(service.Said().find("there is no sensor block /$M$B$M$5$S$D$"), std::string::npos);
    EXPECT_NE(service.Said().find("no sensor pairs in " + dir.File("Korvid.INI") +
                                  ": every parameter reads NA; "),
              std::string::npos)
        << service.Said();
    EXPECT_NE(service.Said().find("every display may ask"), std::string::npos);
    std::string maps;
    std::getline(std::ifstream("/proc/" + std::to_string(service.Pid()) + "/maps"), maps, '\0');
    EXPECT_NE(maps.find("libQt6Core"), std::string::npos);
    for (const char* library : {"libQt6Gui", "libQt6Widgets", "libQt6DBus"})
        EXPECT_EQ(maps.find(library), std::string::npos) << library;

    auto publisher = Publish(45.5);
    ASSERT_TRUE(publisher);
    EXPECT_NE(Fetch().find("MBoTe=NA\\\r\n"), std::string::npos);
    EXPECT_TRUE(service.Says("the sensor block /$M$B$M$5$S$D$ is live"));
    WritePairs(dir, "0\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\");
    ::kill(service.Pid(), SIGHUP);
    EXPECT_TRUE(service.Says("read the sensor pairs again from " + dir.File("Korvid.INI") +
                             ": 1 of 9 parameters paired"));
    EXPECT_NE(Fetch().find("MBoTe=45.5\\\r\n"), std::string::npos);

    // Killed, the publisher leaves its block behind, held by nobody.
    publisher->SetRemoveOnDestroy(false);
    publisher.reset();
    std::this_thread::sleep_for(600ms); // older than the refresh interval
    EXPECT_NE(Fetch().find("MBoTe=0\\\r\n"), std::string::npos);
    EXPECT_TRUE(service.Says("was left by a publisher that no longer runs"));
    ::shm_unlink(modMBMAccess::SensorBlockName());

    EXPECT_EQ(service.EndWith(SIGTERM), 0) << service.Said();
    EXPECT_EQ(Fetch(), "");
}

// Qt's own options are the window's too; a stop request while the start-up
// question waits for an answer ends the program, with status 0.
TEST(Window, StopsWhileTheQuestionIsOpenAndTakesQtsOptions) {
    NEEDS_PRIVATE_SPACES();
    TempDir dir;
    for (int signal : {SIGTERM, SIGINT}) {
        Program window({KORVID_PROGRAM, "-platform", "offscreen", "-style", "Fusion"},
                       Environment(dir));
        ASSERT_TRUE(window.Says("listening on")) << window.Said();
        std::this_thread::sleep_for(200ms); // on to the question
        EXPECT_EQ(window.EndWith(signal), 0) << window.Said();
        EXPECT_EQ(Fetch(), "");
    }
}

// Without a display: one line that names the problem and the ways out.
TEST(Window, WithoutADisplaySaysWhatToDo) {
    NEEDS_PRIVATE_SPACES();
    TempDir dir;
    Program window({KORVID_PROGRAM}, Environment(dir));
    EXPECT_EQ(window.EndWith(0), 1);
    EXPECT_EQ(window.Said(), "korvid-halvane: cannot open a window: there is no display (DISPLAY "
                             "and WAYLAND_DISPLAY are not set). Run it on a desktop, or with "
                             "--headless to serve reports without a window.\n");
}
