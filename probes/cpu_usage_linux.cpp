#include "proc_stat.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// The aggregate "cpu" line and the "cpu0" line open the file; the first few
// kilobytes always hold both, however many processors the machine has.
std::optional<std::string> ReadProcStat() {
    const int fd = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text(4096, '\0');
    const ssize_t n = ::read(fd, text.data(), text.size());
    ::close(fd);
    if (n <= 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(n));
    return text;
}

} // namespace

std::unique_ptr<CpuLoadSource> MakeSystemCpuLoadSource() {
    return std::make_unique<ProcStatLoad>(ReadProcStat);
}
