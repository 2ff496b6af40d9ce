#include "console.h"

#include <cstdlib>

void UseParentConsole() {}

std::string WhyNoWindow() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland))
        return "there is no display (DISPLAY and WAYLAND_DISPLAY are not set)";
    return std::string("the display ") + (display && *display ? display : wayland) +
           " cannot be reached";
}
