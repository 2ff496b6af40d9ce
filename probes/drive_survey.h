#pragma once

// The machine's fixed drives, with their size and free space.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Between a drive row's size and free texts; the report finds the free text
// after it (a decimal comma inside a figure is never followed by five spaces).
inline constexpr std::string_view kDriveFieldSeparator = ",     ";

struct FixedDrive {
    std::string Root;             // drive letter and colon, "C:"
    std::uint64_t TotalBytes = 0; // 0 when the size query failed
    std::uint64_t FreeBytes = 0;  // all free bytes, not only those a user may take
    std::string Location;         // where the operator finds it: mount point or root
};

// Every fixed drive in drive-letter order (drives_linux.cpp, drives_win32.cpp).
std::vector<FixedDrive> SurveyFixedDrives();

// The row the drive list shows: "Drive ", the root, 24 spaces, the size in
// gigabytes, a comma and five spaces, and the free space in gigabytes.
std::string DriveRowText(const FixedDrive& drive, char decimalSeparator);
