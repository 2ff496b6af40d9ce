// fake-hwinfo: stands in for HWiNFO with "Shared Memory Support" on, for
// korvid-hwmon.exe's end-to-end test under Wine. It shares made-up readings
// under HWiNFO's mapping name, in elements larger than korvid-hwmon knows
// (as a later version's are), and polls every second, until a line on
// stdin says otherwise:
//   stale  stop polling (the poll time grows old)
//   live   poll again
//   dead   mark the memory stopped, as HWiNFO does when it ends
//   end    end (as at the end of stdin)
#include "tools/hwinfo_memory.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <thread>
#include <windows.h>

int main() {
    HwinfoMemory memory;
    memory.extra = 24;
    memory.period = 1000;
    memory.sensors = {{0xF0000300, "CPU [#0]: Sample CPU"}, {0xF0000400, "GPU [#0]: Sample GPU"}};
    memory.readings = {{1, 0, 0x1000000, "CPU (Tctl/Tdie)",
                        "\xB0"
                        "C",
                        46.5},
                       {3, 1, 0x3000000, "GPU Fan1", "RPM", 1100},
                       {7, 0, 0x7000000, "Total CPU Usage", "%", 12}};
    const std::size_t size = memory.Bytes().size();
    const HANDLE mapping =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                             static_cast<DWORD>(size), "Global\\HWiNFO_SENS_SM2");
    char* view =
        mapping ? static_cast<char*>(::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    if (!view) {
        std::fprintf(stderr, "fake-hwinfo: cannot share the memory (error %lu)\n",
                     ::GetLastError());
        return 1;
    }
    std::atomic<int> state{0}; // 0 live, 1 stale, 2 dead, 3 ending
    std::thread poll([&] {
        for (int round = 0; state != 3; ++round) {
            if (state == 0) memory.pollTime = static_cast<std::int64_t>(std::time(nullptr));
            memory.signature = state == 2 ? 0x44414544 /* DEAD */ : 0x53695748 /* HWiS */;
            const std::string bytes = memory.Bytes();
            std::memcpy(view, bytes.data(), bytes.size());
            if (round == 0) std::printf("sharing\n"), std::fflush(stdout);
            ::Sleep(250);
        }
    });
    for (std::string line; std::getline(std::cin, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "end") break;
        state = line == "stale" ? 1 : line == "dead" ? 2 : 0;
    }
    state = 3;
    poll.join();
    return 0;
}
