// Any bytes, of any size, published as the sensor block: reading it, showing
// every sensor row, and reporting every slot's reading, linked and refreshed,
// must not fail.
#include "mod_mbm_access.h"
#include "report.h"
#include "shared_block.h"

#include <cstdint>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = "/korvid-fuzz-" + std::to_string(::getpid());
    auto block = modMBMAccess::SharedBlockWriter::Create(name, size);
    if (!block || !block->TryHoldExclusively()) return 0;
    block->Write(data, size);
    const auto snapshot = modMBMAccess::ReadSnapshotFrom(name.c_str());
    MonitorModel model;
    model.decimalSeparator = ',';
    for (int slot = 0; slot < modMBMAccess::kSensorCount; ++slot) {
        const auto& entry = snapshot.Sensors[slot];
        model.sensors[slot] = {modMBMAccess::CleanName(modMBMAccess::RawName(entry)),
                               entry.Current};
        const std::string row = SensorRowText(model, slot);
        const auto source = slot % 2 ? ParamValue::Source::Linked : ParamValue::Source::Refreshed;
        model.params[slot % 9].value = {source, entry.Current};
        const std::string value = ValueText(model, slot % 9);
        if (value.empty() || (source == ParamValue::Source::Linked &&
                              row.compare(row.size() - value.size(), value.size(), value) != 0))
            __builtin_trap();
    }
    BuildReport(model);
    return 0;
}
