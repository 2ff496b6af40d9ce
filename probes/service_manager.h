#pragma once

// What the system's service manager is told: on Linux, systemd's readiness
// notice for a Type=notify unit (service_manager_linux.cpp); on Windows,
// nothing (service_manager_win32.cpp).

// Says that the program is up and takes its requests; nothing when no
// service manager asks (NOTIFY_SOCKET unset).
void TellServiceManagerReady();
