#include "computer_name.h"

#include <climits>
#include <unistd.h>

std::string ComputerName() {
    // Room for the longest name Linux allows and its NUL: gethostname()
    // fails on a buffer that holds the name without it.
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name) != 0) return {};
    return name;
}
