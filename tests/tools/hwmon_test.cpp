#include "readings.h"
#include "sensors_scan.h"
#include "support/program.h"
#include "support/signal_state.h"
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
#include <sstream>
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

// korvid-hwmon's command line: `args`, with a slot map of its own that no
// other run shares, unless `args` name one.
std::vector<std::string> Args(std::vector<std::string> args) {
    static const testing_support::TempDir states("korvid-slots");
    static int runs = 0;
    args.insert(args.begin(), KORVID_HWMON);
    if (std::find(args.begin(), args.end(), "--state") == args.end())
        args.insert(args.end(), {"--state", states.File(std::to_string(runs++))});
    return args;
}

// Starts korvid-hwmon with `args`, its stdout and stderr sent to `out` and
// `err` (-1: left as they are).
pid_t StartHwmon(const std::vector<std::string>& args, int out, int err) {
    const std::vector<std::string> all = Args(args);
    const pid_t child = ::fork();
    if (child != 0) return child;
    if (out >= 0) ::dup2(out, 1);
    if (err >= 0) ::dup2(err, 2);
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (const auto& arg : all)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(KORVID_HWMON, argv.data());
    ::_exit(127);
}

int RunHwmon(const std::vector<std::string>& args) {
    std::string command;
    for (const auto& arg : Args(args))
        command += " '" + arg + "'";
    return std::system((command + " 2>/dev/null").c_str());
}

struct Outcome {
    int status = -1; // the exit code; -1 when it did not exit on its own
    std::string messages;
};

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
    if (terminate && testing_support::TakesSignal(child, SIGTERM)) ::kill(child, SIGTERM);
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
        readings.push_back(
            {Kind::Temperature, "Sensor number " + std::to_string(i), i + 0.5, {}, {}});
    hwmon::Warnings warnings;
    const auto snapshot = hwmon::BuildSnapshot(readings, &warnings);
    EXPECT_EQ(std::string(snapshot.Sensors[0].Name, 12), "Sensor numbe");
    EXPECT_EQ(snapshot.Sensors[99].Current, 99.5);
    EXPECT_EQ(snapshot.Sensors[99].Kind, 1);
    EXPECT_EQ(warnings.size(), 100u); // the cut names; the dropped 20 are told when publishing

    const auto small = hwmon::BuildSnapshot({{Kind::Fan, "Fan", 900, {}, {}}}, nullptr);
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
    hwmon::BuildSnapshot({{Kind::Other, "Long\x1b]2;pwned\x07 name", 1, {}, {}}}, &warnings);
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
    const pid_t child =
        StartHwmon({"--no-chips", "--table", table, "--interval", "20", "--block", block}, -1, -1);
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
    EXPECT_NE(RunHwmon({"--block", block, "--no-chips", "--table", table}), 0);
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
        const Outcome run = Hwmon({"--once", "--block", block, "--no-chips", "--table", table});
        ::shm_unlink(block.c_str());
        EXPECT_EQ(run.status, 0) << table;
        EXPECT_NE(run.messages.find(message), std::string::npos) << run.messages;
    }
    const Outcome stopped = Hwmon({"--block", block, "--no-chips", "--table", fifo}, true);
    EXPECT_EQ(stopped.status, 0) << stopped.messages;
    EXPECT_FALSE(BlockExists(block));

    std::string lines;
    for (int i = 0; i < 151; ++i)
        lines += "Sensor" + std::to_string(i) + " " + std::to_string(i) + "\n";
    system.File("many", lines);
    const Outcome many =
        Hwmon({"--once", "--block", block, "--no-chips", "--table", system.Path("many")});
    ::shm_unlink(block.c_str());
    EXPECT_NE(many.messages.find("every one of the 100 slots is taken: Sensor100 is left out"),
              std::string::npos)
        << many.messages;
    EXPECT_NE(many.messages.find("publishing 100 readings"), std::string::npos);
}

// Whatever is done to it or its block, the publisher never leaves readers a
// block that looks live when nobody publishes it, never dies of it, and
// leaves no child behind.
TEST(HwmonProgram, NeverLeavesALieBehind) {
    FakeSystem system;
    system.File("table", "Probe 1\n");
    system.File("sensors.conf", "");
    const std::string table = system.Path("table");
    const std::string conf = system.Path("sensors.conf");
    const std::string block = testing_support::UniqueBlockName();
    auto state = [&] {
        modMBMAccess::BlockStatus status;
        const auto snapshot = modMBMAccess::ReadSnapshotFrom(block.c_str(), &status);
        return status.state == modMBMAccess::BlockState::Live ? snapshot.Sensors[0].Current : -1.0;
    };
    auto waitFor = [](auto condition) {
        for (int i = 0; i < 2000 && !condition(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return condition();
    };
    auto children = [](pid_t parent) {
        int count = 0;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::ifstream stat(entry.path() / "stat");
            std::string line;
            if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
            std::istringstream rest(line.substr(line.rfind(')') + 2));
            char state = 0;
            pid_t ppid = 0;
            rest >> state >> ppid;
            count += ppid == parent;
        }
        return count;
    };
    struct Row {
        const char* what;
        std::vector<std::string> args;
        std::function<void(testing_support::Program&)> act;
        std::string says;
    };
    const Row rows[] = {
        {"a configuration that never ends, then SIGKILL",
         {"--config", conf},
         [&](testing_support::Program& p) {
             fs::remove(conf);
             fs::create_symlink("/dev/zero", conf);
             ::kill(p.Pid(), SIGHUP);
         },
         "did not finish reading " + conf + " within 2 s"},
        {"SIGHUPs by the hundred",
         {"--config", conf},
         [&](testing_support::Program& p) {
             for (int i = 0; i < 300; ++i)
                 ::kill(p.Pid(), SIGHUP);
         },
         "sensor configuration read again"},
        {"the block cut short",
         {"--no-chips", "--table", table},
         [&](testing_support::Program&) {
             const int fd = ::shm_open(block.c_str(), O_RDWR, 0);
             ASSERT_EQ(::ftruncate(fd, 0), 0);
             ::close(fd);
         },
         block + " was cut short; made whole again"},
        {"the block's name removed",
         {"--no-chips", "--table", table},
         [&](testing_support::Program&) { ::shm_unlink(block.c_str()); },
         block + " was removed; published again"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"--block", block, "--interval", "20"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        testing_support::Program publisher(Args(args), {});
        ASSERT_TRUE(waitFor([&] { return state() >= 0; })) << row.what << ": " << publisher.Said();
        row.act(publisher);
        EXPECT_TRUE(publisher.Says(row.says)) << row.what << ": " << publisher.Said();
        EXPECT_TRUE(waitFor([&] { return state() >= 0 && children(publisher.Pid()) == 0; }))
            << row.what;
        if (std::string(row.what).find("SIGKILL") != std::string::npos) {
            EXPECT_EQ(publisher.EndWith(SIGKILL), 128 + SIGKILL);
            EXPECT_EQ(state(), -1) << "a block nobody publishes reads as live";
        } else {
            EXPECT_EQ(publisher.EndWith(SIGTERM), 0) << row.what << ": " << publisher.Said();
        }
        ::shm_unlink(block.c_str());
        fs::remove(conf);
        system.File("sensors.conf", "");
    }

    // A stale block that a reader holds a read lock on (any user can) keeps
    // no new publisher from starting.
    {
        auto stale =
            modMBMAccess::SharedBlockWriter::Create(block, sizeof(modMBMAccess::SensorSnapshot));
        ASSERT_TRUE(stale);
        stale->SetRemoveOnDestroy(false);
    }
    const int reader = ::shm_open(block.c_str(), O_RDONLY, 0);
    flock lock{};
    lock.l_type = F_RDLCK;
    ASSERT_EQ(::fcntl(reader, F_OFD_SETLK, &lock), 0);
    testing_support::Program publisher(Args({"--block", block, "--no-chips", "--table", table}),
                                       {});
    EXPECT_TRUE(waitFor([&] { return state() == 1; })) << publisher.Said();
    EXPECT_EQ(publisher.EndWith(SIGTERM), 0) << publisher.Said();
    ::close(reader);
    ::shm_unlink(block.c_str());
}

// The slot map's file. A hundred and one readings: the last is left out,
// said once, until --forget frees the slot of one that is gone and SIGHUP
// reads the map again. A map that holds lines that do not parse, or cannot
// be written, is said so (once), and publishing goes on.
TEST(HwmonProgram, TheSlotMapKeepsSlotsAndIsFreedOnlyByHand) {
    FakeSystem system;
    std::string lines;
    for (int i = 0; i <= 100; ++i)
        lines += "R" + std::to_string(i) + " " + std::to_string(i) + "\n";
    system.File("table", lines);
    const std::string table = system.Path("table"), state = system.Path("state/slots");
    const std::string block = testing_support::UniqueBlockName();
    auto reading = [&](int slot) { return Published(block).Sensors[slot].Current; };
    auto args = [&](std::vector<std::string> more) {
        more.insert(more.end(), {"--state", state, "--block", block});
        return Args(more);
    };
    {
        testing_support::Program publisher(
            args({"--no-chips", "--table", table, "--interval", "20"}), {});
        EXPECT_TRUE(publisher.Says("every one of the 100 slots is taken: R100 is left out"));
        EXPECT_TRUE(publisher.Says("publishing 100 readings"));
        std::string rest = lines.substr(lines.find("R6 "));
        system.File("table", "R0 0\nR1 1\nR2 2\nR3 3\nR4 4\n" + rest); // R5 has gone
        EXPECT_TRUE(publisher.Says("(0 faulted, 1 gone: they read NA)")) << publisher.Said();
        testing_support::Program forget(args({"--forget", "R5"}), {});
        EXPECT_EQ(forget.EndWith(0), 0) << forget.Said();
        EXPECT_NE(forget.Said().find("freed the slot of R5"), std::string::npos);
        ::kill(publisher.Pid(), SIGHUP);
        for (int i = 0; i < 2000 && reading(5) != 100; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(reading(5), 100) << publisher.Said();
        EXPECT_EQ(Name(Published(block).Sensors[5]), "R100");
        EXPECT_EQ(publisher.EndWith(SIGTERM), 0);
        testing_support::Program unknown(args({"--forget", "R5"}), {});
        EXPECT_EQ(unknown.EndWith(0), 1);
    }
    std::ifstream in(state);
    const std::string map{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(map.find("\n5 R100\n"), std::string::npos) << map;

    system.File("state/slots", "0 R3\nthis is no slot\n");
    testing_support::Program corrupt(args({"--no-chips", "--table", table, "--once"}), {});
    EXPECT_EQ(corrupt.EndWith(0), 0);
    EXPECT_NE(corrupt.Said().find("line 2 is no \"SLOT KEY\""), std::string::npos)
        << corrupt.Said();
    EXPECT_NE(corrupt.Said().find("is not written over while it holds lines that do not parse"),
              std::string::npos);
    EXPECT_EQ(reading(0), 3);
    std::ifstream again(state);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()),
              "0 R3\nthis is no slot\n");

    // Where nobody, root included, can make a file.
    testing_support::Program unwritable(Args({"--no-chips", "--table", table, "--once", "--block",
                                              block, "--state", "/proc/self/korvid-nowhere/slots"}),
                                        {});
    EXPECT_EQ(unwritable.EndWith(0), 0);
    EXPECT_NE(unwritable.Said().find("cannot keep the slot map"), std::string::npos)
        << unwritable.Said();
    EXPECT_EQ(reading(0), 0);
    ::shm_unlink(block.c_str());
}

// The command line's own answers, and failures that must not pass for success.
TEST(HwmonProgram, AnswersAndFailsAsACommandShould) {
    const Outcome version = Hwmon({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(RunHwmon({"-h"}), 0);
    EXPECT_EQ(RunHwmon({"--bogus"}) >> 8, 2);
    const Outcome missing = Hwmon({"--list", "--no-chips", "--table", "/nonexistent/table"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.messages.find("cannot read /nonexistent/table"), std::string::npos);
    FakeSystem system;
    system.File("table", "Probe 1\n");
    const Outcome full =
        Hwmon({"--list", "--no-chips", "--table", system.Path("table")}, false, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.messages.find("cannot write the list"), std::string::npos) << full.messages;
}

TEST(HwmonProgram, MessagesNeverCarryRawControlBytes) {
    FakeSystem system;
    system.File("table", "Evil\x1b]2;pwned\x07 title 5\nEvil\x1b]2;pwned\x07 title 6\n"
                         "Junk\x1b[2J\n");
    const std::string block = testing_support::UniqueBlockName();
    const Outcome run =
        Hwmon({"--once", "--block", block, "--no-chips", "--table", system.Path("table")});
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
    Outcome run = Hwmon({"--once", "--block", block, "--no-chips", "--table", table});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.messages.find("mode is 0664"), std::string::npos) << run.messages;
    EXPECT_EQ(reading(), 666);
    ::shm_unlink(block.c_str());

    plant(0644); // as a publisher that crashed leaves it
    run = Hwmon({"--once", "--block", block, "--no-chips", "--table", table});
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
    run = Hwmon({"--once", "--block", block, "--no-chips", "--table", table});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.messages.find("belongs to nobody (mode 0666)"), std::string::npos)
        << run.messages;
    EXPECT_EQ(reading(), 666);
    ::shm_unlink(block.c_str());
}
