#pragma once

// HWiNFO's shared memory as a test builds it: a header, sensor elements and
// reading elements, each `extra` bytes larger than the elements that
// korvid-hwmon knows (as later versions' are).

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

struct HwinfoMemory {
    std::uint32_t signature = 0x53695748; // "HWiS"
    std::int64_t pollTime = 1000;
    std::uint32_t period = 2000;
    std::size_t extra = 0;
    std::vector<std::pair<std::uint32_t, std::string>> sensors; // id, name
    struct Row {
        std::uint32_t type, sensor, id;
        std::string label, unit;
        double value;
    };
    std::vector<Row> readings;

    template <typename T> static void Put(std::string& bytes, std::size_t at, T value) {
        std::memcpy(bytes.data() + at, &value, sizeof value);
    }
    static void Text(std::string& bytes, std::size_t at, const std::string& text) {
        std::memcpy(bytes.data() + at, text.data(), text.size());
    }
    std::string Bytes() const {
        const std::size_t header = 48, sensorSize = 264 + extra, readingSize = 316 + extra;
        std::string bytes(header + sensorSize * sensors.size() + readingSize * readings.size(),
                          '\0');
        Put<std::uint32_t>(bytes, 0, signature);
        Put<std::uint32_t>(bytes, 4, 2);
        Put<std::uint32_t>(bytes, 8, 1);
        Put<std::int64_t>(bytes, 12, pollTime);
        Put<std::uint32_t>(bytes, 20, header);
        Put<std::uint32_t>(bytes, 24, sensorSize);
        Put<std::uint32_t>(bytes, 28, sensors.size());
        Put<std::uint32_t>(bytes, 32, header + sensorSize * sensors.size());
        Put<std::uint32_t>(bytes, 36, readingSize);
        Put<std::uint32_t>(bytes, 40, readings.size());
        Put<std::uint32_t>(bytes, 44, period);
        for (std::size_t i = 0; i < sensors.size(); ++i) {
            const std::size_t at = header + i * sensorSize;
            Put<std::uint32_t>(bytes, at, sensors[i].first);
            Text(bytes, at + 8, sensors[i].second);
        }
        for (std::size_t i = 0; i < readings.size(); ++i) {
            const Row& row = readings[i];
            const std::size_t at = header + sensors.size() * sensorSize + i * readingSize;
            Put<std::uint32_t>(bytes, at, row.type);
            Put<std::uint32_t>(bytes, at + 4, row.sensor);
            Put<std::uint32_t>(bytes, at + 8, row.id);
            Text(bytes, at + 12, row.label);
            Text(bytes, at + 268, row.unit);
            Put<double>(bytes, at + 284, row.value);
        }
        return bytes;
    }
};
