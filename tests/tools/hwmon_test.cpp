#include "readings.h"
#include "sensors_scan.h"
#include "support/temp_dir.h"
#include "support/test_block.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using hwmon::Kind;

namespace {

class FakeSystem {
public:
    void File(const std::string& path, const std::string& text) {
        fs::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path) << text;
    }
    void Directory(const std::string& path) { fs::create_directories(root_ / path); }
    std::string Path(const std::string& path) const { return (root_ / path).string(); }
    std::string Sys() const { return (root_ / "sys").string(); }
    std::string Proc() const { return (root_ / "proc").string(); }

private:
    testing_support::TempDir dir_{"korvid-sysfs"};
    const fs::path& root_ = dir_.Path();
};

// The block's bytes as they stand, whether a publisher still holds it or
// left it behind (--once): what it published.
modMBMAccess::SensorSnapshot Published(const std::string& block) {
    modMBMAccess::SensorSnapshot snapshot{};
    const int fd = ::shm_open(block.c_str(), O_RDONLY, 0);
    if (fd < 0) return snapshot;
    [[maybe_unused]] const ssize_t n = ::pread(fd, &snapshot, sizeof snapshot, 0);
    ::close(fd);
    return snapshot;
}

std::string Name(const modMBMAccess::SensorEntry& entry) {
    return modMBMAccess::CleanName(modMBMAccess::RawName(entry));
}

// Starts korvid-hwmon with `args`, its stdout and stderr sent to `out` and
// `err` (-1: left as they are).
pid_t StartHwmon(const std::vector<std::string>& args, int out, int err) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    if (out >= 0) ::dup2(out, 1);
    if (err >= 0) ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(KORVID_HWMON)};
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(KORVID_HWMON, argv.data());
    ::_exit(127);
}

// The files of a fake hwmon0: without a device link, libsensors takes it for
// a virtual chip ("testchip-virtual-0").
using ChipFiles = std::vector<std::pair<std::string, std::string>>;

struct ChipRun {
    std::string skipped; // why the namespace could not be made; empty when it ran
    int status = -1;
    std::string messages; // stderr
    std::string listing;  // stdout
    modMBMAccess::SensorSnapshot snapshot{};
};

void Put(int fd, const std::string& bytes) {
    const std::string length = std::to_string(bytes.size()) + "\n";
    (void)!::write(fd, length.data(), length.size());
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::string Take(std::string_view& from) {
    const auto eol = from.find('\n');
    if (eol == std::string_view::npos) return {};
    const std::size_t length = std::stoul(std::string(from.substr(0, eol)));
    std::string bytes(from.substr(eol + 1, length));
    from.remove_prefix(std::min(from.size(), eol + 1 + length));
    return bytes;
}

std::string Drain(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// Runs korvid-hwmon with `args` in a mount namespace of its own, where
// /sys/class holds the fake chip and /dev/shm is empty, and reads the block
// back there. With `reload`, it runs until it has published, then `reload`
// rewrites its configuration, SIGHUP asks it to read it again, and the block
// is read once it has said how that went and slot 0's name has changed, or
// it said the configuration cannot be read again (each waited for up to 30 s).
ChipRun RunOnFakeChip(const ChipFiles& files, const std::vector<std::string>& args,
                      const std::function<void()>& reload = {}, const char* hidden = "/sys/class") {
    int results[2];
    ChipRun run;
    if (::pipe(results) != 0) {
        run.skipped = "a pipe";
        return run;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(results[0]);
        const int out = results[1];
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", hidden, "tmpfs", 0, "mode=0755") != 0 ||
            ::mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") != 0) {
            Put(out, std::string("a private mount namespace: ") + std::strerror(errno));
            ::_exit(0);
        }
        Put(out, "");
        fs::create_directories("/sys/class/hwmon/hwmon0");
        for (const auto& [name, text] : files)
            std::ofstream("/sys/class/hwmon/hwmon0/" + name) << text;
        int outPipe[2], errPipe[2];
        if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) ::_exit(1);
        const pid_t hwmon = StartHwmon(args, outPipe[1], errPipe[1]);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        const char* block = modMBMAccess::SensorBlockName();
        auto name0 = [&] { return Name(modMBMAccess::ReadSnapshotFrom(block).Sensors[0]); };
        std::string messages;
        if (reload) {
            auto saying = [&](const char* words) {
                char buffer[4096];
                for (ssize_t n; (n = ::read(errPipe[0], buffer, sizeof buffer)) > 0;)
                    messages.append(buffer, static_cast<std::size_t>(n));
                return messages.find(words) != std::string::npos;
            };
            ::fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
            std::string before;
            for (int i = 0; i < 3000 && (before = name0()).empty(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            reload();
            ::kill(hwmon, SIGHUP);
            for (int i = 0; i < 3000 && !saying("cannot be read again") &&
                            !(saying("read again") && name0() != before);
                 ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::fcntl(errPipe[0], F_SETFL, 0);
        }
        modMBMAccess::SensorSnapshot snapshot{};
        if (reload) {
            snapshot = modMBMAccess::ReadSnapshotFrom(block);
            ::kill(hwmon, SIGTERM);
        }
        const std::string listing = Drain(outPipe[0]);
        messages += Drain(errPipe[0]);
        int status = 0;
        ::waitpid(hwmon, &status, 0);
        if (!reload) snapshot = Published(block);
        Put(out, std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
        Put(out, messages);
        Put(out, listing);
        Put(out, std::string(reinterpret_cast<const char*>(&snapshot), sizeof snapshot));
        ::_exit(0);
    }
    ::close(results[1]);
    const std::string all = Drain(results[0]);
    ::close(results[0]);
    ::waitpid(child, nullptr, 0);
    std::string_view rest = all;
    run.skipped = Take(rest);
    if (!run.skipped.empty()) return run;
    run.status = std::stoi("0" + Take(rest));
    run.messages = Take(rest);
    run.listing = Take(rest);
    const std::string snapshot = Take(rest);
    if (snapshot.size() == sizeof run.snapshot)
        std::memcpy(&run.snapshot, snapshot.data(), sizeof run.snapshot);
    return run;
}

#define SKIP_WITHOUT_NAMESPACE(run)                                                                \
    if (!(run).skipped.empty())                                                                    \
    GTEST_SKIP() << "needs " << (run).skipped << " (run as root, as CI does)"

int RunHwmon(const std::vector<std::string>& args) {
    std::string command = KORVID_HWMON;
    for (const auto& arg : args)
        command += " '" + arg + "'";
    return std::system((command + " 2>/dev/null").c_str());
}

struct Outcome {
    int status = -1; // the exit code; -1 when it did not exit on its own
    std::string messages;
};

// Whether `pid` has `signal` blocked or caught, so that sending it tests the
// program rather than the moment before its main() (waits up to 20 s).
bool TakesSignal(pid_t pid, int signal) {
    for (int i = 0; i < 2000; ++i) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        unsigned long long taken = 0;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigCgt:", 0) == 0)
                taken |= std::stoull(line.substr(7), nullptr, 16);
        if (taken & (1ULL << (signal - 1))) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Runs korvid-hwmon with `args`, its standard output sent to `output` (if
// given); with `terminate`, sends it SIGTERM once it takes the signal. What
// it says on stderr and how it ended; one that has not ended after 60 s is
// killed and counts as not exiting.
Outcome Hwmon(const std::vector<std::string>& args, bool terminate = false,
              const char* output = nullptr) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    const int out = output ? ::open(output, O_WRONLY | O_CLOEXEC) : -1;
    const pid_t child = StartHwmon(args, out, pipeFds[1]);
    if (out >= 0) ::close(out);
    ::close(pipeFds[1]);
    if (terminate && TakesSignal(child, SIGTERM)) ::kill(child, SIGTERM);
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    pollfd wait{pipeFds[0], POLLIN, 0};
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline && ::poll(&wait, 1, 100) >= 0) {
        if (wait.revents == 0) continue;
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        outcome.messages.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::waitpid(child, &status, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

bool BlockExists(const std::string& name) {
    const int fd = ::shm_open(name.c_str(), O_RDONLY, 0);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

} // namespace

TEST(HwmonScan, ClockComesFromCpufreqElseCpuinfo) {
    FakeSystem system;
    system.File("proc/cpuinfo", "processor\t: 0\ncpu MHz\t\t: 2994.372\n\nprocessor\t: 1\n"
                                "cpu MHz\t\t: 1000.0\n");
    EXPECT_EQ(hwmon::CpuClockMHz(system.Sys(), system.Proc()), 2994.372);
    system.File("sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "2400000\n");
    EXPECT_EQ(hwmon::CpuClockMHz(system.Sys(), system.Proc()), 2400);
    FakeSystem empty;
    EXPECT_EQ(hwmon::CpuClockMHz(empty.Sys(), empty.Proc()), std::nullopt);
}

TEST(HwmonBlock, FillsSlotsFromZeroAndCutsNamesAndCount) {
    std::vector<hwmon::Reading> readings;
    readings.reserve(120);
    for (int i = 0; i < 120; ++i)
        readings.push_back({Kind::Temperature, "Sensor number " + std::to_string(i), i + 0.5});
    hwmon::Warnings warnings;
    const auto snapshot = hwmon::BuildSnapshot(readings, &warnings);
    EXPECT_EQ(std::string(snapshot.Sensors[0].Name, 12), "Sensor numbe");
    EXPECT_EQ(snapshot.Sensors[99].Current, 99.5);
    EXPECT_EQ(snapshot.Sensors[99].Kind, 1);
    EXPECT_EQ(warnings.size(), 100u); // the cut names; the dropped 20 are told when publishing

    const auto small = hwmon::BuildSnapshot({{Kind::Fan, "Fan", 900}}, nullptr);
    EXPECT_EQ(std::string(small.Sensors[0].Name, 12), std::string("Fan") + std::string(9, '\0'));
    const auto* bytes = reinterpret_cast<const unsigned char*>(&small.Sensors[1]);
    EXPECT_TRUE(
        std::all_of(bytes, bytes + std::size_t{99} * 80, [](unsigned char b) { return b == 0; }));
}

TEST(HwmonTable, ParsesNameValueLinesAndSkipsBrokenOnes) {
    hwmon::Warnings warnings;
    const auto readings = hwmon::ParseTable("# demo\n"
                                            "CPU Temp 45.5\n"
                                            "  Fan\t1200  \r\n"
                                            "\n"
                                            "novalue\n"
                                            "Board x12\n"
                                            "Inf inf\n"
                                            "Caf\xC3\xA9 \xE2\x82\xAC 3\n"
                                            "Last -1.25",
                                            &warnings);
    ASSERT_EQ(readings.size(), 4u);
    EXPECT_EQ(readings[0].name, "CPU Temp");
    EXPECT_EQ(readings[0].value, 45.5);
    EXPECT_EQ(readings[1].name, "Fan");
    EXPECT_EQ(readings[2].name, "Caf\xE9 ?");
    EXPECT_EQ(readings[3].value, -1.25);
    EXPECT_EQ(warnings.size(), 3u);

    // Text that is not well-formed UTF-8 (here an overlong NUL) is Latin-1;
    // no name ever holds a control character once published.
    const auto latin1 = hwmon::ParseTable("C\xC0\x80X 1\nCaf\xE9 2\nTab\x01Name 3\n", &warnings);
    ASSERT_EQ(latin1.size(), 3u);
    EXPECT_EQ(latin1[0].name, "C\xC0\x80X");
    EXPECT_EQ(latin1[1].name, "Caf\xE9");
    const auto published = hwmon::BuildSnapshot(latin1, nullptr);
    EXPECT_EQ(Name(published.Sensors[0]), "C\xC0?X");
    EXPECT_EQ(Name(published.Sensors[2]), "Tab?Name");

    warnings.clear();
    EXPECT_TRUE(hwmon::ParseTable("A 1\n" + std::string(5000, 'x') + " 2\n", &warnings).empty());
    EXPECT_EQ(warnings, hwmon::Warnings{"line 2 is longer than 4 KiB; the table is refused"});
}

TEST(HwmonTable, MessagesShowNamesWithControlBytesEscaped) {
    EXPECT_EQ(hwmon::ForTerminal("a\x1b]0;x\x07"
                                 "b\\\xE9\x9b"),
              "a\\x1b]0;x\\x07b\\\\\xC3\xA9\\x9b");
    hwmon::Warnings warnings;
    hwmon::ParseTable("Evil\x1b[2J 5x\n", &warnings);
    hwmon::BuildSnapshot({{Kind::Other, "Long\x1b]2;pwned\x07 name", 1}}, &warnings);
    ASSERT_EQ(warnings.size(), 2u);
    for (const std::string& warning : warnings) {
        EXPECT_EQ(warning.find('\x1b'), std::string::npos) << warning;
        EXPECT_NE(warning.find("\\x1b"), std::string::npos) << warning;
    }
}

TEST(HwmonProgram, FollowsTheTableAndRemovesTheBlockOnSigterm) {
    FakeSystem system;
    system.File("table", "Probe 1\n");
    const std::string table = system.Path("table");
    const std::string block = testing_support::UniqueBlockName();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(KORVID_HWMON, KORVID_HWMON, "--table", table.c_str(), "--interval", "20", "--block",
                block.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto waitFor = [&](auto condition) {
        for (int i = 0; i < 3000 && !condition(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return condition();
    };
    auto reading = [&] { return modMBMAccess::ReadSnapshotFrom(block.c_str()).Sensors[0].Current; };
    EXPECT_TRUE(waitFor([&] { return reading() == 1; }));
    system.File("table", "Probe 2\n");
    EXPECT_TRUE(waitFor([&] { return reading() == 2; }));

    // A second copy on the same block says so and leaves the first alone.
    EXPECT_NE(RunHwmon({"--block", block, "--table", table}), 0);
    EXPECT_EQ(reading(), 2);

    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(BlockExists(block));
}

// Tables that are not tables: a device that never ends, a FIFO, a huge file.
// Each is refused unread with one message, so none can hold the publisher,
// and SIGTERM ends it with status 0 and no block left.
TEST(HwmonProgram, RefusesWhatIsNoTableAndStopsOnSigterm) {
    const std::string block = testing_support::UniqueBlockName();
    FakeSystem system;
    const std::string fifo = system.Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    system.File("huge", "");
    fs::resize_file(system.Path("huge"), 2 << 20);
    const std::pair<std::string, std::string> refused[] = {
        {"/dev/zero", "/dev/zero is a device, not a table file"},
        {fifo, fifo + " is a FIFO, not a table file"},
        {system.Path("huge"), system.Path("huge") + " is larger than 1 MiB"},
    };
    for (const auto& [table, message] : refused) {
        const Outcome run = Hwmon({"--once", "--block", block, "--table", table});
        ::shm_unlink(block.c_str());
        EXPECT_EQ(run.status, 0) << table;
        EXPECT_NE(run.messages.find(message), std::string::npos) << run.messages;
    }
    const Outcome stopped = Hwmon({"--block", block, "--table", fifo}, true);
    EXPECT_EQ(stopped.status, 0) << stopped.messages;
    EXPECT_FALSE(BlockExists(block));

    std::string lines;
    for (int i = 0; i < 151; ++i)
        lines += "Sensor" + std::to_string(i) + " " + std::to_string(i) + "\n";
    system.File("many", lines);
    const Outcome many = Hwmon({"--once", "--block", block, "--table", system.Path("many")});
    ::shm_unlink(block.c_str());
    EXPECT_NE(many.messages.find("publishing 100 of 151 sensors"), std::string::npos)
        << many.messages;
}

// The command line's own answers, and failures that must not pass for success.
TEST(HwmonProgram, AnswersAndFailsAsACommandShould) {
    const Outcome version = Hwmon({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(RunHwmon({"-h"}), 0);
    EXPECT_EQ(RunHwmon({"--bogus"}) >> 8, 2);
    const Outcome missing = Hwmon({"--list", "--table", "/nonexistent/table"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.messages.find("cannot read /nonexistent/table"), std::string::npos);
    FakeSystem system;
    system.File("table", "Probe 1\n");
    const Outcome full = Hwmon({"--list", "--table", system.Path("table")}, false, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.messages.find("cannot write the list"), std::string::npos) << full.messages;
}

TEST(HwmonProgram, MessagesNeverCarryRawControlBytes) {
    FakeSystem system;
    system.File("table", "Evil\x1b]2;pwned\x07 title 5\nJunk\x1b[2J\n");
    const std::string block = testing_support::UniqueBlockName();
    const Outcome run = Hwmon({"--once", "--block", block, "--table", system.Path("table")});
    ::shm_unlink(block.c_str());
    EXPECT_EQ(run.messages.find('\x1b'), std::string::npos);
    EXPECT_EQ(run.messages.find('\x07'), std::string::npos);
    EXPECT_NE(run.messages.find("\\x1b]2;pwned\\x07"), std::string::npos) << run.messages;
}

// The publisher writes only into a block of its own: one planted by another
// user, or one that others may write, is refused and left as it is; its own
// stale block (left by a crash) is taken over.
TEST(HwmonProgram, PublishesOnlyIntoABlockOfItsOwn) {
    FakeSystem system;
    system.File("table", "Probe 1\n");
    const std::string table = system.Path("table");
    const std::string block = testing_support::UniqueBlockName();
    auto plant = [&](mode_t mode) {
        const int fd = ::shm_open(block.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
        ::fchmod(fd, mode);
        ::ftruncate(fd, sizeof(modMBMAccess::SensorSnapshot));
        const double marker = 666;
        ::pwrite(fd, &marker, sizeof marker, 88 + 16);
        ::close(fd);
    };
    auto reading = [&] { return Published(block).Sensors[0].Current; };

    plant(0664);
    Outcome run = Hwmon({"--once", "--block", block, "--table", table});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.messages.find("mode is 0664"), std::string::npos) << run.messages;
    EXPECT_EQ(reading(), 666);
    ::shm_unlink(block.c_str());

    plant(0644); // as a publisher that crashed leaves it
    run = Hwmon({"--once", "--block", block, "--table", table});
    EXPECT_EQ(run.status, 0) << run.messages;
    EXPECT_EQ(reading(), 1);
    ::shm_unlink(block.c_str());

    if (::geteuid() != 0) GTEST_SKIP() << "planting a block as another user needs root";
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
        ::umask(0);
        plant(0666);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    run = Hwmon({"--once", "--block", block, "--table", table});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.messages.find("belongs to nobody (mode 0666)"), std::string::npos)
        << run.messages;
    EXPECT_EQ(reading(), 666);
    ::shm_unlink(block.c_str());
}

// libsensors decides what is published: the configuration's labels name the
// inputs, its compute lines scale them and its ignore lines hide them; an
// input the chip cannot read, or reports a fault on, is left out with one
// message.
TEST(HwmonSensors, PublishesWhatTheSensorConfigurationSays) {
    const ChipFiles chip = {
        {"name", "testchip\n"},  {"temp1_input", "45000\n"}, {"temp2_input", "30000\n"},
        {"temp2_fault", "1\n"},  {"temp3_input", "n/a\n"},   {"temp4_input", "51500\n"},
        {"in0_input", "1650\n"}, {"in1_input", "1900\n"},    {"fan1_input", "1200\n"},
        {"fan3_input", "900\n"},
    };
    testing_support::TempDir dir;
    const std::string config = dir.File("sensors.conf");
    std::ofstream(config) << "chip \"testchip-*\"\n"
                             "  label temp1 \"CPU Die\"\n"
                             "  label temp4 \"Motherboard Temperature\"\n"
                             "  compute in1 @*6.3, @/6.3\n"
                             "  ignore fan3\n";
    const ChipRun run = RunOnFakeChip(chip, {"--once", "--config", config});
    SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.status, 0) << run.messages;
    const auto& sensors = run.snapshot.Sensors;
    const std::tuple<std::string, double, int> expected[] = {
        {"CPU Die", 45, 1}, {"Motherboard", 51.5, 1}, {"fan1", 1200, 3},
        {"in0", 1.65, 2},   {"in1", 11.97, 2},
    };
    for (std::size_t slot = 0; slot < std::size(expected); ++slot) {
        const auto& [name, value, kind] = expected[slot];
        EXPECT_EQ(Name(sensors[slot]), name) << "slot " << slot;
        EXPECT_NEAR(sensors[slot].Current, value, 1e-9) << "slot " << slot;
        EXPECT_EQ(sensors[slot].Kind, kind) << "slot " << slot;
    }
    // Then processor 0's clock, where this machine has one to read.
    EXPECT_TRUE(Name(sensors[5]).empty() || Name(sensors[5]) == "CPU0 Clock");
    EXPECT_NE(run.messages.find("testchip-virtual-0 temp2: the chip reports a fault"),
              std::string::npos)
        << run.messages;
    EXPECT_NE(run.messages.find("testchip-virtual-0 temp3: cannot be read"), std::string::npos);
    EXPECT_NE(run.messages.find("\"Motherboard Temperature\" cut to 12 bytes"), std::string::npos);

    // --list prints the same, numbered as the window's sensor list.
    const ChipRun list = RunOnFakeChip(chip, {"--list", "--config", config});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.listing.rfind("No.  kind         name          value\n"
                                 "  1  temperature  CPU Die       45 \xC2\xB0"
                                 "C\n"
                                 "  2  temperature  Motherboard   51.5 \xC2\xB0"
                                 "C\n"
                                 "  3  fan          fan1          1200 RPM\n"
                                 "  4  voltage      in0           1.65 V\n"
                                 "  5  voltage      in1           11.97 V\n",
                                 0),
              0u)
        << list.listing;
    EXPECT_TRUE(Name(list.snapshot.Sensors[0]).empty()); // nothing published

    // Without a configuration of its own the chip's inputs keep their names.
    const ChipRun plain = RunOnFakeChip(chip, {"--once", "--config", "/dev/null"});
    EXPECT_EQ(Name(plain.snapshot.Sensors[0]), "temp1");
    EXPECT_EQ(Name(plain.snapshot.Sensors[2]), "fan1");
    EXPECT_EQ(Name(plain.snapshot.Sensors[3]), "fan3");
    EXPECT_EQ(plain.snapshot.Sensors[5].Current, 1.9);
}

TEST(HwmonSensors, AConfigurationThatDoesNotParseIsRefusedAndSighupReadsItAgain) {
    const ChipFiles chip = {{"name", "testchip\n"}, {"temp1_input", "45000\n"}};
    testing_support::TempDir dir;
    const std::string broken = dir.File("broken.conf");
    std::ofstream(broken) << "chip \"testchip-*\"\n  label temp1 \"A\"\n  label temp1\n";
    const ChipRun run = RunOnFakeChip(chip, {"--once", "--config", broken});
    SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.messages.find(broken + ":4: syntax error"), std::string::npos) << run.messages;
    EXPECT_TRUE(Name(run.snapshot.Sensors[0]).empty()); // nothing published

    const std::string config = dir.File("sensors.conf");
    std::ofstream(config) << "chip \"testchip-*\"\n  label temp1 \"Before\"\n";
    const ChipRun reloaded = RunOnFakeChip(chip, {"--interval", "20", "--config", config}, [&] {
        std::ofstream(config) << "chip \"testchip-*\"\n  label temp1 \"After\"\n";
    });
    EXPECT_EQ(reloaded.status, 0);
    EXPECT_EQ(Name(reloaded.snapshot.Sensors[0]), "After") << reloaded.messages;
    EXPECT_NE(reloaded.messages.find("sensor configuration read again"), std::string::npos);

    // A configuration that can no longer be read (here it became a directory,
    // which libsensors' parser answers by ending the process) leaves the
    // publisher running with the configuration it had.
    std::ofstream(config) << "chip \"testchip-*\"\n  label temp1 \"Kept\"\n";
    const ChipRun kept = RunOnFakeChip(chip, {"--interval", "20", "--config", config}, [&] {
        fs::remove(config);
        fs::create_directory(config);
    });
    EXPECT_EQ(kept.status, 0) << kept.messages;
    EXPECT_EQ(Name(kept.snapshot.Sensors[0]), "Kept");
    EXPECT_NE(kept.messages.find("cannot be read again: cannot read " + config +
                                 ": not a file; "
                                 "going on with the one read before"),
              std::string::npos)
        << kept.messages;
}

// No chip at all, or no sysfs to find one in (a container): the publisher
// publishes what it has and says what to do, rather than count the clock as
// a sensor or stop as if its configuration were wrong.
TEST(HwmonSensors, WithoutChipsSaysWhatToTry) {
    for (const char* hidden : {"/sys/class", "/sys"}) {
        const ChipRun run = RunOnFakeChip({}, {"--once"}, {}, hidden);
        SKIP_WITHOUT_NAMESPACE(run);
        EXPECT_EQ(run.status, 0) << hidden << ": " << run.messages;
        EXPECT_NE(run.messages.find("no hardware sensors found"), std::string::npos)
            << run.messages;
        EXPECT_NE(run.messages.find("sensors-detect"), std::string::npos);
        EXPECT_EQ(run.messages.find("publishing 1 sensor"), std::string::npos);
    }
    const ChipRun bare = RunOnFakeChip({}, {"--once"}, {}, "/sys");
    EXPECT_NE(bare.messages.find("no sysfs at /sys"), std::string::npos) << bare.messages;
}
