#include "profile.h"
#include "small_file.h"

#include <algorithm>
#include <vector>
// windows.h first: shlobj.h builds on its types.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// <windows.h> names ReplaceFileA so; this file defines profile::ReplaceFile,
// which callers without <windows.h> know by that name.
#undef ReplaceFile
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

// The file where the profile functions find it: a bare name in the Windows
// directory.
bool ReadSettingsText(const std::string& file, std::string& text, std::string* error) {
    text.clear();
    std::string path = file;
    if (IsBare(file)) {
        char windows[MAX_PATH] = {};
        if (::GetWindowsDirectoryA(windows, sizeof windows) == 0) return true;
        path = std::string(windows) + "\\" + file;
    }
    auto fail = [&](const std::string& why) {
        if (error) *error = path + why;
        return false;
    };
    SmallFile found = ReadSmallFile(path, std::size_t{16} << 20);
    text = std::move(found.text);
    switch (found.found) {
    case SmallFile::Found::Text:
    case SmallFile::Found::Missing:
        return true;
    case SmallFile::Found::Unreadable:
        return fail(": cannot be read (" + found.what + ")");
    case SmallFile::Found::NotAFile:
        return fail(" is " + found.what + ", not a settings file");
    case SmallFile::Found::TooLarge:
        break;
    }
    return fail(" is larger than 16 MiB, too large for a settings file");
}

bool ReplaceFile(const std::string& file, const std::string& text, std::string* error) {
    const auto slash = file.find_last_of("\\/");
    if (slash != std::string::npos)
        ::SHCreateDirectoryExA(nullptr, file.substr(0, slash).c_str(), nullptr);
    const std::string temp = file + ".saving";
    ::DeleteFileA(temp.c_str());
    const HANDLE handle = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok =
        handle != INVALID_HANDLE_VALUE &&
        ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && ::FlushFileBuffers(handle);
    DWORD code = ::GetLastError();
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    if (ok && !::MoveFileExA(temp.c_str(), file.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        code = ::GetLastError();
    }
    if (ok) return true;
    ::DeleteFileA(temp.c_str());
    if (error) *error = "cannot write " + file + " (error " + std::to_string(code) + ")";
    return false;
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
