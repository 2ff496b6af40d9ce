// publish-table: publishes the "name value" lines of a table file into the
// sensor block, as a hardware monitor does on Windows, and keeps it there,
// reading the file again every second, until it is closed (Ctrl+C) or the
// given time is up: a Windows file mapping lives as long as a handle to it.
// For trying the program on Windows, or under Wine, without a hardware
// monitor.
//
//   publish-table FILE [SECONDS]     SECONDS 0, or none: until stopped

#include "readings.h"
#include "shared_block.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace {

// The table's readings as a block; nothing when the file cannot be read.
bool Read(const char* path, modMBMAccess::SensorSnapshot& snapshot, std::set<std::string>& told) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    hwmon::Warnings warnings;
    snapshot = hwmon::BuildSnapshot(hwmon::ParseTable(text.str(), &warnings), &warnings);
    for (const std::string& warning : warnings)
        if (told.insert(warning).second)
            std::fprintf(stderr, "publish-table: %s\n", warning.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: publish-table FILE [SECONDS]\n"
                             "Publishes FILE's \"name value\" lines as the hardware monitor's "
                             "sensor table until closed (Ctrl+C), or for SECONDS.\n");
        return 2;
    }
    std::set<std::string> told;
    modMBMAccess::SensorSnapshot snapshot{};
    if (!Read(argv[1], snapshot, told)) {
        std::fprintf(stderr, "publish-table: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string error;
    auto block = modMBMAccess::SharedBlockWriter::Create(modMBMAccess::SensorBlockName(),
                                                         sizeof snapshot, &error);
    if (!block) {
        std::fprintf(stderr, "publish-table: %s\n", error.c_str());
        return 1;
    }
    block->Write(&snapshot, sizeof snapshot);
    std::printf("publish-table: published %s; close this window or press Ctrl+C to stop\n",
                argv[1]);
    std::fflush(stdout);
    // Every second until the time is up; without a time, until stopped.
    const long seconds = argc == 3 ? std::atol(argv[2]) : 0;
    for (long elapsed = 0; seconds <= 0 || elapsed < seconds; ++elapsed) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (Read(argv[1], snapshot, told)) block->Write(&snapshot, sizeof snapshot);
    }
    return 0;
}
