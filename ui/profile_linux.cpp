#include "ini_text.h"
#include "profile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {

namespace {

std::string Reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The whole file, or nothing when it cannot be read (a missing file is empty).
bool ReadAll(const std::string& path, std::string& text) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return n == 0;
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
    std::string text;
    if (!ReadAll(file, text)) return fallback.substr(0, maxChars);
    const auto value = ini::FindValue(text, section, key);
    return (value ? *value : fallback).substr(0, maxChars);
}

bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& file, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string text;
    if (!ReadAll(file, text)) return fail(Reason("cannot read " + file));
    const std::string updated = ini::SetValue(text, section, key, value);

    const auto slash = file.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeDirectories(file.substr(0, slash));
    // Written beside the file and renamed over it: readers see the old file
    // or the new one, never a part.
    std::string temp = file + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(Reason("cannot create a file beside " + file));
    struct stat st {};
    ::fchmod(fd, ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    bool ok = WriteAll(fd, updated) && ::fsync(fd) == 0;
    std::string why = ok ? std::string() : Reason("cannot write " + file);
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = Reason("cannot write " + file);
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(why);
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const std::string why = Reason("cannot replace " + file);
        ::unlink(temp.c_str());
        return fail(why);
    }
    return true;
}

} // namespace profile
