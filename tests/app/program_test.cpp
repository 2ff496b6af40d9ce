// The programs as an administrator and a user start them: the headless
// service's lines, libraries, SIGHUP and SIGTERM; the window's Qt options, a
// stop request during the start-up question, and no display at all. The
// test runs in network and mount namespaces of its own (it needs root), so
// that port 9001 and the sensor block are its own.
#include "mod_mbm_access.h"
#include "shared_block.h"
#include "support/fake_chips.h"
#include "support/program.h"
#include "support/signal_state.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using testing_support::Program;
using testing_support::TempDir;

namespace {

std::string privateSpaces; // empty once the namespaces are this process's own

// The longest host name Linux allows.
const std::string kHostName = "a-host-name-of-sixty-four-characters-which-linux-allows-at-most0";
static_assert(sizeof "a-host-name-of-sixty-four-characters-which-linux-allows-at-most0" == 65);

class PrivateNamespaces : public ::testing::Environment {
public:
    void SetUp() override {
        if (::unshare(CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWUTS) != 0 ||
            ::sethostname(kHostName.data(), kHostName.size()) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") != 0 ||
            ::mount("tmpfs", "/sys/class", "tmpfs", 0, "mode=0755") != 0) {
            privateSpaces = std::string("private namespaces: ") + std::strerror(errno);
            return;
        }
        ifreq loopback{};
        std::strcpy(loopback.ifr_name, "lo");
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        loopback.ifr_flags = IFF_UP | IFF_RUNNING;
        if (::ioctl(fd, SIOCSIFFLAGS, &loopback) != 0) privateSpaces = "loopback";
        ::close(fd);
        SlowNameServer();
    }

    // A name server that hears every question and answers none, as a slow
    // DNS does; the namespace's resolv.conf names it.
    static void SlowNameServer() {
        dnsSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        static const TempDir dir;
        std::ofstream(dir.File("resolv.conf"))
            << "nameserver 127.0.0.1\noptions timeout:3 attempts:1\n";
        if (::bind(dnsSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::mount(dir.File("resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND,
                    nullptr) != 0)
            privateSpaces = std::string("a name server of its own: ") + std::strerror(errno);
    }

public:
    static inline int dnsSocket = -1;
};

// Waits up to 10 s for a question to the slow name server.
bool NameLookedUp() {
    pollfd asked{PrivateNamespaces::dnsSocket, POLLIN, 0};
    if (::poll(&asked, 1, 10000) != 1) return false;
    char question[512];
    while (::recv(PrivateNamespaces::dnsSocket, question, sizeof question, MSG_DONTWAIT) > 0) {
    }
    return true;
}
const auto* const kSpaces = ::testing::AddGlobalTestEnvironment(new PrivateNamespaces);

#define NEEDS_PRIVATE_SPACES()                                                                     \
    if (!privateSpaces.empty()) GTEST_SKIP() << "needs " << privateSpaces

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
    // systemd's notify socket: readiness is told once the port takes displays.
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un notifyAddress{};
    notifyAddress.sun_family = AF_UNIX;
    std::strncpy(notifyAddress.sun_path, dir.File("notify").c_str(),
                 sizeof notifyAddress.sun_path - 1);
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&notifyAddress), sizeof notifyAddress), 0);
    const timeval notifyWait{30, 0};
    ::setsockopt(notify, SOL_SOCKET, SO_RCVTIMEO, &notifyWait, sizeof notifyWait);
    Program service({KORVID_PROGRAM, "--headless"},
                    Environment(dir, {"NOTIFY_SOCKET=" + dir.File("notify")}));
    char notice[64] = {};
    EXPECT_EQ(::recv(notify, notice, sizeof notice - 1, 0), 7);
    EXPECT_STREQ(notice, "READY=1");
    ::close(notify);
    ASSERT_TRUE(service.Says("listening on *:9001 (every IPv4 and IPv6 address)\n"))
        << service.Said();
    EXPECT_TRUE(service.Says("no sensor pairs in " + dir.File("Korvid.INI") +
                             ": every parameter reads NA; "))
        << service.Said();
    EXPECT_NE(service.Said().find("there is no sensor block /$M$B$M$5$S$D$"), std::string::npos);
    EXPECT_NE(service.Said().find("every display may ask"), std::string::npos);
    std::string maps;
    std::getline(std::ifstream("/proc/" + std::to_string(service.Pid()) + "/maps"), maps, '\0');
    EXPECT_NE(maps.find("libQt6Core"), std::string::npos);
    for (const char* library : {"libQt6Gui", "libQt6Widgets", "libQt6DBus"})
        EXPECT_EQ(maps.find(library), std::string::npos) << library;

    auto publisher = Publish(45.5);
    ASSERT_TRUE(publisher);
    const std::string report = Fetch();
    EXPECT_NE(report.find("MBoTe=NA\\\r\n"), std::string::npos);
    EXPECT_NE(report.find("CompName=" + kHostName + "\\\r\n"), std::string::npos) << report;
    EXPECT_TRUE(service.Says("the sensor block /$M$B$M$5$S$D$ is live")) << service.Said();
    WritePairs(dir, "0\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\");
    ::kill(service.Pid(), SIGHUP);
    EXPECT_TRUE(service.Says("read the sensor pairs again from " + dir.File("Korvid.INI") +
                             ": 1 of 9 parameters paired"));
    EXPECT_NE(Fetch().find("MBoTe=45.5\\\r\n"), std::string::npos);

    // Killed, the publisher leaves its block behind, held by nobody.
    publisher->SetRemoveOnDestroy(false);
    publisher.reset();
    std::this_thread::sleep_for(600ms);                           // older than the refresh interval
    EXPECT_NE(Fetch().find("MBoTe=NA\\\r\n"), std::string::npos); // no reading, not 0
    EXPECT_TRUE(service.Says("was left by a publisher that no longer runs"));
    ::shm_unlink(modMBMAccess::SensorBlockName());

    // A disk mounted just before a request is in its report, and gone from
    // the next once unmounted (a loop device holding ext2 stands for it).
    const std::string image = dir.File("disk.img"), mountPoint = dir.File("disk");
    if (std::system(("truncate -s 8M '" + image + "' && mkfs.ext2 -q '" + image + "' && mkdir '" +
                     mountPoint + "' && mount -o loop '" + image + "' '" + mountPoint + "'")
                        .c_str()) == 0) {
        EXPECT_NE(Fetch().find("Drive D:="), std::string::npos);
        EXPECT_EQ(::umount2(mountPoint.c_str(), MNT_DETACH), 0);
        EXPECT_EQ(Fetch().find("Drive D:="), std::string::npos);
    } else {
        std::cout << "[   NOTE   ] no loop device here: the mounted-disk step was left out\n";
    }

    EXPECT_EQ(service.EndWith(SIGTERM), 0) << service.Said();
    EXPECT_EQ(Fetch(), "");
}

// The fault that once served the CPU's clock as its temperature: pairs saved
// against korvid-hwmon's slots read NA while an input faults, never another
// sensor's value, and the reading again once the fault clears.
TEST(HeadlessService, AFaultedInputReadsNaNeverAnotherSensors) {
    NEEDS_PRIVATE_SPACES();
    testing_support::Chips chips;
    testing_support::Chips::Add(0, "pci/0000:01:00.0",
                                {{"name", "nvme"},
                                 {"temp1_input", "41850"},
                                 {"temp1_fault", "0"},
                                 {"temp2_input", "40850"}});
    testing_support::Chips::Add(1, "pci/0000:00:18.3",
                                {{"name", "k10temp"}, {"temp1_input", "45000"}});
    TempDir dir;
    Program hwmon(
        {KORVID_HWMON, "--state", dir.File("slots"), "--interval", "20", "--config", "/dev/null"},
        {});
    ASSERT_TRUE(hwmon.Says("publishing")) << hwmon.Said();
    auto slot = [&](const std::string& key) {
        std::ifstream map(dir.File("slots"));
        for (std::string line; std::getline(map, line);)
            if (line.size() > key.size() && line.substr(line.size() - key.size()) == key)
                return line.substr(0, line.find(' '));
        return std::string("-1");
    };
    WritePairs(dir, slot("nvme-pci-0100/temp1") + "\\" + slot("k10temp-pci-00c3/temp1") +
                        "\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\");
    Program service({KORVID_PROGRAM, "--headless"}, Environment(dir));
    ASSERT_TRUE(service.Says("listening on")) << service.Said();
    auto reports = [&](const std::string& mbo) {
        for (int i = 0; i < 200; ++i) {
            const std::string report = Fetch();
            if (report.find("MBoTe=" + mbo + "\\\r\n") != std::string::npos)
                return report.find("CPUTe=45\\\r\n") != std::string::npos;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    };
    EXPECT_TRUE(reports("41.85"));
    std::ofstream("/sys/class/hwmon/hwmon0/temp1_fault") << "1\n";
    EXPECT_TRUE(reports("NA")) << Fetch();
    std::ofstream("/sys/class/hwmon/hwmon0/temp1_fault") << "0\n";
    EXPECT_TRUE(reports("41.85"));
    EXPECT_EQ(service.EndWith(SIGTERM), 0);
    EXPECT_EQ(hwmon.EndWith(SIGTERM), 0);
}

// No request ends the service unhandled or is lost, whenever it comes: from
// the first instruction (across the exec from korvid-halvane to the service's
// program), in a storm, or twice over.
TEST(HeadlessService, EverySignalIsTakenWheneverItComes) {
    NEEDS_PRIVATE_SPACES();
    TempDir dir;
    WritePairs(dir, "0\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\");
    using testing_support::TakesSignal;
    const std::pair<const char*, std::function<void(Program&)>> moments[] = {
        {"SIGHUP while a host name is looked up",
         [](Program& p) {
             ASSERT_TRUE(NameLookedUp());
             ::kill(p.Pid(), SIGHUP);
         }},
        {"SIGHUP as soon as it is held",
         [](Program& p) {
             ASSERT_TRUE(TakesSignal(p.Pid(), SIGHUP));
             ::kill(p.Pid(), SIGHUP);
         }},
        {"SIGTERM as soon as it is held",
         [](Program& p) {
             ASSERT_TRUE(TakesSignal(p.Pid(), SIGTERM));
             ::kill(p.Pid(), SIGTERM);
         }},
        {"two thousand SIGHUPs, then SIGTERM",
         [](Program& p) {
             ASSERT_TRUE(p.Says("listening on"));
             for (int i = 0; i < 2000; ++i)
                 ::kill(p.Pid(), SIGHUP);
             ::kill(p.Pid(), SIGTERM);
         }},
        {"two SIGTERMs back to back",
         [](Program& p) {
             ASSERT_TRUE(p.Says("listening on"));
             ::kill(p.Pid(), SIGTERM);
             ::kill(p.Pid(), SIGTERM);
         }},
    };
    for (const auto& [moment, act] : moments) {
        Program service({KORVID_PROGRAM, "--headless", "--allow", "127.0.0.1 slow.test"},
                        Environment(dir));
        act(service);
        const bool stopped = std::string(moment).find("SIGTERM") != std::string::npos;
        if (!stopped) {
            EXPECT_TRUE(service.Says("listening on")) << moment << ": " << service.Said();
            EXPECT_NE(Fetch().find("CompName="), std::string::npos) << moment;
        }
        EXPECT_EQ(service.EndWith(stopped ? 0 : SIGTERM), 0) << moment << ": " << service.Said();
    }
}

// Settings that cannot be used, or a port that waiting will not give: the
// service says what is wrong in one line and exits with status 2.
TEST(HeadlessService, SettingsThatCannotBeUsedStopIt) {
    NEEDS_PRIVATE_SPACES();
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string file;
        std::string says;
        uid_t user = 0;
    };
    const Case cases[] = {
        {{},
         "[Korvid]\nAllow=127.0.0.010\n",
         "Allow= in " + dir.File("Korvid.INI") + ": '127.0.0.010' is no address"},
        {{"--allow", ""}, "", "--allow: an empty value names nothing"},
        {{"--listen", "127.0.0.1", "--listen", "127.0.0.1"}, "", "'127.0.0.1:9001' is given twice"},
        {{"--listen", "127.0.0.1:80", "--allow", "127.0.0.1"},
         "",
         "cannot listen on 127.0.0.1:80: port 80 is below 1024",
         65534},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir.File("Korvid.INI"));
        if (!c.file.empty()) std::ofstream(dir.File("Korvid.INI")) << c.file;
        std::vector<std::string> args = {KORVID_PROGRAM, "--headless"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Program service(args, Environment(dir), c.user);
        EXPECT_EQ(service.EndWith(0), 2) << service.Said();
        EXPECT_NE(service.Said().find(c.says), std::string::npos) << service.Said();
    }
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
