#pragma once

#include <string_view>
#include <vector>

// The space-separated words of a line, as views into it; runs of spaces
// count as one separator.
inline std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    while (true) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) return words;
        line.remove_prefix(start);
        const auto end = line.find(' ');
        words.push_back(line.substr(0, end));
        if (end == std::string_view::npos) return words;
        line.remove_prefix(end);
    }
}
