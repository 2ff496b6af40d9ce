#include "sensors_scan.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <poll.h>
#include <sensors/error.h>
#include <sensors/sensors.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hwmon {

namespace {

// How long a configuration may take to read, in a child process first.
constexpr std::chrono::seconds kTrialTime{2};

// libsensors tells of parse errors through a global callback (and
// sensors_init() still succeeds), so they are collected here.
struct ParseError {
    std::string file; // empty for the file handed to sensors_init()
    int line = 0;
    std::string what;
};
std::vector<ParseError>* parseErrors = nullptr;

void CollectParseError(const char* err, const char* file, int line) {
    if (parseErrors) parseErrors->push_back({file ? file : "", line, err ? err : "error"});
}

struct KindOfFeature {
    sensors_feature_type feature;
    sensors_subfeature_type input;
    sensors_subfeature_type
        fallback;                  // read when there is no input (SENSORS_SUBFEATURE_UNKNOWN: none)
    sensors_subfeature_type fault; // SENSORS_SUBFEATURE_UNKNOWN: none
    Kind kind;
};
// The order in which each chip's inputs are published, the first three as
// they have always been.
constexpr KindOfFeature kKinds[] = {
    {SENSORS_FEATURE_TEMP, SENSORS_SUBFEATURE_TEMP_INPUT, SENSORS_SUBFEATURE_UNKNOWN,
     SENSORS_SUBFEATURE_TEMP_FAULT, Kind::Temperature},
    {SENSORS_FEATURE_FAN, SENSORS_SUBFEATURE_FAN_INPUT, SENSORS_SUBFEATURE_UNKNOWN,
     SENSORS_SUBFEATURE_FAN_FAULT, Kind::Fan},
    {SENSORS_FEATURE_IN, SENSORS_SUBFEATURE_IN_INPUT, SENSORS_SUBFEATURE_UNKNOWN,
     SENSORS_SUBFEATURE_UNKNOWN, Kind::Voltage},
    // A power meter may give only its average (amdgpu's PPT), as sensors
    // shows it.
    {SENSORS_FEATURE_POWER, SENSORS_SUBFEATURE_POWER_INPUT, SENSORS_SUBFEATURE_POWER_AVERAGE,
     SENSORS_SUBFEATURE_UNKNOWN, Kind::Power},
    {SENSORS_FEATURE_CURR, SENSORS_SUBFEATURE_CURR_INPUT, SENSORS_SUBFEATURE_UNKNOWN,
     SENSORS_SUBFEATURE_UNKNOWN, Kind::Current},
    {SENSORS_FEATURE_ENERGY, SENSORS_SUBFEATURE_ENERGY_INPUT, SENSORS_SUBFEATURE_UNKNOWN,
     SENSORS_SUBFEATURE_UNKNOWN, Kind::Energy},
    {SENSORS_FEATURE_HUMIDITY, SENSORS_SUBFEATURE_HUMIDITY_INPUT, SENSORS_SUBFEATURE_UNKNOWN,
     SENSORS_SUBFEATURE_UNKNOWN, Kind::Percent},
};

std::string ChipName(const sensors_chip_name* chip) {
    char name[256];
    if (sensors_snprintf_chip_name(name, sizeof name, chip) < 0) return chip->prefix;
    return name;
}

std::string Label(const sensors_chip_name* chip, const sensors_feature* feature) {
    char* label = sensors_get_label(chip, feature);
    if (!label) return feature->name;
    std::string text = label;
    std::free(label);
    return text;
}

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

std::optional<double> Number(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    double value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ec != std::errc()) return std::nullopt;
    return value;
}

} // namespace

std::unique_ptr<SensorsLibrary> SensorsLibrary::Open(const std::string& configFile,
                                                     std::string* error,
                                                     const volatile std::sig_atomic_t* stop) {
    std::unique_ptr<SensorsLibrary> library(new SensorsLibrary(configFile));
    library->stop_ = stop;
    if (!library->TryInChild(error) || !library->Init(error)) return nullptr;
    return library;
}

bool SensorsLibrary::TryInChild(std::string* error) const {
    int out[2];
    if (::pipe2(out, O_CLOEXEC | O_NONBLOCK) != 0) return true; // cannot try: take the risk
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        // It goes with its parent, however the parent ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        // Nothing of the parent's but the pipe, where the parser's last words
        // go: above all not the sensor block, whose lock tells readers that
        // a publisher runs.
        ::dup2(out[1], 2);
        ::close_range(3, ~0U, 0);
        if (initialised_) sensors_cleanup();
        SensorsLibrary trial(configFile_);
        std::string why;
        const bool ok = trial.Init(&why);
        (void)!::write(2, why.data(), why.size());
        ::_exit(ok ? 0 : 1);
    }
    ::close(out[1]);
    if (child < 0) {
        ::close(out[0]);
        return true;
    }
    // Requests are taken while it waits (ppoll), and the wait is bounded: a
    // configuration that never ends (a link to /dev/zero) is refused.
    std::string said;
    bool late = false, stopped = false;
    const auto deadline = std::chrono::steady_clock::now() + kTrialTime;
    sigset_t none;
    ::sigemptyset(&none);
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            late = true;
            break;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{static_cast<time_t>(ns / 1000000000),
                            static_cast<long>(ns % 1000000000)};
        pollfd answer{out[0], POLLIN, 0};
        const int ready = ::ppoll(&answer, 1, &wait, &none);
        if (ready < 0 && stop_ && *stop_) {
            stopped = true;
            break;
        }
        if (ready <= 0) continue;
        char buffer[1024];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        said.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (late || stopped) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const std::string what = configFile_.empty() ? std::string("the configuration") : configFile_;
    if (late || stopped) {
        if (error)
            *error = stopped ? "stopped while reading " + what
                             : "libsensors did not finish reading " + what + " within " +
                                   std::to_string(kTrialTime.count()) + " s";
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    while (!said.empty() && (said.back() == '\n' || said.back() == ' '))
        said.pop_back();
    if (error)
        *error =
            WIFEXITED(status) && WEXITSTATUS(status) == 1
                ? said
                : "libsensors could not read " + what + (said.empty() ? "" : " (" + said + ")");
    return false;
}

SensorsLibrary::~SensorsLibrary() {
    if (initialised_) sensors_cleanup();
}

std::string SensorsLibrary::ChipsNow() {
    std::vector<std::string> chips;
    if (DIR* dir = ::opendir("/sys/class/hwmon")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            const std::string path = std::string("/sys/class/hwmon/") + entry->d_name;
            char target[PATH_MAX];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            chips.push_back(path + (n > 0 ? " " + std::string(target, static_cast<std::size_t>(n))
                                          : " " + std::to_string(entry->d_ino)));
        }
        ::closedir(dir);
    }
    std::sort(chips.begin(), chips.end());
    std::string all;
    for (const std::string& chip : chips)
        all += chip + "\n";
    return all;
}

bool SensorsLibrary::Init(std::string* error) {
    chipsSeen_ = ChipsNow();
    std::vector<ParseError> errors;
    parseErrors = &errors;
    sensors_parse_error_wfn = CollectParseError;
    FILE* config = nullptr;
    int status = 0;
    if (!configFile_.empty()) {
        // A file, or a device such as /dev/null; not a directory, which the
        // parser cannot read, nor a FIFO, which would wait for a writer.
        const int fd = ::open(configFile_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st {};
        const bool readable =
            fd >= 0 && ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode));
        if (readable) ::fcntl(fd, F_SETFL, 0);
        config = readable ? ::fdopen(fd, "r") : nullptr;
        if (!config) {
            parseErrors = nullptr;
            if (error)
                *error = "cannot read " + configFile_ +
                         (fd >= 0 ? ": not a file" : std::string(": ") + std::strerror(errno));
            if (fd >= 0) ::close(fd);
            return false;
        }
    }
    status = sensors_init(config);
    if (config) std::fclose(config);
    parseErrors = nullptr;
    initialised_ = status == 0;
    if (!errors.empty()) {
        const ParseError& first = errors.front();
        if (error) {
            *error = first.file.empty() ? configFile_ : first.file;
            if (first.line > 0) *error += ":" + std::to_string(first.line);
            *error += ": " + first.what;
        }
        return false;
    }
    // Without sysfs (a container may hide it) there is no chip to read; that
    // is no fault of the configuration, and the clock can still be published.
    noSysfs_ = status == -SENSORS_ERR_KERNEL;
    if (status != 0 && !noSysfs_) {
        if (error) *error = std::string("libsensors: ") + sensors_strerror(status);
        return false;
    }
    return true;
}

bool SensorsLibrary::Reload(std::string* error) {
    if (!TryInChild(error)) return false;
    if (initialised_) sensors_cleanup();
    initialised_ = false;
    if (Init(error)) return true;
    if (!initialised_) { // changed since it was tried: go on with the chips alone
        if (FILE* none = std::fopen("/dev/null", "r")) {
            initialised_ = sensors_init(none) == 0;
            std::fclose(none);
        }
    }
    return false;
}

std::vector<Reading> SensorsLibrary::Read(Warnings* warnings) const {
    std::vector<Reading> readings;
    if (noSysfs_ && warnings)
        warnings->push_back("libsensors finds no sysfs at /sys, where the kernel shows its "
                            "sensor chips");
    if (!initialised_) return readings;
    constexpr double kNoReading = std::numeric_limits<double>::quiet_NaN();
    int chipNumber = 0;
    while (const sensors_chip_name* chip = sensors_get_detected_chips(nullptr, &chipNumber)) {
        const std::string chipName = ChipName(chip);
        for (const KindOfFeature& kind : kKinds) {
            int featureNumber = 0;
            while (const sensors_feature* feature = sensors_get_features(chip, &featureNumber)) {
                if (feature->type != kind.feature) continue;
                const sensors_subfeature* input = sensors_get_subfeature(chip, feature, kind.input);
                if (!input && kind.fallback != SENSORS_SUBFEATURE_UNKNOWN)
                    input = sensors_get_subfeature(chip, feature, kind.fallback);
                if (!input) continue;
                Reading reading{kind.kind, ToSingleByte(Label(chip, feature)), kNoReading,
                                chipName + "/" + feature->name, chip->prefix};
                // A faulted or unreadable input keeps its slot and reads NaN
                // while it is so: never another sensor's value.
                auto fault = [&](const std::string& why) {
                    if (warnings)
                        warnings->push_back((chipName + " ")
                                                .append(ForTerminal(reading.name))
                                                .append(": ")
                                                .append(why));
                };
                if (const sensors_subfeature* faultFlag =
                        kind.fault == SENSORS_SUBFEATURE_UNKNOWN
                            ? nullptr
                            : sensors_get_subfeature(chip, feature, kind.fault)) {
                    double faulty = 0;
                    if (sensors_get_value(chip, faultFlag->number, &faulty) == 0 && faulty != 0) {
                        fault("the chip reports a fault; it reads NA while it does");
                        readings.push_back(std::move(reading));
                        continue;
                    }
                }
                double value = 0;
                if (const int status = sensors_get_value(chip, input->number, &value); status != 0)
                    fault(std::string("cannot be read (") + sensors_strerror(status) +
                          "); it reads NA while it cannot");
                else
                    reading.value = value;
                readings.push_back(std::move(reading));
            }
        }
    }
    return readings;
}

std::optional<double> CpuClockMHz(const std::string& sysRoot, const std::string& procRoot) {
    if (const auto khz = ReadText(sysRoot + "/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq"))
        if (const auto value = Number(*khz)) return *value / 1000.0;
    std::ifstream cpuinfo(procRoot + "/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("cpu MHz", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) return std::nullopt;
        return Number(std::string_view(line).substr(colon + 1)); // processor 0's comes first
    }
    return std::nullopt;
}

std::vector<Reading> ScanSystem(const SensorsLibrary& library, Warnings* warnings) {
    std::vector<Reading> readings = library.Read(warnings);
    if (const auto mhz = CpuClockMHz("/sys", "/proc"))
        readings.push_back({Kind::Clock, "CPU0 Clock", *mhz, "cpu0/clock", {}});
    return readings;
}

} // namespace hwmon
