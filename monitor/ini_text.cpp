#include "ini_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace ini {

namespace {

struct Line {
    std::size_t begin;        // offset of the line's first byte
    std::size_t end;          // offset of its line break (or the end of the text)
    std::string_view content; // without the line break and a CR before it
};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t begin = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        std::string_view content = text.substr(begin, end - begin);
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        lines.push_back({begin, end, content});
        begin = end + 1;
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The section name of a "[name]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

bool IsKeyLine(std::string_view line, std::string_view key, std::string_view* value = nullptr) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || !SameName(Trim(line.substr(0, equals)), key))
        return false;
    if (value) *value = Trim(line.substr(equals + 1));
    return true;
}

// Lines [first, last) of the first section of that name; nothing when absent.
std::optional<std::pair<std::size_t, std::size_t>>
FindSection(const std::vector<Line>& lines, std::string_view section, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i].content);
        if (!name || !SameName(*name, section)) continue;
        std::size_t last = i + 1;
        while (last < lines.size() && !SectionName(lines[last].content))
            ++last;
        return std::make_pair(i + 1, last);
    }
    return std::nullopt;
}

// The line of the first `key` in lines [first, last); `last` when none.
std::size_t FindKey(const std::vector<Line>& lines, std::size_t first, std::size_t last,
                    std::string_view key) {
    while (first < last && !IsKeyLine(lines[first].content, key))
        ++first;
    return first;
}

std::string Twice(std::string_view what, std::size_t first, std::size_t second) {
    return std::string(what) + " is there twice, on lines " + std::to_string(first + 1) + " and " +
           std::to_string(second + 1);
}

std::string Ambiguity(const std::vector<Line>& lines, std::string_view section,
                      std::string_view key) {
    const auto range = FindSection(lines, section);
    if (!range) return {};
    if (const auto again = FindSection(lines, section, range->second))
        return Twice(std::string(1, '[').append(section).append(1, ']'), range->first - 1,
                     again->first - 1);
    const std::size_t found = FindKey(lines, range->first, range->second, key);
    const std::size_t next =
        found < range->second ? FindKey(lines, found + 1, range->second, key) : range->second;
    if (next < range->second)
        return Twice(std::string(key) + "= in [" + std::string(section) + "]", found, next);
    return {};
}

} // namespace

std::string Ambiguity(std::string_view text, std::string_view section, std::string_view key) {
    return Ambiguity(SplitLines(text), section, key);
}

std::optional<std::vector<Section>> ReadSections(std::string_view text, std::string* problem) {
    std::vector<Section> sections;
    std::vector<std::size_t> lineOf; // where each section, and each key, began
    std::vector<std::vector<std::size_t>> keyLines;
    const auto lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i].content;
        if (const auto name = SectionName(line)) {
            for (std::size_t s = 0; s < sections.size(); ++s)
                if (SameName(sections[s].name, *name)) {
                    if (problem)
                        *problem =
                            Twice(std::string(1, '[').append(*name).append(1, ']'), lineOf[s], i);
                    return std::nullopt;
                }
            sections.push_back({std::string(*name), {}});
            lineOf.push_back(i);
            keyLines.emplace_back();
            continue;
        }
        const std::string_view trimmed = Trim(line);
        const auto equals = line.find('=');
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' ||
            equals == std::string_view::npos)
            continue;
        if (sections.empty()) {
            sections.push_back({"", {}});
            lineOf.push_back(i);
            keyLines.emplace_back();
        }
        Section& section = sections.back();
        const std::string_view key = Trim(line.substr(0, equals));
        for (std::size_t k = 0; k < section.values.size(); ++k)
            if (SameName(section.values[k].first, key)) {
                if (problem)
                    *problem =
                        Twice(std::string(key).append("= in [").append(section.name).append(1, ']'),
                              keyLines.back()[k], i);
                return std::nullopt;
            }
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        section.values.emplace_back(std::string(key), std::string(value));
        keyLines.back().push_back(i);
    }
    if (problem) problem->clear();
    return sections;
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string* problem) {
    const auto lines = SplitLines(text);
    std::string why = Ambiguity(lines, section, key);
    const bool ambiguous = !why.empty();
    if (problem) *problem = std::move(why);
    if (ambiguous) return std::nullopt;
    const auto range = FindSection(lines, section);
    if (!range) return std::nullopt;
    const std::size_t found = FindKey(lines, range->first, range->second, key);
    if (found == range->second) return std::nullopt;
    std::string_view value;
    IsKeyLine(lines[found].content, key, &value);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
    const std::string_view eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    const std::string entry = std::string(key) + "=" + std::string(value);
    const auto lines = SplitLines(text);
    std::string result;

    const auto range = FindSection(lines, section);
    if (!range) {
        result = text;
        if (!result.empty() && result.back() != '\n') result += eol;
        result += "[" + std::string(section) + "]" + std::string(eol) + entry + std::string(eol);
        return result;
    }
    for (std::size_t i = range->first; i < range->second; ++i) {
        if (!IsKeyLine(lines[i].content, key)) continue;
        // Keep the original spelling of the key and the line's own ending.
        const std::size_t contentEnd = lines[i].begin + lines[i].content.size();
        result = text.substr(0, lines[i].begin);
        result += lines[i].content.substr(0, lines[i].content.find('=') + 1);
        result += value;
        result += text.substr(contentEnd);
        return result;
    }
    // A new key goes after the section's last non-blank line.
    std::size_t after = range->first - 1;
    for (std::size_t i = range->first; i < range->second; ++i)
        if (!Trim(lines[i].content).empty()) after = i;
    const std::size_t insertAt = lines[after].end; // its line break, or the end of the text
    if (insertAt == text.size()) {
        result = text;
        result += eol;
    } else {
        result = text.substr(0, insertAt + 1);
    }
    result += entry;
    result += eol;
    if (insertAt < text.size()) result += text.substr(insertAt + 1);
    return result;
}

} // namespace ini
