#include "monitor_model.h"

std::string SensorRowText(const MonitorModel& model, int slot) {
    const SensorRow& row = model.sensors[static_cast<std::size_t>(slot)];
    return "No. " + std::to_string(slot + 1) + ": " + row.name + " / " +
           pairing::SensorReadingText(row.reading, model.decimalSeparator);
}

std::string ValueText(const MonitorModel& model, int row) {
    const ParamValue& value = model.params[static_cast<std::size_t>(row)].value;
    switch (value.source) {
    case ParamValue::Source::Placeholder:
        break;
    case ParamValue::Source::Linked:
        return pairing::SensorReadingText(value.reading, model.decimalSeparator);
    case ParamValue::Source::Refreshed:
        return pairing::ReadingText(value.reading, model.decimalSeparator);
    }
    return std::string(pairing::kPlaceholders[static_cast<std::size_t>(row)]);
}

std::string LoadText(const MonitorModel& model) {
    return std::to_string(model.cpuLoad) + (model.cpuLoadBare ? "" : "%");
}
