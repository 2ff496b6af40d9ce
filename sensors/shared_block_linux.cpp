#include "shared_block.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
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
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = other.release();
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string ErrnoText(const char* what, const std::string& name) {
    return std::string(what) + " " + name + ": " + std::strerror(errno);
}

constexpr mode_t kPublishedMode = 0644; // the owner writes, everyone reads

std::string UserName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

// The whole block, for the publisher's lock: an open-file-description lock,
// which a reader can test without taking it (F_OFD_GETLK), so that reading
// never keeps a publisher from starting.
flock WholeBlock(short type) {
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

bool HeldByAnother(int fd) {
    flock lock = WholeBlock(F_RDLCK);
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why a block that was already there is not one this process may publish
// into; empty when it is (its own, readable by all, writable by it alone).
std::string Foreign(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return "it is not a shared-memory block";
    if (st.st_uid != ::geteuid())
        return "it belongs to " + UserName(st.st_uid) + " (mode " + ModeText(st.st_mode) + ")";
    if ((st.st_mode & 07777) != kPublishedMode)
        return "its mode is " + ModeText(st.st_mode) + ", not " + ModeText(kPublishedMode);
    return {};
}

} // namespace

const char* SensorBlockName() {
    return "/$M$B$M$5$S$D$";
}

const char* PublisherName() {
    return "korvid-hwmon";
}

namespace {

// The block last found live stays open, and the next read asks only
// whether its publisher still holds it: five system calls a read become two.
// A block its publisher has let go (ended, or made anew under the name) is
// looked up by name again.
struct OpenBlock {
    std::string name;
    Fd fd{-1};
    bool othersMayWrite = false;
};
OpenBlock openBlock;

bool ReadWhole(int fd, void* dest, std::size_t length) {
    auto* bytes = static_cast<char*>(dest);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, bytes + done, length - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done == length;
}

} // namespace

BlockStatus CopySharedBlock(const char* name, void* dest, std::size_t length) {
    BlockStatus status;
    if (openBlock.fd.get() >= 0 && openBlock.name == name && HeldByAnother(openBlock.fd.get())) {
        status.othersMayWrite = openBlock.othersMayWrite;
        status.state =
            ReadWhole(openBlock.fd.get(), dest, length) ? BlockState::Live : BlockState::Unusable;
        if (status.state == BlockState::Live) return status;
        std::memset(dest, 0, length);
        return status;
    }
    openBlock.fd = Fd(-1);
    // Not blocking: anyone can plant a FIFO under the block's name.
    Fd fd(::shm_open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
    if (fd.get() < 0) {
        status.state = errno == ENOENT ? BlockState::Absent : BlockState::Unusable;
        return status;
    }
    struct stat st {};
    status.state = BlockState::Unusable;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return status;
    status.othersMayWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    // A block outlives the process that made it; its publisher holds a lock
    // on it while it runs, and without one the readings are stale.
    if (!HeldByAnother(fd.get())) {
        status.state = BlockState::Abandoned;
        return status;
    }
    // Read, not mapped: a publisher may shrink the block at any moment, and
    // touching a mapped page past the new end raises SIGBUS. A read just
    // comes up short.
    if (ReadWhole(fd.get(), dest, length)) {
        status.state = BlockState::Live;
        openBlock = {name, std::move(fd), status.othersMayWrite};
        return status;
    }
    std::memset(dest, 0, length);
    return status;
}

std::unique_ptr<SharedBlockWriter> SharedBlockWriter::Create(const std::string& name,
                                                             std::size_t size, std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = ErrnoText(what, name);
        return nullptr;
    };
    Fd fd(::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kPublishedMode));
    if (fd.get() >= 0) {
        ::fchmod(fd.get(), kPublishedMode); // whatever the umask, readers need read access
    } else if (errno == EEXIST) {
        // Only a block of this user's own, that nobody else may write, is
        // published into: a planted one would let its owner rewrite every
        // reading the displays show.
        fd = Fd(::shm_open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK, 0));
        const bool writable = fd.get() >= 0;
        if (!writable && errno == EACCES) // read it only to say whose it is
            fd = Fd(::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
        if (fd.get() < 0) return fail("cannot open the existing block");
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) return fail("cannot examine the existing block");
        if (const std::string why = Foreign(st); !why.empty() || !writable) {
            if (error)
                *error = name + " is there already and " + (why.empty() ? "not writable" : why) +
                         "; not publishing into a block that another user may write";
            return nullptr;
        }
    } else {
        return fail("cannot create shared memory");
    }
    if (::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) return fail("cannot size");
    std::unique_ptr<SharedBlockWriter> block(new SharedBlockWriter(name, size));
    block->handle_ = fd.release();
    return block;
}

SharedBlockWriter::~SharedBlockWriter() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    if (removeOnDestroy_) Remove();
}

// Written, not mapped: a mapped page that someone truncates away raises
// SIGBUS in the writer; a write just grows the block again.
bool SharedBlockWriter::Write(const void* data, std::size_t length, std::size_t offset) {
    if (offset > size_ || length > size_ - offset) return false;
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < length;) {
        const ssize_t n = ::pwrite(static_cast<int>(handle_), bytes + done, length - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SharedBlockWriter::TryHoldExclusively() {
    flock lock = WholeBlock(F_WRLCK);
    if (::fcntl(static_cast<int>(handle_), F_OFD_SETLK, &lock) == 0) return true;
    // Who holds it: a publisher holds a write lock; a read lock is a
    // reader's, whoever it is, and says nothing about the readings.
    flock held = WholeBlock(F_WRLCK);
    if (::fcntl(static_cast<int>(handle_), F_OFD_GETLK, &held) != 0 || held.l_type != F_RDLCK)
        return false;
    return Renew() && ::fcntl(static_cast<int>(handle_), F_OFD_SETLK, &lock) == 0;
}

// A new block under the name, this one's old block left to whoever still
// has it open.
bool SharedBlockWriter::Renew() {
    ::shm_unlink(name_.c_str());
    Fd fd(::shm_open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kPublishedMode));
    if (fd.get() < 0) return false;
    ::fchmod(fd.get(), kPublishedMode);
    if (::ftruncate(fd.get(), static_cast<off_t>(size_)) != 0) return false;
    ::close(static_cast<int>(handle_));
    handle_ = fd.release();
    return true;
}

bool SharedBlockWriter::KeepPublished(std::string* mended, std::string* error) {
    const int own = static_cast<int>(handle_);
    struct stat mine {};
    if (::fstat(own, &mine) == 0 && static_cast<std::size_t>(mine.st_size) < size_ &&
        ::ftruncate(own, static_cast<off_t>(size_)) == 0 && mended)
        *mended = name_ + " was cut short; made whole again";
    Fd named(::shm_open(name_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
    struct stat found {};
    if (named.get() >= 0 && ::fstat(named.get(), &found) == 0 && found.st_dev == mine.st_dev &&
        found.st_ino == mine.st_ino)
        return true;
    if (named.get() >= 0) {
        if (HeldByAnother(named.get())) {
            if (error) *error = "another publisher has taken " + name_;
            return false;
        }
        if (const std::string why = Foreign(found); !why.empty()) {
            if (error) *error = name_ + " has been replaced, and " + why;
            return false;
        }
    }
    const bool removed = named.get() < 0;
    flock lock = WholeBlock(F_WRLCK);
    if (!Renew() || ::fcntl(static_cast<int>(handle_), F_OFD_SETLK, &lock) != 0) {
        if (error) *error = ErrnoText("cannot publish again", name_);
        return false;
    }
    if (mended)
        *mended = name_ + (removed ? " was removed" : " was replaced by a block nobody publishes") +
                  "; published again";
    return true;
}

void SharedBlockWriter::Remove() {
    if (removed_) return;
    removed_ = true;
    ::shm_unlink(name_.c_str());
}

} // namespace modMBMAccess
