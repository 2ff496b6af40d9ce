#include "profile.h"

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

bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& file, std::string* error) {
    if (::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()))
        return true;
    if (error)
        *error = "cannot write " + file + " (error " + std::to_string(::GetLastError()) + ")";
    return false;
}

} // namespace profile
