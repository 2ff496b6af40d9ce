#include "console.h"

#include <cstdio>
#include <windows.h>

void UseParentConsole() {
    // Output already redirected (to a file or a pipe) is left where it goes.
    if (::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN) return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

std::string WhyNoWindow() {
    return "Qt's window system plugin (platforms\\qwindows.dll beside the program) did not load";
}
