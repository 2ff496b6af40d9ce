#include "profile.h"

#include <algorithm>
#include <vector>
#include <windows.h>

namespace profile {

std::string SettingsFilePath(const std::string& fileName) {
    return fileName;
}

std::string GetString(const std::string& section, const std::string& key,
                      const std::string& fallback, std::size_t maxChars, const std::string& file) {
    std::vector<char> buffer(maxChars + 1, '\0');
    const DWORD n =
        ::GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                   static_cast<DWORD>(buffer.size()), file.c_str());
    return std::string(buffer.data(), n);
}

std::optional<std::string> FindString(const std::string& section, const std::string& key,
                                      std::size_t maxChars, const std::string& file,
                                      std::string* error) {
    if (error) error->clear();
    // No stored value starts with this control character: getting it back
    // means the file, the section or the key is missing.
    const std::string missing = "\x01";
    std::string value = GetString(section, key, missing, std::max<std::size_t>(maxChars, 1), file);
    if (value == missing) return std::nullopt;
    value.resize(std::min(value.size(), maxChars));
    return value;
}

bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& file, std::string* error) {
    if (::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()))
        return true;
    if (error)
        *error = "cannot write " + file + " (error " + std::to_string(::GetLastError()) + ")";
    return false;
}

} // namespace profile
