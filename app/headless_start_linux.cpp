#include "headless.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kServiceProgram = "korvid-halvaned";

// The directory of this program's own file.
std::string OwnDirectory() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    const std::string self(path, static_cast<std::size_t>(n));
    return self.substr(0, self.rfind('/'));
}

} // namespace

// The window's program carries Qt's GUI libraries; the service's program does
// not. It is found beside this one (a build tree) or where the package
// installs it, and replaces this process, which keeps its id for systemd.
int StartHeadless(int, char** argv, const StartOptions&) {
    std::string program = OwnDirectory() + "/" + kServiceProgram;
    if (::access(program.c_str(), X_OK) != 0)
        program = std::string(KORVID_LIBEXECDIR) + "/" + kServiceProgram;
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "%s: cannot start the headless service %s: %s\n", argv[0], program.c_str(),
                 std::strerror(errno));
    return 1;
}
