#include "lcd_settings.h"

#include "ini_text.h"

#include <charconv>

namespace lcd {

namespace {

constexpr std::uint16_t kReportPort = 9001;

std::optional<int> Number(std::string_view text, int low, int high) {
    int value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() ||
        value < low || value > high)
        return std::nullopt;
    return value;
}

// Line1=, Line2=, ... of a section, in order; the numbers must follow on.
bool Lines(const ini::Section& section, std::vector<std::string>& lines, std::string* error) {
    for (const auto& [key, value] : section.values) {
        if (key.size() < 5 || key.substr(0, 4) != "Line") continue;
        const auto number = Number(std::string_view(key).substr(4), 1, 64);
        if (!number || static_cast<std::size_t>(*number) != lines.size() + 1) {
            if (error)
                *error = "[" + section.name + "]: " + key + "= is not the next line (Line" +
                         std::to_string(lines.size() + 1) + "= is)";
            return false;
        }
        lines.push_back(value);
    }
    return true;
}

// "'TEXT' WHY", built by appending (GCC 12 warns of overlapping copies, in
// error, when it is built with +).
std::string Quoted(std::string_view text, std::string_view why) {
    return std::string(1, '\'').append(text).append("' ").append(why);
}

bool Check(const std::vector<std::string>& lines, const std::string& where, std::string* error) {
    std::string why;
    if (lines.empty() || ParseLayout(lines, &why)) return true;
    if (error) *error = where + ": " + why;
    return false;
}

} // namespace

std::optional<Address> ParseAddress(std::string_view text, std::uint16_t defaultPort,
                                    std::string* error) {
    Address address{std::string(text), defaultPort};
    std::optional<std::string_view> port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos ||
            (close + 1 < text.size() && text[close + 1] != ':')) {
            if (error) *error = Quoted(text, "is no [IPv6]:PORT");
            return std::nullopt;
        }
        address.host = std::string(text.substr(1, close - 1));
        if (close + 1 < text.size()) port = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':');
               colon != std::string_view::npos && text.find(':') == colon) {
        address.host = std::string(text.substr(0, colon));
        port = text.substr(colon + 1);
    }
    if (port) {
        const auto number = Number(*port, 1, 65535);
        if (!number) {
            if (error) *error = Quoted(text, "has no port from 1 to 65535");
            return std::nullopt;
        }
        address.port = static_cast<std::uint16_t>(*number);
    }
    if (address.host.empty()) {
        if (error) *error = Quoted(text, "names no host");
        return std::nullopt;
    }
    return address;
}

std::optional<Settings> MakeSettings(const CommandLine& given,
                                     const std::optional<std::string>& file, std::string* error) {
    Settings settings;
    std::vector<ini::Section> sections;
    if (file) {
        std::string problem;
        auto read = ini::ReadSections(*file, &problem);
        if (!read) {
            if (error) *error = problem;
            return std::nullopt;
        }
        sections = std::move(*read);
    }
    auto fail = [&](const std::string& why) -> std::optional<Settings> {
        if (error) *error = why;
        return std::nullopt;
    };
    for (const ini::Section& section : sections) {
        if (section.name == "korvid-lcd") {
            for (const auto& [key, value] : section.values) {
                std::string why;
                if (key == "LCDd") {
                    const auto address = ParseAddress(value, 13666, &why);
                    if (!address) return fail("[korvid-lcd] LCDd=: " + why);
                    settings.lcdd = *address;
                } else if (key == "Interval") {
                    const auto seconds = Number(value, 1, 3600);
                    if (!seconds) return fail("[korvid-lcd] Interval= takes 1 to 3600 seconds");
                    settings.intervalSeconds = *seconds;
                } else if (key == "Long") {
                    if (value != "scroll" && value != "cut")
                        return fail("[korvid-lcd] Long= takes scroll or cut");
                    settings.scroll = value == "scroll";
                } else if (key.rfind("Line", 0) != 0) {
                    return fail("[korvid-lcd] has no " + key + "=");
                }
            }
            if (!Lines(section, settings.lines, error) ||
                !Check(settings.lines, "[korvid-lcd]", error))
                return std::nullopt;
        } else if (section.name.rfind("source ", 0) == 0 && section.name.size() > 7) {
            SourceSettings source{section.name.substr(7), {}, {}};
            bool addressed = false;
            for (const auto& [key, value] : section.values) {
                if (key == "Address") {
                    std::string why;
                    const auto address = ParseAddress(value, kReportPort, &why);
                    if (!address) return fail("[" + section.name + "] Address=: " + why);
                    source.address = *address;
                    addressed = true;
                } else if (key.rfind("Line", 0) != 0) {
                    return fail("[" + section.name + "] has no " + key + "=");
                }
            }
            if (!addressed) return fail("[" + section.name + "] has no Address=");
            if (!Lines(section, source.lines, error) ||
                !Check(source.lines, "[" + section.name + "]", error))
                return std::nullopt;
            settings.sources.push_back(std::move(source));
        } else {
            return fail("[" + section.name +
                        "] is no section of korvid-lcd's ([korvid-lcd], "
                        "[source NAME])");
        }
    }
    if (given.lcdd) {
        std::string why;
        const auto address = ParseAddress(*given.lcdd, 13666, &why);
        if (!address) return fail("--lcdd: " + why);
        settings.lcdd = *address;
    }
    if (given.interval) settings.intervalSeconds = *given.interval;
    if (given.scroll) settings.scroll = *given.scroll;
    if (!given.sources.empty()) {
        settings.sources.clear();
        for (const std::string& source : given.sources) {
            const auto equals = source.find('=');
            std::string why;
            if (equals == std::string::npos || equals == 0)
                return fail("--source '" + source + "' is no NAME=HOST[:PORT]");
            const auto address =
                ParseAddress(std::string_view(source).substr(equals + 1), kReportPort, &why);
            if (!address) return fail("--source: " + why);
            settings.sources.push_back({source.substr(0, equals), *address, {}});
        }
    }
    if (settings.sources.empty())
        return fail("no PC to show: give --source NAME=HOST[:PORT], or a [source NAME] section "
                    "in the configuration");
    for (std::size_t i = 0; i < settings.sources.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (settings.sources[i].name == settings.sources[j].name)
                return fail("two PCs are named " + settings.sources[i].name);
    return settings;
}

} // namespace lcd
