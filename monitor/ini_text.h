#pragma once

// Reading and editing one value of an INI text the way the Windows profile
// functions do: section and key names match without regard to case, blanks
// around names and values do not count, and an edit touches only the line of
// that key, keeping every other byte of the text.

#include <optional>
#include <string>
#include <string_view>

namespace ini {

// The value of `key` in `section`, or nothing when either is missing. One
// pair of enclosing quotes is removed, as the profile functions do.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key);

// The text with the value of `key` in `section` replaced; a missing key is
// added after the section's last entry, a missing section at the end.
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

} // namespace ini
