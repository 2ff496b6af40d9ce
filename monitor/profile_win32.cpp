#include "profile.h"

#include <algorithm>
#include <vector>
// windows.h first: shlobj.h builds on its types.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

namespace profile {

namespace {

// The user's own settings folder: %APPDATA%\Korvid Halvane.
std::string UserFolder() {
    char appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return {};
    return std::string(appData) + "\\Korvid Halvane";
}

bool IsFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A bare file name is one the profile functions keep in the Windows directory.
bool IsBare(const std::string& file) {
    return file.find_first_of("\\/:") == std::string::npos;
}

} // namespace

// The bare name, so that a file that earlier copies saved in the Windows
// directory still loads; once a save had to go to the user's own folder,
// that copy is read first.
std::string SettingsFilePath(const std::string& fileName) {
    const std::string folder = UserFolder();
    const std::string own = folder + "\\" + fileName;
    return !folder.empty() && IsFile(own) ? own : fileName;
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

// A standard user cannot write the Windows directory, and a 64-bit program
// gets no virtualised copy of it: a bare name that cannot be written there
// goes to the user's own folder, starting from what the Windows directory's
// file held.
bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& file, std::string* error) {
    if (::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()))
        return true;
    const DWORD code = ::GetLastError();
    const std::string folder = IsBare(file) ? UserFolder() : std::string();
    if (!folder.empty()) {
        ::CreateDirectoryA(folder.c_str(), nullptr);
        const std::string own = folder + "\\" + file;
        char windows[MAX_PATH] = {};
        if (::GetWindowsDirectoryA(windows, sizeof windows) > 0)
            ::CopyFileA((std::string(windows) + "\\" + file).c_str(), own.c_str(), TRUE);
        if (::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), own.c_str()))
            return true;
    }
    if (error)
        *error = "cannot write " + file + " (error " + std::to_string(code) + ")" +
                 (folder.empty() ? ""
                                 : " nor " + folder + "\\" + file + " (error " +
                                       std::to_string(::GetLastError()) + ")");
    return false;
}

} // namespace profile
