#include "shared_block.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace modMBMAccess {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string ErrnoText(const char* what, const std::string& name) {
    return std::string(what) + " " + name + ": " + std::strerror(errno);
}

} // namespace

const char* SensorBlockName() {
    return "/$M$B$M$5$S$D$";
}

bool CopySharedBlock(const char* name, void* dest, std::size_t length) {
    Fd fd(::shm_open(name, O_RDONLY | O_CLOEXEC, 0));
    if (fd.get() < 0) return false;
    // Touching a page past the end of a short object raises SIGBUS, so the
    // object's size is checked before the mapping is read.
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || st.st_size < 0 ||
        static_cast<std::size_t>(st.st_size) < length)
        return false;
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd.get(), 0);
    if (view == MAP_FAILED) return false;
    std::memcpy(dest, view, length);
    ::munmap(view, length);
    return true;
}

std::unique_ptr<SharedBlockWriter> SharedBlockWriter::Create(const std::string& name,
                                                             std::size_t size, std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = ErrnoText(what, name);
        return nullptr;
    };
    Fd fd(::shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) return fail("cannot create shared memory");
    ::fchmod(fd.get(), 0644); // whatever the umask, readers need read access
    if (::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) return fail("cannot size");
    void* view = size == 0 ? nullptr
                           : ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (view == MAP_FAILED) return fail("cannot map");
    std::unique_ptr<SharedBlockWriter> block(new SharedBlockWriter(name, size));
    block->view_ = view;
    block->handle_ = fd.release();
    return block;
}

SharedBlockWriter::~SharedBlockWriter() {
    if (view_) ::munmap(view_, size_);
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    if (removeOnDestroy_) Remove();
}

bool SharedBlockWriter::Write(const void* data, std::size_t length, std::size_t offset) {
    if (offset > size_ || length > size_ - offset) return false;
    if (length == 0) return true;
    std::memcpy(static_cast<char*>(view_) + offset, data, length);
    return true;
}

bool SharedBlockWriter::TryHoldExclusively() {
    return ::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0;
}

void SharedBlockWriter::Remove() {
    if (removed_) return;
    removed_ = true;
    ::shm_unlink(name_.c_str());
}

} // namespace modMBMAccess
