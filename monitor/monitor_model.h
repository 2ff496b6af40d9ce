#pragma once

// What the monitor knows at one moment, as plain data: the sensor list as
// start-up read it, the nine parameter rows, the CPU load, the CPU type, the
// computer name and the fixed drives. The monitor's steps change it
// (monitor.h); the window draws it and the report sends it, each writing its
// numbers as text only where its reader sees them. Texts are single-byte
// (Latin-1) strings.

#include "drive_survey.h"
#include "mod_mbm_access.h"
#include "pairing.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One sensor slot as start-up read it.
struct SensorRow {
    std::string name; // cleaned
    double reading = 0;
};

// The value of a parameter row: what the window shows and the report sends.
struct ParamValue {
    enum class Source {
        Placeholder, // nothing read yet: the row's own "NA" or "-NA-"
        Linked,      // the sensor list's reading, taken when the pair was made
        Refreshed,   // a refresh's reading, shown to two decimal places
    };
    Source source = Source::Placeholder;
    double reading = 0;
};

struct ParamRow {
    // The paired sensor slot as the Sensor column shows it: "-1" when
    // unpaired, or an item of the settings file as it stood, which may name
    // no sensor.
    std::string sensor{pairing::kUnpaired};
    ParamValue value;
};

struct MonitorModel {
    std::array<SensorRow, modMBMAccess::kSensorCount> sensors;
    std::array<ParamRow, pairing::kParamCount> params;
    std::int32_t cpuLoad = 0;
    // A report leaves the load without its "%" until the next refresh.
    bool cpuLoadBare = false;
    std::string cpuType;
    std::string compName;
    std::vector<FixedDrive> drives;
    // The user's decimal separator, for readings.
    char decimalSeparator = '.';
};

// "No. 3: CPU / 45.5" for slot 2: the number one above the slot, the name,
// and the reading ("NA" for one that is no finite number).
std::string SensorRowText(const MonitorModel& model, int slot);

// The value text of parameter row `row`: its placeholder, the linked reading
// as the sensor list showed it, or the refreshed reading to two places.
std::string ValueText(const MonitorModel& model, int row);

// The CPU load as its box shows it: "7%", or "7" after a report.
std::string LoadText(const MonitorModel& model);
