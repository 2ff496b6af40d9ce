#pragma once

// Reading and editing one value of an INI text the way the Windows profile
// functions do: section and key names match without regard to case, blanks
// around names and values do not count, a line is a comment only when it
// starts with ';' or '#' (within a value they are text), and an edit touches
// only the line of that key, keeping every other byte of the text. A UTF-8
// byte-order mark before the first line is no part of it.
//
// A section, or a key within it, that the text holds more than once is
// refused rather than guessed at: the problem names the lines.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ini {

// The value of `key` in `section`, or nothing when either is missing. One
// pair of enclosing quotes is removed, as the profile functions do. Nothing,
// with `problem` saying why, when the section or the key is there twice;
// `problem` is cleared otherwise.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string* problem = nullptr);

// Every section of the text in order, each with its keys and values in
// order (enclosing quotes removed); keys before the first section are in
// one named "". Nothing, with `problem` saying where, when a section, or a
// key within one, is there twice.
struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
};
std::optional<std::vector<Section>> ReadSections(std::string_view text, std::string* problem);

// Why the value of `key` in `section` cannot be told (the section or the key
// is there twice); empty when it can.
std::string Ambiguity(std::string_view text, std::string_view section, std::string_view key);

// The text with the value of `key` in `section` replaced; a missing key is
// added after the section's last entry, a missing section at the end.
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

} // namespace ini
