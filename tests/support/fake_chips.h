#pragma once

// Made-up hwmon chips for korvid-hwmon's tests (Linux), in a /sys/class that
// the test has made a tmpfs of in a mount namespace of its own: libsensors
// reads them as the kernel's chips.

#include "shared_block.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <utility>
#include <vector>

namespace testing_support {

// The machine's hwmon chips, as the kernel shows them: a directory of
// inputs with a link to its device, whose subsystem and name libsensors
// makes the chip's name of ("nvme-pci-0100", "drivetemp-scsi-0-0").
struct Chips {
    using Files = std::vector<std::pair<std::string, std::string>>;

    Chips() { std::filesystem::create_directories("/sys/class/hwmon"); }
    ~Chips() {
        ::shm_unlink(modMBMAccess::SensorBlockName());
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/class", ignored))
            std::filesystem::remove_all(entry.path(), ignored);
    }
    // `device`: "pci/0000:01:00.0", "scsi/0:0:0:0".
    static void Add(int number, const std::string& device, const Files& files) {
        const std::filesystem::path bus =
            "/sys/class/fake-bus" / std::filesystem::path(device).parent_path();
        const std::filesystem::path dev = "/sys/class/fake-devices" / std::filesystem::path(device);
        std::filesystem::create_directories(bus);
        std::filesystem::create_directories(dev);
        if (!std::filesystem::exists(dev / "subsystem"))
            std::filesystem::create_directory_symlink(bus, dev / "subsystem");
        const std::filesystem::path dir = "/sys/class/hwmon/hwmon" + std::to_string(number);
        std::filesystem::create_directories(dir);
        std::filesystem::create_directory_symlink(dev, dir / "device");
        for (const auto& [name, text] : files)
            std::ofstream(dir / name) << text << "\n";
    }
    static void Remove(int number) {
        std::filesystem::remove_all("/sys/class/hwmon/hwmon" + std::to_string(number));
    }
};

} // namespace testing_support
