// korvid-hwmon on made-up chips: the test runs in a mount namespace of its
// own (it needs root), where /sys/class is a tmpfs that libsensors reads as
// the kernel's hwmon chips and /dev/shm is its own. What a running publisher
// publishes, slot by slot, as inputs fault, chips go and come back, drivers
// load late and the configuration changes.
#include "mod_mbm_access.h"
#include "shared_block.h"
#include "support/fake_chips.h"
#include "support/program.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <thread>

namespace fs = std::filesystem;
using testing_support::Program;
using testing_support::TempDir;

namespace {

std::string privateSpace; // empty once the namespace is this process's own

class PrivateMounts : public ::testing::Environment {
public:
    void SetUp() override {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", "/sys/class", "tmpfs", 0, "mode=0755") != 0 ||
            ::mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") != 0)
            privateSpace = std::string("a private mount namespace: ") + std::strerror(errno);
    }
};
const auto* const kMounts = ::testing::AddGlobalTestEnvironment(new PrivateMounts);

#define NEEDS_PRIVATE_SPACE()                                                                      \
    if (!privateSpace.empty()) GTEST_SKIP() << "needs " << privateSpace << " (run as root)"

using testing_support::Chips;
using Files = Chips::Files;

const Files kNvme = {{"name", "nvme"},     {"temp1_input", "41850"}, {"temp1_label", "Composite"},
                     {"temp1_fault", "0"}, {"temp2_input", "40850"}, {"temp2_label", "Sensor 1"}};
const Files kK10temp = {{"name", "k10temp"}, {"temp1_input", "45000"}, {"temp1_label", "Tctl"}};

struct Entry {
    std::string name;
    double value = 0;
    int type = 0;
};

// A slot of the block as it stands, whether a publisher still holds it or
// left it behind (--once).
Entry At(int slot) {
    modMBMAccess::SensorSnapshot snapshot{};
    const int fd = ::shm_open(modMBMAccess::SensorBlockName(), O_RDONLY, 0);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = ::pread(fd, &snapshot, sizeof snapshot, 0);
        ::close(fd);
    }
    const auto& entry = snapshot.Sensors[slot];
    return {modMBMAccess::CleanName(modMBMAccess::RawName(entry)), entry.Current, entry.Kind};
}

// Waits up to 20 s for `slot` to read `value` (NaN: not a number).
bool Reads(int slot, double value) {
    for (int i = 0; i < 2000; ++i) {
        const double now = At(slot).value;
        if (std::isnan(value) ? std::isnan(now) : now == value) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The slot that the map in `dir` gives `key`; -1 when none.
int SlotOf(const TempDir& dir, const std::string& key) {
    std::ifstream map(dir.File("slots"));
    for (std::string line; std::getline(map, line);)
        if (line.size() > key.size() &&
            line.compare(line.size() - key.size(), key.size(), key) == 0 &&
            line[line.size() - key.size() - 1] == ' ')
            return std::stoi(line);
    return -1;
}

struct Publisher : Program {
    Publisher(const TempDir& dir, std::vector<std::string> more)
        : Program(Args(dir, std::move(more)), {}) {}
    static std::vector<std::string> Args(const TempDir& dir, std::vector<std::string> more) {
        std::vector<std::string> args = {KORVID_HWMON, "--interval", "20", "--state",
                                         dir.File("slots")};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

} // namespace

// The fault that used to move every later sensor up a slot: with pairs saved
// against slots 0 and 2, a faulted input reads NA in its own slot and slot 2
// stays the CPU's; the reading comes back when the fault clears. A chip that
// goes keeps its slots (NA) and gets them back when it returns; a driver
// loaded late takes new slots on its own; an ignore added and read again
// leaves the slot of what it hides NA; a restart keeps every slot.
TEST(HwmonSlots, EveryReadingKeepsItsSlot) {
    NEEDS_PRIVATE_SPACE();
    Chips chips;
    Chips::Add(0, "pci/0000:01:00.0", kNvme);
    Chips::Add(1, "pci/0000:00:18.3", kK10temp);
    TempDir dir;
    const std::string config = dir.File("sensors.conf");
    std::ofstream(config) << "";
    const std::string composite = "nvme-pci-0100/temp1", sensor1 = "nvme-pci-0100/temp2";
    int drive = -1, sensor = -1, cpu = -1;
    {
        Publisher publisher(dir, {"--config", config});
        for (int i = 0; i < 2000 && (cpu = SlotOf(dir, "k10temp-pci-00c3/temp1")) < 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        drive = SlotOf(dir, composite);
        sensor = SlotOf(dir, sensor1);
        ASSERT_GE(cpu, 0) << publisher.Said();
        ASSERT_TRUE(Reads(cpu, 45)) << publisher.Said();
        EXPECT_EQ(At(drive).name, "Composite");
        EXPECT_GE(SlotOf(dir, "cpu0/clock"), 0) << "a machine without cpufreq or cpuinfo MHz?";

        std::ofstream("/sys/class/hwmon/hwmon0/temp1_fault") << "1\n";
        EXPECT_TRUE(Reads(drive, std::nan("")));
        EXPECT_EQ(At(drive).name, "Composite");
        EXPECT_EQ(At(cpu).value, 45);
        EXPECT_TRUE(publisher.Says("nvme-pci-0100 Composite: the chip reports a fault"));
        std::ofstream("/sys/class/hwmon/hwmon0/temp1_fault") << "0\n";
        EXPECT_TRUE(Reads(drive, 41.85));

        Chips::Remove(0);
        EXPECT_TRUE(Reads(sensor, std::nan(""))) << publisher.Said();
        EXPECT_EQ(At(sensor).name, "Sensor 1");
        EXPECT_EQ(At(cpu).value, 45);
        Chips::Add(5, "pci/0000:01:00.0", kNvme); // back, under another number
        EXPECT_TRUE(Reads(sensor, 40.85)) << publisher.Said();
        EXPECT_EQ(At(drive).value, 41.85);

        Chips::Add(7, "scsi/0:0:0:0", {{"name", "drivetemp"}, {"temp1_input", "33000"}});
        EXPECT_TRUE(Reads(4, 33)) << publisher.Said();
        EXPECT_EQ(SlotOf(dir, "drivetemp-scsi-0-0/temp1"), 4);

        std::ofstream(config) << "chip \"nvme-*\"\n  ignore temp2\n";
        ::kill(publisher.Pid(), SIGHUP);
        EXPECT_TRUE(Reads(sensor, std::nan(""))) << publisher.Said();
        EXPECT_EQ(publisher.EndWith(SIGTERM), 0) << publisher.Said();
    }

    // Restarted with the drive gone: every slot as it was.
    Chips::Remove(7);
    std::ofstream(config) << "";
    Publisher again(dir, {"--config", config});
    EXPECT_TRUE(Reads(sensor, 40.85)) << again.Said();
    EXPECT_EQ(At(cpu).value, 45);
    EXPECT_TRUE(std::isnan(At(4).value));
    EXPECT_EQ(At(4).name, "temp1");
    EXPECT_EQ(SlotOf(dir, composite), drive);
}

// Every kind libsensors reports, in its unit; names that would read the same
// are told apart; --list shows it all without publishing. (How each kind and
// name lands in the block is the publication's test.)
TEST(HwmonSlots, EveryKindAndDistinctNames) {
    NEEDS_PRIVATE_SPACE();
    Chips chips;
    Chips::Add(0, "scsi/0:0:0:0", {{"name", "drivetemp"}, {"temp1_input", "30000"}});
    Chips::Add(1, "scsi/1:0:0:0", {{"name", "drivetemp"}, {"temp1_input", "31000"}});
    Chips::Add(2, "pci/0000:03:00.0",
               {{"name", "amdgpu"},
                {"power1_average", "35000000"},
                {"power1_label", "PPT"},
                {"curr1_input", "12500"},
                {"humidity1_input", "40500"},
                {"energy1_input", "2000000"}});
    TempDir dir;
    std::string command;
    for (const std::string& arg : Publisher::Args(dir, {"--config", "/dev/null", "--list"}))
        command += "'" + arg + "' ";
    std::string listing;
    if (FILE* out = ::popen((command + "2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
            listing.append(buffer, n);
        EXPECT_EQ(::pclose(out), 0);
    }
    EXPECT_FALSE(fs::exists(dir.File("slots"))); // --list keeps nothing
    // Numbered as the window numbers them, in libsensors' order of the chips.
    EXPECT_EQ(listing.rfind("No.  kind         state    name          value        key\n", 0), 0u);
    for (const char* line :
         {"  power        live     PPT           35 W         amdgpu-pci-0300/power1\n",
          "  current      live     curr1         12.5 A       amdgpu-pci-0300/curr1\n",
          "  energy       live     energy1       2 J          amdgpu-pci-0300/energy1\n",
          "  percent      live     humidity1     40.5 %       amdgpu-pci-0300/humidity1\n",
          "  temperature  live     drivetemp0 t  30 \xC2\xB0"
          "C        drivetemp-scsi-0-0/temp1\n",
          "  temperature  live     drivetemp1 t  31 \xC2\xB0"
          "C        drivetemp-scsi-1-0/temp1\n"})
        EXPECT_NE(listing.find(line), std::string::npos) << line << listing;
}

// libsensors decides what is published: the configuration's labels name the
// inputs, its compute lines scale them and its ignore lines hide them; an
// input the chip cannot read, or reports a fault on, reads NA in its slot
// and is said so once; --list shows the same.
TEST(HwmonSensors, PublishesWhatTheSensorConfigurationSays) {
    NEEDS_PRIVATE_SPACE();
    Chips chips;
    Chips::Add(0, "pci/0000:00:1f.3",
               {{"name", "testchip"},
                {"temp1_input", "45000"},
                {"temp2_input", "30000"},
                {"temp2_fault", "1"},
                {"temp3_input", "n/a"},
                {"temp4_input", "51500"},
                {"in0_input", "1650"},
                {"in1_input", "1900"},
                {"fan1_input", "1200"},
                {"fan3_input", "900"}});
    TempDir dir;
    const std::string config = dir.File("sensors.conf");
    std::ofstream(config) << "chip \"testchip-*\"\n"
                             "  label temp1 \"CPU Die\"\n"
                             "  label temp4 \"Motherboard Temperature\"\n"
                             "  compute in1 @*6.3, @/6.3\n"
                             "  ignore fan3\n";
    Program once(Publisher::Args(dir, {"--once", "--config", config}), {});
    EXPECT_EQ(once.EndWith(0), 0) << once.Said();
    const std::tuple<std::string, double, int> expected[] = {
        {"CPU Die", 45, 1},       {"temp2", std::nan(""), 1}, {"temp3", std::nan(""), 1},
        {"Motherboard", 51.5, 1}, {"fan1", 1200, 3},          {"in0", 1.65, 2},
        {"in1", 11.97, 2},
    };
    for (int slot = 0; slot < int(std::size(expected)); ++slot) {
        const auto& [name, value, type] = expected[slot];
        EXPECT_EQ(At(slot).name, name) << slot;
        if (std::isnan(value)) {
            EXPECT_TRUE(std::isnan(At(slot).value)) << slot;
        } else {
            EXPECT_NEAR(At(slot).value, value, 1e-9) << slot;
        }
        EXPECT_EQ(At(slot).type, type) << slot;
    }
    EXPECT_NE(once.Said().find("testchip-pci-00fb temp2: the chip reports a fault"),
              std::string::npos)
        << once.Said();
    EXPECT_NE(once.Said().find("testchip-pci-00fb temp3: cannot be read"), std::string::npos);
    EXPECT_NE(once.Said().find("publishing 8 readings to /$M$B$M$5$S$D$ (2 faulted, 0 gone: they "
                               "read NA)"),
              std::string::npos)
        << once.Said();
}

TEST(HwmonSensors, AConfigurationThatDoesNotParseIsRefusedAndSighupReadsItAgain) {
    NEEDS_PRIVATE_SPACE();
    Chips chips;
    Chips::Add(0, "pci/0000:00:1f.3", {{"name", "testchip"}, {"temp1_input", "45000"}});
    TempDir dir;
    const std::string broken = dir.File("broken.conf");
    std::ofstream(broken) << "chip \"testchip-*\"\n  label temp1 \"A\"\n  label temp1\n";
    Program refused(Publisher::Args(dir, {"--once", "--config", broken}), {});
    EXPECT_EQ(refused.EndWith(0), 2);
    EXPECT_NE(refused.Said().find(broken + ":4: syntax error"), std::string::npos)
        << refused.Said();

    const std::string config = dir.File("sensors.conf");
    std::ofstream(config) << "chip \"testchip-*\"\n  label temp1 \"Before\"\n";
    Publisher publisher(dir, {"--config", config});
    auto named = [](const char* name) {
        for (int i = 0; i < 2000 && At(0).name != name; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return At(0).name == name;
    };
    ASSERT_TRUE(named("Before")) << publisher.Said();
    std::ofstream(config) << "chip \"testchip-*\"\n  label temp1 \"After\"\n";
    ::kill(publisher.Pid(), SIGHUP);
    EXPECT_TRUE(publisher.Says("sensor configuration read again"));
    EXPECT_TRUE(named("After"));

    // A configuration that can no longer be read (here it became a directory,
    // which libsensors' parser answers by ending the process) leaves the
    // publisher running with the configuration it had.
    fs::remove(config);
    fs::create_directory(config);
    ::kill(publisher.Pid(), SIGHUP);
    EXPECT_TRUE(publisher.Says("cannot be read again: cannot read " + config +
                               ": not a file; going on with the one read before"))
        << publisher.Said();
    EXPECT_EQ(At(0).name, "After");
    EXPECT_EQ(publisher.EndWith(SIGTERM), 0);
}

// No chip at all, or no sysfs to find one in (a container): the publisher
// publishes what it has and says what to do, in --list too, rather than stop
// as if its configuration were wrong.
TEST(HwmonSensors, WithoutChipsSaysWhatToTry) {
    NEEDS_PRIVATE_SPACE();
    Chips none;
    TempDir dir;
    for (const bool sysfs : {true, false}) {
        if (!sysfs) {
            ASSERT_EQ(::mount("tmpfs", "/sys", "tmpfs", 0, "mode=0755"), 0);
        }
        for (const char* mode : {"--once", "--list"}) {
            Program run(Publisher::Args(dir, {mode, "--config", "/dev/null"}), {});
            EXPECT_EQ(run.EndWith(0), 0) << mode << ": " << run.Said();
            EXPECT_NE(run.Said().find("no hardware sensors found"), std::string::npos)
                << run.Said();
            EXPECT_NE(run.Said().find("sensors-detect"), std::string::npos);
            EXPECT_EQ(run.Said().find("no sysfs at /sys") == std::string::npos, sysfs)
                << run.Said();
        }
        if (!sysfs) {
            ASSERT_EQ(::umount("/sys"), 0);
        }
    }
}
