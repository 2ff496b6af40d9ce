#pragma once

// The terminal that started the program. A Windows program built for the GUI
// has no console of its own; it borrows its parent's, when it was started
// from one, so that --help, --version and --headless can be read there
// (console_win32.cpp). Elsewhere there is nothing to do.
void UseParentConsole();

#include <string>

// Why no window could be opened, in the platform's terms: on Linux, no
// display named or the named one not reachable.
std::string WhyNoWindow();
