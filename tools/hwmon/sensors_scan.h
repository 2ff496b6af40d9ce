#pragma once

// The machine's own readings: hwmon chips through libsensors, which applies
// the system's sensor configuration (/etc/sensors3.conf, /etc/sensors.d) as
// the sensors command does, and processor 0's clock from cpufreq.

#include "readings.h"

#include <csignal>
#include <memory>
#include <optional>
#include <string>

namespace hwmon {

// libsensors, initialised once for the process (it keeps global state).
class SensorsLibrary {
public:
    // Reads `configFile`, or the system configuration when it is empty.
    // Null when it cannot be read, does not parse, takes longer than 2 s to
    // read, or `*stop` is set while it is read; `error` then says why (for a
    // parse error, the file and the line).
    static std::unique_ptr<SensorsLibrary> Open(const std::string& configFile, std::string* error,
                                                const volatile std::sig_atomic_t* stop = nullptr);
    ~SensorsLibrary();
    SensorsLibrary(const SensorsLibrary&) = delete;
    SensorsLibrary& operator=(const SensorsLibrary&) = delete;

    // Reads the configuration again (on SIGHUP), which also finds chips
    // whose drivers were loaded since. When it no longer reads or parses,
    // returns false with the reason and keeps the configuration it had.
    bool Reload(std::string* error);
    // Whether the kernel's sensor chips (/sys/class/hwmon) have changed
    // since the configuration was read: a driver loaded or unloaded, a disk
    // or a chip gone or back. A Reload() finds them as they are now.
    bool ChipsChanged() const { return ChipsNow() != chipsSeen_; }

    // Every temperature (°C), fan (RPM) and voltage (V) input, named by its
    // label as the sensors command shows it, after the configuration's
    // compute and ignore statements: chip by chip in libsensors' order, within
    // a chip temperatures, then fans, then voltages. An input that cannot be
    // read, or whose chip reports a fault, is left out with a warning.
    std::vector<Reading> Read(Warnings* warnings) const;

private:
    explicit SensorsLibrary(std::string configFile) : configFile_(std::move(configFile)) {}
    bool Init(std::string* error);
    // Init() in a child process first, which gets no descriptor of this
    // process's and 2 s: libsensors' parser ends the process that reads a
    // file it cannot read (a directory, say) rather than return, and never
    // ends on one that never ends. The wait takes the process's requests
    // (signals blocked elsewhere), and ends at once when `*stop_` is set.
    bool TryInChild(std::string* error) const;

    static std::string ChipsNow();

    std::string configFile_;
    const volatile std::sig_atomic_t* stop_ = nullptr;
    std::string chipsSeen_; // ChipsNow() when the configuration was read
    bool initialised_ = false;
    bool noSysfs_ = false; // libsensors found no sysfs, so no chip
};

// Processor 0's clock in MHz from <sysRoot>/devices/system/cpu/cpu0/cpufreq/
// scaling_cur_freq, else the first "cpu MHz" of <procRoot>/cpuinfo.
std::optional<double> CpuClockMHz(const std::string& sysRoot, const std::string& procRoot);

// The library's readings, then processor 0's clock.
std::vector<Reading> ScanSystem(const SensorsLibrary& library, Warnings* warnings);

} // namespace hwmon
