// Any bytes, of any size, published as the sensor block: reading it and
// writing every sensor row and reading text must not fail.
#include "mod_mbm_access.h"
#include "pairing.h"
#include "shared_block.h"

#include <cstdint>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = "/korvid-fuzz-" + std::to_string(::getpid());
    auto block = modMBMAccess::SharedBlockWriter::Create(name, size);
    if (!block) return 0;
    block->Write(data, size);
    const auto snapshot = modMBMAccess::ReadSnapshotFrom(name.c_str());
    for (int slot = 0; slot < modMBMAccess::kSensorCount; ++slot) {
        const auto row = pairing::SensorRowText(slot, snapshot.Sensors[slot], ',');
        if (pairing::ValueTextOfRow(row).empty()) __builtin_trap();
        pairing::ReadingText(snapshot.Sensors[slot].Current, '.');
    }
    return 0;
}
