#include "monitor_sources.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

namespace hwmon {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

struct TypeOf {
    const char* type; // LibreHardwareMonitor's Type
    Kind kind;
    const char* unit;   // what the block carries it in
    const char* native; // what a numeric RawValue is in
};
constexpr TypeOf kTypes[] = {
    {"Temperature", Kind::Temperature,
     "\xC2\xB0"
     "C",
     "\xC2\xB0"
     "C"},
    {"Voltage", Kind::Voltage, "V", "V"},
    {"Fan", Kind::Fan, "RPM", "RPM"},
    {"Clock", Kind::Clock, "MHz", "MHz"},
    {"Load", Kind::Percent, "%", "%"},
    {"Control", Kind::Percent, "%", "%"},
    {"Level", Kind::Percent, "%", "%"},
    {"Humidity", Kind::Percent, "%", "%"},
    {"Power", Kind::Power, "W", "W"},
    {"Current", Kind::Current, "A", "A"},
    {"Energy", Kind::Energy, "J", "mWh"},
};

// The value in the block's unit; nothing when its unit does not fit.
std::optional<double> InBlockUnit(double value, const std::string& unit, const TypeOf& type,
                                  Warnings* warnings) {
    if (unit.empty() || unit == type.unit) return value;
    if (type.kind == Kind::Temperature && unit == "\xC2\xB0"
                                                  "F") {
        if (warnings)
            warnings->push_back("temperatures in \xC2\xB0"
                                "F are published in \xC2\xB0"
                                "C");
        return (value - 32) * 5 / 9;
    }
    if (type.kind == Kind::Clock && unit == "GHz") return value * 1000;
    if (type.kind == Kind::Energy && unit == "mWh") return value * 3.6;
    if (type.kind == Kind::Energy && unit == "Wh") return value * 3600;
    if (warnings)
        warnings->push_back(std::string(type.type) + " readings in " +
                            ForTerminal(ToSingleByte(unit)) +
                            " are left out: the block carries them in " + type.unit);
    return std::nullopt;
}

void Walk(const QJsonObject& node, const std::string& hardware, std::vector<Reading>& readings,
          Warnings* warnings) {
    std::string shortName = hardware;
    if (const QString id = node.value("HardwareId").toString(); !id.isEmpty())
        shortName = Utf8(id.section('/', 1, 1));
    const QString sensorId = node.value("SensorId").toString();
    if (!sensorId.isEmpty()) {
        const std::string type = Utf8(node.value("Type").toString());
        Reading reading{Kind::Other, ToSingleByte(Utf8(node.value("Text").toString())), kNaN,
                        Utf8(sensorId), shortName};
        const TypeOf* known = nullptr;
        for (const TypeOf& t : kTypes)
            if (type == t.type) known = &t;
        const QJsonValue raw = node.value("RawValue");
        std::string unit;
        double value = kNaN;
        if (raw.isDouble()) {
            value = raw.toDouble();
            if (known) unit = known->native;
        } else
            value = ParseCultureValue(
                Utf8(raw.isString() ? raw.toString() : node.value("Value").toString()), &unit);
        if (known) {
            reading.kind = known->kind;
            const auto converted = InBlockUnit(value, unit, *known, warnings);
            if (!converted) return;
            value = *converted;
        }
        reading.value = value;
        readings.push_back(std::move(reading));
    }
    for (const QJsonValue child : node.value("Children").toArray())
        Walk(child.toObject(), shortName, readings, warnings);
}

template <typename T> T At(std::string_view bytes, std::size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// A text field of fixed width, up to its NUL.
std::string Field(std::string_view bytes, std::size_t offset, std::size_t width) {
    const std::string_view field = bytes.substr(offset, width);
    return std::string(field.substr(0, field.find('\0')));
}

Kind HwinfoKind(std::uint32_t type) {
    switch (type) {
    case 1:
        return Kind::Temperature;
    case 2:
        return Kind::Voltage;
    case 3:
        return Kind::Fan;
    case 4:
        return Kind::Current;
    case 5:
        return Kind::Power;
    case 6:
        return Kind::Clock;
    case 7:
        return Kind::Percent;
    default:
        return Kind::Other;
    }
}

} // namespace

double ParseCultureValue(std::string_view text, std::string* unit) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    std::string number;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) number += text[i++];
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            number += c;
            digits = true;
        } else if ((c == ',' || c == '.') && !point && i + 1 < text.size() && text[i + 1] >= '0' &&
                   text[i + 1] <= '9') {
            number += '.';
            point = true;
        } else {
            break;
        }
    }
    std::string_view rest = text.substr(i);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == ' ')
        rest.remove_suffix(1);
    double value = kNaN;
    if (!digits) {
        if (unit) unit->clear(); // "NaN", "-" and the like: no reading, in no unit
        return value;
    }
    if (unit) *unit = std::string(rest);
    std::from_chars(number.data(), number.data() + number.size(), value);
    return value;
}

SourceReadings ParseLibreHardwareMonitor(std::string_view json, Warnings* warnings) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError)
        return {std::nullopt, "its answer is no JSON (" + Utf8(error.errorString()) + ")"};
    const QJsonObject root = document.object();
    if (!root.value("Children").isArray()) return {std::nullopt, "its answer is no sensor tree"};
    std::vector<Reading> readings;
    Walk(root, {}, readings, warnings);
    return {std::move(readings), {}};
}

SourceReadings ParseHwinfo(std::string_view bytes, std::int64_t now, Warnings* warnings) {
    constexpr std::size_t kHeader = 44, kSensor = 264, kReading = 316;
    if (bytes.size() < kHeader)
        return {std::nullopt, "its shared memory is too short for a header"};
    const auto signature = At<std::uint32_t>(bytes, 0);
    if (signature == kHwinfoDead) return {std::nullopt, "HWiNFO has stopped sharing its readings"};
    if (signature != kHwinfoLive) return {std::nullopt, "its shared memory holds no HWiNFO header"};
    const auto revision = At<std::uint32_t>(bytes, 8);
    const auto pollTime = At<std::int64_t>(bytes, 12);
    const auto sensorOffset = At<std::uint32_t>(bytes, 20),
               sensorSize = At<std::uint32_t>(bytes, 24),
               sensorCount = At<std::uint32_t>(bytes, 28);
    const auto readingOffset = At<std::uint32_t>(bytes, 32),
               readingSize = At<std::uint32_t>(bytes, 36),
               readingCount = At<std::uint32_t>(bytes, 40);
    const std::uint32_t period =
        revision >= 1 && bytes.size() >= kHeader + 4 ? At<std::uint32_t>(bytes, 44) : 2000;
    const std::int64_t stale = 5 * std::max<std::int64_t>(period, 1000) / 1000;
    if (now - pollTime > stale)
        return {std::nullopt, "HWiNFO's readings are " + std::to_string(now - pollTime) +
                                  " s old: it has stopped polling"};
    auto fits = [&](std::uint64_t offset, std::uint64_t size, std::uint64_t count,
                    std::uint64_t least) {
        return size >= least && count <= bytes.size() && offset + size * count <= bytes.size();
    };
    if (!fits(sensorOffset, sensorSize, sensorCount, kSensor) ||
        !fits(readingOffset, readingSize, readingCount, kReading))
        return {std::nullopt, "its shared memory's elements do not fit in it"};
    std::vector<Reading> readings;
    for (std::uint32_t r = 0; r < readingCount; ++r) {
        const std::size_t at = readingOffset + std::size_t{r} * readingSize;
        const auto type = At<std::uint32_t>(bytes, at);
        const auto sensor = At<std::uint32_t>(bytes, at + 4);
        const auto id = At<std::uint32_t>(bytes, at + 8);
        if (type == 0 || sensor >= sensorCount) continue;
        const std::size_t sensorAt = sensorOffset + std::size_t{sensor} * sensorSize;
        const std::string label = Field(bytes, at + 140, 128).empty() ? Field(bytes, at + 12, 128)
                                                                      : Field(bytes, at + 140, 128);
        const std::string sensorName = Field(bytes, sensorAt + 8, 128);
        Reading reading{HwinfoKind(type), label, At<double>(bytes, at + 284),
                        "hwinfo/" + std::to_string(At<std::uint32_t>(bytes, sensorAt)) + "." +
                            std::to_string(At<std::uint32_t>(bytes, sensorAt + 4)) + "/" +
                            std::to_string(id),
                        sensorName.substr(0, sensorName.find(' '))};
        const std::string unit = Field(bytes, at + 268, 16);
        if (reading.kind == Kind::Temperature && unit == "\xB0"
                                                         "F") {
            reading.value = (reading.value - 32) * 5 / 9;
            if (warnings)
                warnings->push_back("temperatures in \xC2\xB0"
                                    "F are published in \xC2\xB0"
                                    "C");
        }
        readings.push_back(std::move(reading));
    }
    return {std::move(readings), {}};
}

std::optional<std::set<Kind>> ParseKinds(std::string_view text, std::string* why) {
    static const std::map<std::string, Kind, std::less<>> kWords = {
        {"temperature", Kind::Temperature},
        {"fan", Kind::Fan},
        {"voltage", Kind::Voltage},
        {"clock", Kind::Clock},
        {"load", Kind::Percent},
        {"percent", Kind::Percent},
        {"power", Kind::Power},
        {"current", Kind::Current},
        {"energy", Kind::Energy},
        {"other", Kind::Other}};
    std::set<Kind> kinds;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view word = text.substr(0, comma);
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
        const auto found = kWords.find(word);
        if (found == kWords.end()) {
            if (why)
                *why = std::string(1, '\'').append(word).append(
                    "' is no kind of reading (temperature, fan, voltage, clock, load, power, "
                    "current, energy, other)");
            return std::nullopt;
        }
        kinds.insert(found->second);
    }
    if (kinds.empty()) {
        if (why) *why = "no kind of reading named";
        return std::nullopt;
    }
    return kinds;
}

bool PatternMatches(std::string_view pattern, std::string_view text) {
    // The last '*' seen and where in the text it stood, to go back to.
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<Reading> Choose(const std::vector<Reading>& readings, const Choice& choice) {
    auto named = [](const std::vector<std::string>& patterns, const Reading& reading) {
        for (const std::string& pattern : patterns)
            if (PatternMatches(pattern, reading.key) || PatternMatches(pattern, reading.name))
                return true;
        return false;
    };
    std::vector<Reading> chosen;
    for (const Reading& reading : readings)
        if ((choice.kinds.count(reading.kind) || named(choice.include, reading)) &&
            !named(choice.exclude, reading))
            chosen.push_back(reading);
    return chosen;
}

} // namespace hwmon
