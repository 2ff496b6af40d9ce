#pragma once

// The settings file, reached the way the platform keeps private profiles:
// profile_linux.cpp edits an INI file in the user's configuration directory,
// profile_win32.cpp calls the Windows profile functions.

#include <cstddef>
#include <optional>
#include <string>

namespace profile {

// Where a settings file of that name lives: on Linux in $XDG_CONFIG_HOME,
// else ~/.config; on Windows the bare name, which the profile functions keep
// in the Windows directory, unless a save could not write it there and went
// to %APPDATA%\Korvid Halvane instead, which is then read first.
std::string SettingsFilePath(const std::string& fileName);

// At most `maxChars` characters of the value of `key` in `section`; `fallback`
// when the file, the section or the key is missing.
std::string GetString(const std::string& section, const std::string& key,
                      const std::string& fallback, std::size_t maxChars, const std::string& file);

// At most `maxChars` characters of the value of `key` in `section`; nothing
// when the file, the section or the key is missing, or when the file cannot
// be read or (Linux) holds the section or the key twice, which `error` then
// tells (it is left empty otherwise).
std::optional<std::string> FindString(const std::string& section, const std::string& key,
                                      std::size_t maxChars, const std::string& file,
                                      std::string* error = nullptr);

// The whole text of the settings file, for settings read with the INI rules
// of ini_text.h (ini::FindValue) on every platform: empty when the file does
// not exist; false, with the reason in `error`, when it exists but cannot be
// read, is not a regular file, or is larger than a settings file can be.
bool ReadSettingsText(const std::string& file, std::string& text, std::string* error);

// Sets the value, creating the file, section or key when missing and keeping
// everything else in the file (on Windows, a bare name that the Windows
// directory cannot take goes to the user's folder). A crash or a full disk
// never leaves a broken file, and (Linux) a file that holds the section or
// the key twice is left as it is. On failure returns false and says why in
// `error`.
bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& file, std::string* error);

// Replaces `file` (its directories made when missing) with `text`: readers
// see the old file or the new one, never a part, and a crash leaves at most
// one temporary file beside it, which the next call clears away. A new
// file is readable by all. False, with the reason, when it cannot.
bool ReplaceFile(const std::string& file, const std::string& text, std::string* error);

} // namespace profile
