#include "options.h"
#include "table_file.h"

#include <windows.h>

namespace hwmon {

std::optional<std::string> ReadTable(const std::string& path, Warnings& warnings) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        warnings.push_back("cannot read " + Shown(path) + " (error " +
                           std::to_string(::GetLastError()) + ")");
        return std::nullopt;
    }
    auto refuse = [&](const std::string& why) -> std::optional<std::string> {
        warnings.push_back(why);
        ::CloseHandle(file);
        return std::nullopt;
    };
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size))
        return refuse(Shown(path) + " is not a regular file, not a table file");
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxTableBytes)
        return refuse(Shown(path) + " is larger than 1 MiB; the table is refused");
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    if (!text.empty() &&
        !::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr))
        return refuse("cannot read " + Shown(path) + " (error " + std::to_string(::GetLastError()) +
                      ")");
    ::CloseHandle(file);
    text.resize(done);
    return text;
}

std::string FileSignature(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
    return std::to_string(data.nFileSizeHigh) + ":" + std::to_string(data.nFileSizeLow) + ":" +
           std::to_string(data.ftLastWriteTime.dwHighDateTime) + "." +
           std::to_string(data.ftLastWriteTime.dwLowDateTime);
}

} // namespace hwmon
