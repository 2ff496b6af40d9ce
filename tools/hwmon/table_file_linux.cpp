#include "options.h"
#include "table_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hwmon {

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

} // namespace

std::optional<std::string> ReadTable(const std::string& path, Warnings& warnings) {
    // Not blocking: a FIFO planted under the name must not hold the publisher.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        warnings.push_back("cannot read " + Shown(path) + ": " + std::strerror(errno));
        return std::nullopt;
    }
    auto refuse = [&](const std::string& why) -> std::optional<std::string> {
        warnings.push_back(why);
        ::close(fd);
        return std::nullopt;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return refuse("cannot read " + Shown(path) + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return refuse(Shown(path) + " is " + KindOf(st.st_mode) + ", not a table file");
    const std::string tooLarge = Shown(path) + " is larger than 1 MiB; the table is refused";
    if (static_cast<std::size_t>(st.st_size) > kMaxTableBytes) return refuse(tooLarge);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse("cannot read " + Shown(path) + ": " + std::strerror(errno));
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxTableBytes) return refuse(tooLarge); // it grew while read
    }
    ::close(fd);
    return text;
}

std::string FileSignature(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

} // namespace hwmon
