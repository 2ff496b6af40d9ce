// publish-table: publishes the "name value" lines of a table file into the
// sensor block, as a hardware monitor does on Windows, and holds it for a
// while (a Windows file mapping lives as long as a handle to it). For trying
// the program on Windows, or under Wine, without a hardware monitor.
//
//   publish-table FILE [SECONDS]     holds the block SECONDS (default 600)

#include "readings.h"
#include "shared_block.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: publish-table FILE [SECONDS]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "publish-table: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    hwmon::Warnings warnings;
    const auto snapshot = hwmon::BuildSnapshot(hwmon::ParseTable(text.str(), &warnings), &warnings);
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "publish-table: %s\n", warning.c_str());

    std::string error;
    auto block = modMBMAccess::SharedBlockWriter::Create(modMBMAccess::SensorBlockName(),
                                                         sizeof snapshot, &error);
    if (!block) {
        std::fprintf(stderr, "publish-table: %s\n", error.c_str());
        return 1;
    }
    block->Write(&snapshot, sizeof snapshot);
    std::printf("publish-table: published %s\n", argv[1]);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(argc == 3 ? std::atoi(argv[2]) : 600));
    return 0;
}
