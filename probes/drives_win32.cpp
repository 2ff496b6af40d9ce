#include "drive_survey.h"

#include <cctype>
#include <windows.h>

std::vector<FixedDrive> SurveyFixedDrives() {
    char buffer[256];
    std::fill(buffer, buffer + 255, ' ');
    buffer[255] = '\0';
    // Roots come as "C:\" and a NUL each; a count beyond the buffer means it
    // was too small and nothing was written.
    const DWORD written = ::GetLogicalDriveStringsA(255, buffer);
    const DWORD n = written <= 255 ? written : 0;

    std::vector<FixedDrive> drives;
    for (DWORD p = 0; p + 2 < n; p += 4) {
        std::string root(buffer + p, 3);
        for (char& c : root)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (::GetDriveTypeA(root.c_str()) != DRIVE_FIXED) continue;
        ULARGE_INTEGER available{}, total{}, free{};
        ::GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free);
        drives.push_back({root.substr(0, 2), total.QuadPart, free.QuadPart, root});
    }
    return drives;
}
