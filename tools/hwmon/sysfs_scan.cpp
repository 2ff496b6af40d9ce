#include "sysfs_scan.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace hwmon {

namespace {

std::optional<std::string> ReadText(const fs::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    std::string s = text.str();
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

std::optional<double> ReadNumber(const fs::path& path) {
    const auto text = ReadText(path);
    if (!text) return std::nullopt;
    double value = 0;
    const auto parsed = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || parsed.ec != std::errc() || parsed.ptr != text->data() + text->size())
        return std::nullopt;
    return value;
}

// The number in "hwmon12" (prefix "hwmon") or "temp3_input" (prefix "temp",
// suffix "_input"); nothing when the name has another shape.
std::optional<long> NumberBetween(std::string_view name, std::string_view prefix,
                                  std::string_view suffix = {}) {
    if (!name.starts_with(prefix) || !name.ends_with(suffix) ||
        name.size() <= prefix.size() + suffix.size())
        return std::nullopt;
    const std::string_view digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    long n = 0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (parsed.ec != std::errc() || parsed.ptr != digits.data() + digits.size() ||
        !std::isdigit(static_cast<unsigned char>(digits.front())))
        return std::nullopt;
    return n;
}

struct SensorKind {
    const char* prefix;
    Kind kind;
    double scale; // sysfs unit to published unit
    const char* shortName;
};
constexpr SensorKind kKinds[] = {
    {"temp", Kind::Temperature, 1000.0, "T"},
    {"fan", Kind::Fan, 1.0, "F"},
    {"in", Kind::Voltage, 1000.0, "V"},
};

void ScanChip(const fs::path& chip, std::vector<Reading>& readings, Warnings* warnings) {
    const std::string chipName = ToSingleByte(ReadText(chip / "name").value_or(chip.filename()));
    std::error_code ec;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(chip, ec))
        files.push_back(entry.path().filename());

    for (const SensorKind& kind : kKinds) {
        std::vector<long> numbers;
        for (const std::string& file : files)
            if (const auto n = NumberBetween(file, kind.prefix, "_input")) numbers.push_back(*n);
        std::sort(numbers.begin(), numbers.end());
        for (long n : numbers) {
            const std::string stem = kind.prefix + std::to_string(n);
            const auto value = ReadNumber(chip / (stem + "_input"));
            if (!value) {
                if (warnings)
                    warnings->push_back((chip / (stem + "_input")).string() +
                                        ": no readable number, skipped");
                continue;
            }
            std::string name;
            if (const auto label = ReadText(chip / (stem + "_label")); label && !label->empty()) {
                name = ToSingleByte(*label);
            } else {
                // A short chip-and-sensor name: "coretemp T1", the chip cut to fit.
                const std::string suffix = std::string(" ") + kind.shortName + std::to_string(n);
                name = chipName.substr(0, modMBMAccess::kNameLength -
                                              std::min(suffix.size(), modMBMAccess::kNameLength)) +
                       suffix;
            }
            readings.push_back({kind.kind, name, *value / kind.scale});
        }
    }
}

std::optional<double> CpuClockMHz(const std::string& sysRoot, const std::string& procRoot) {
    if (const auto khz =
            ReadNumber(fs::path(sysRoot) / "devices/system/cpu/cpu0/cpufreq/scaling_cur_freq"))
        return *khz / 1000.0;
    std::ifstream cpuinfo(fs::path(procRoot) / "cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("cpu MHz", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) return std::nullopt;
        std::string_view text = std::string_view(line).substr(colon + 1);
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        double mhz = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), mhz);
        if (parsed.ec != std::errc()) return std::nullopt;
        return mhz; // the first "cpu MHz" belongs to processor 0
    }
    return std::nullopt;
}

} // namespace

std::vector<Reading> ScanSystem(const std::string& sysRoot, const std::string& procRoot,
                                Warnings* warnings) {
    std::vector<std::pair<long, fs::path>> chips;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class/hwmon", ec)) {
        if (const auto n = NumberBetween(entry.path().filename().string(), "hwmon"))
            chips.emplace_back(*n, entry.path());
    }
    std::sort(chips.begin(), chips.end());

    std::vector<Reading> readings;
    for (const auto& chip : chips)
        ScanChip(chip.second, readings, warnings);
    if (const auto mhz = CpuClockMHz(sysRoot, procRoot))
        readings.push_back({Kind::Clock, "CPU0 Clock", *mhz});
    return readings;
}

} // namespace hwmon
