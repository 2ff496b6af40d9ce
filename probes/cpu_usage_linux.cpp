#include "proc_stat.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// /proc/stat, kept open: every read from offset 0 gives the counters of that
// moment. The aggregate "cpu" line and the "cpu0" line open the file; the
// first few kilobytes always hold both, however many processors there are.
class ProcStatFile {
public:
    ProcStatFile() : fd_(::open("/proc/stat", O_RDONLY | O_CLOEXEC)) {}
    ~ProcStatFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    ProcStatFile(const ProcStatFile&) = delete;
    ProcStatFile& operator=(const ProcStatFile&) = delete;

    std::optional<std::string> Read() const {
        if (fd_ < 0) return std::nullopt;
        std::string text(4096, '\0');
        const ssize_t n = ::pread(fd_, text.data(), text.size(), 0);
        if (n <= 0) return std::nullopt;
        text.resize(static_cast<std::size_t>(n));
        return text;
    }

private:
    int fd_;
};

} // namespace

std::unique_ptr<CpuLoadSource> MakeSystemCpuLoadSource() {
    auto file = std::make_shared<ProcStatFile>();
    return std::make_unique<ProcStatLoad>([file] { return file->Read(); });
}
