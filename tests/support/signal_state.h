#pragma once

// Whether another process takes a signal yet (Linux), so that a test sends
// it to the program rather than to the moment before its main() runs.

#include <chrono>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <thread>

namespace testing_support {

// Whether `pid` has `signal` blocked or caught; waits up to 20 s for it.
inline bool TakesSignal(pid_t pid, int signal) {
    for (int i = 0; i < 2000; ++i) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        unsigned long long taken = 0;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigCgt:", 0) == 0)
                taken |= std::stoull(line.substr(7), nullptr, 16);
        if (taken & (1ULL << (signal - 1))) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace testing_support
