#pragma once

// A small file read whole, as settings and tables are: only a regular file
// of bounded size, and never one that would hold the reader (a FIFO, a
// device). The system's calls are in small_file_linux.cpp and
// small_file_win32.cpp; callers say what the file was meant to be.

#include <cstddef>
#include <string>

namespace profile {

struct SmallFile {
    enum class Found { Text, Missing, Unreadable, NotAFile, TooLarge };
    Found found = Found::Missing;
    std::string text; // Text: all of it
    // NotAFile: what it is instead ("a FIFO", "a directory"…);
    // Unreadable: the system's reason.
    std::string what;
};

// Links are followed. A file that grows past `maxBytes` while it is read is
// TooLarge too.
SmallFile ReadSmallFile(const std::string& path, std::size_t maxBytes);

// What the file is now (which file, its size, when it was changed), to tell
// when to read it again; empty when there is none.
std::string FileSignature(const std::string& path);

} // namespace profile
