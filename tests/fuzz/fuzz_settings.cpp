// Any settings file text: the stored pairs always load as nine rows; a text
// that holds the section or the key twice gives no value (and is not saved
// into), any other gives back what a save wrote.
#include "ini_text.h"
#include "pairing.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto value = ini::FindValue(text, "Korvid", "Sensors");
    if (pairing::SplitSensorsValue(value.value_or("")).size() != 9) __builtin_trap();

    if (!ini::Ambiguity(text, "Korvid", "Sensors").empty()) {
        if (value) __builtin_trap();
        return 0;
    }
    const std::string saved = "4\\7\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\";
    const std::string updated = ini::SetValue(text, "Korvid", "Sensors", saved);
    if (ini::FindValue(updated, "Korvid", "Sensors") != saved) __builtin_trap();
    return 0;
}
