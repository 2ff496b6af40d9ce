#include "ini_text.h"
#include "profile.h"
#include "small_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {

namespace {

// A settings file larger than this is not one (it holds a few dozen bytes);
// reading it whole would only cost memory.
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
// Links followed to the file, as the kernel does for a path (ELOOP).
constexpr int kMaxLinks = 40;

std::string Reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The whole file at `path` (links followed), or false with the reason. A
// missing file reads as empty (a link to a missing one is an error).
bool ReadAll(const std::string& path, std::string& text, std::string* why) {
    SmallFile file = ReadSmallFile(path, kMaxFileBytes);
    text = std::move(file.text);
    switch (file.found) {
    case SmallFile::Found::Text:
        return true;
    case SmallFile::Found::Missing: {
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0) return true;
        *why = path + " is a symbolic link to a file that does not exist";
        return false;
    }
    case SmallFile::Found::Unreadable:
        *why = path + ": " + file.what;
        return false;
    case SmallFile::Found::NotAFile:
        *why = path + " is " + file.what + ", not a settings file";
        return false;
    case SmallFile::Found::TooLarge:
        break;
    }
    *why = path + " is larger than 16 MiB, too large for a settings file";
    return false;
}

// The file that `path` names once symbolic links are followed; it need not
// exist. A save replaces that file, so a linked settings file stays linked.
bool ResolveLinks(std::string path, std::string& target, std::string* why) {
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = path;
            return true;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0) {
            if (n == 0) errno = ENOENT;
            *why = Reason(path);
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        if (link.front() != '/') link.insert(0, DirectoryOf(path) + "/");
        path = std::move(link);
    }
    errno = ELOOP;
    *why = Reason(path);
    return false;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void MakeDirectories(const std::string& dir) {
    for (std::size_t slash = dir.find('/', 1); slash != std::string::npos;
         slash = dir.find('/', slash + 1))
        ::mkdir(dir.substr(0, slash).c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
}

void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

std::string SettingsFilePath(const std::string& fileName) {
    std::string dir;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        dir = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dir = std::string(home) + "/.config";
    else
        dir = ".";
    return dir + "/" + fileName;
}

std::string GetString(const std::string& section, const std::string& key,
                      const std::string& fallback, std::size_t maxChars, const std::string& file) {
    return FindString(section, key, maxChars, file).value_or(fallback.substr(0, maxChars));
}

std::optional<std::string> FindString(const std::string& section, const std::string& key,
                                      std::size_t maxChars, const std::string& file,
                                      std::string* error) {
    std::string text, why;
    if (error) error->clear();
    if (!ReadAll(file, text, &why)) {
        if (error) *error = why;
        return std::nullopt;
    }
    auto value = ini::FindValue(text, section, key, &why);
    if (!why.empty() && error) *error = file + ": " + why;
    if (value) value->resize(std::min(value->size(), maxChars));
    return value;
}

bool ReadSettingsText(const std::string& file, std::string& text, std::string* error) {
    std::string why;
    if (ReadAll(file, text, &why)) return true;
    if (error) *error = why;
    return false;
}

bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& file, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string target, text, why;
    if (!ResolveLinks(file, target, &why)) return fail(why);
    if (!ReadAll(target, text, &why)) return fail(why + "; not replacing it");
    if (const std::string twice = ini::Ambiguity(text, section, key); !twice.empty())
        return fail(file + ": " + twice + "; mend it by hand");
    return ReplaceFile(target, ini::SetValue(text, section, key, value), error);
}

bool ReplaceFile(const std::string& file, const std::string& text, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const std::string dir = DirectoryOf(file);
    MakeDirectories(dir);
    // Written beside the file under one fixed name and renamed over it:
    // readers see the old file or the new one, never a part, and a write cut
    // short by a crash leaves at most this one file, which the next write
    // clears away first.
    const std::string temp = file + ".saving";
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return fail(Reason("cannot create " + temp));
    struct stat st {};
    ::fchmod(fd, ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    std::string why = ok ? std::string() : Reason("cannot write " + file);
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = Reason("cannot write " + file);
    }
    if (ok && ::rename(temp.c_str(), file.c_str()) != 0) {
        ok = false;
        why = Reason("cannot replace " + file);
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(why);
    }
    SyncDirectory(dir);
    return true;
}

} // namespace profile
