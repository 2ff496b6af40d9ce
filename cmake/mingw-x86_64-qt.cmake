# Cross-building the whole program for 64-bit Windows with Debian's MinGW-w64
# and a Qt built for it: QT_MINGW_PREFIX names the unpacked Qt (its bin,
# lib, plugins). The C++ runtime is linked as Qt's DLLs link it, dynamically;
# Qt's host tools (moc, rcc, uic) come from Debian's Qt (QT_HOST_PATH).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QT_MINGW_PREFIX)
if(QT_MINGW_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH ${QT_MINGW_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
