#include "table_file.h"

#include "options.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace hwmon {

std::optional<std::string> ReadTable(const std::string& path, Warnings& warnings,
                                     const volatile std::sig_atomic_t& stop) {
    int fd;
    while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR)
        if (stop) return std::nullopt;
    if (fd < 0) {
        warnings.push_back("cannot read " + Shown(path) + ": " + std::strerror(errno));
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    bool ok = true;
    while (ok && !stop) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            warnings.push_back("cannot read " + Shown(path) + ": " + std::strerror(errno));
            ok = false;
        }
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxTableBytes) {
            warnings.push_back(Shown(path) + " is larger than 1 MiB; the table is refused");
            ok = false;
        }
    }
    ::close(fd);
    if (!ok || stop) return std::nullopt;
    return text;
}

} // namespace hwmon
