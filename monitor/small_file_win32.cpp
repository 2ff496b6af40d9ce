#include "small_file.h"

#include <windows.h>

namespace profile {

SmallFile ReadSmallFile(const std::string& path, std::size_t maxBytes) {
    SmallFile file;
    using Found = SmallFile::Found;
    auto failed = [&](DWORD code) {
        file.found = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                         ? Found::Missing
                         : Found::Unreadable;
        file.what = "error " + std::to_string(code);
        return file;
    };
    // A directory cannot be opened as a file: tell it by its attributes.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        file.found = Found::NotAFile;
        file.what = "a directory";
        return file;
    }
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failed(::GetLastError());
    LARGE_INTEGER size{};
    const DWORD type = ::GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        file.found = Found::NotAFile;
        file.what = type == FILE_TYPE_PIPE   ? "a pipe"
                    : type == FILE_TYPE_CHAR ? "a device"
                                             : "not a regular file";
    } else if (!::GetFileSizeEx(handle, &size)) {
        failed(::GetLastError());
    } else if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        file.found = Found::TooLarge;
    } else {
        file.text.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD done = 0;
        if (file.text.empty() || ::ReadFile(handle, file.text.data(),
                                            static_cast<DWORD>(file.text.size()), &done, nullptr)) {
            file.found = Found::Text;
            file.text.resize(done);
        } else {
            failed(::GetLastError());
            file.text.clear();
        }
    }
    ::CloseHandle(handle);
    return file;
}

std::string FileSignature(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
    return std::to_string(data.nFileSizeHigh) + ":" + std::to_string(data.nFileSizeLow) + ":" +
           std::to_string(data.ftLastWriteTime.dwHighDateTime) + "." +
           std::to_string(data.ftLastWriteTime.dwLowDateTime);
}

} // namespace profile
