#include "small_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

} // namespace

SmallFile ReadSmallFile(const std::string& path, std::size_t maxBytes) {
    SmallFile file;
    using Found = SmallFile::Found;
    // Not blocking: opening a FIFO planted under the name would wait for a
    // writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        file.found = errno == ENOENT ? Found::Missing : Found::Unreadable;
        file.what = std::strerror(errno);
        return file;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        file.found = Found::Unreadable;
        file.what = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        file.found = Found::NotAFile;
        file.what = KindOf(st.st_mode);
    } else if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        file.found = Found::TooLarge;
    } else {
        file.found = Found::Text;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                file.found = Found::Unreadable;
                file.what = std::strerror(errno);
            }
            if (n <= 0) break;
            file.text.append(buffer, static_cast<std::size_t>(n));
            if (file.text.size() > maxBytes) { // it grew while read
                file.found = Found::TooLarge;
                break;
            }
        }
        if (file.found != Found::Text) file.text.clear();
    }
    ::close(fd);
    return file;
}

std::string FileSignature(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

} // namespace profile
