// Any text given as a listen address or an allow rule: parsing never fails
// hard, and what parses prints as text that parses to the same again.
#include "endpoints.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto endpoint = tcp::ParseEndpoint(text, 9001, &error)) {
        const auto again = tcp::ParseEndpoint(tcp::EndpointText(*endpoint), 0, &error);
        if (!again || !(*again == *endpoint)) __builtin_trap();
    }
    if (const auto rule = tcp::ParseAllowRule(text, &error)) {
        const auto again = tcp::ParseAllowRule(tcp::AllowRuleText(*rule), &error);
        if (!again || !(again->address == rule->address) || again->prefixBits != rule->prefixBits ||
            !rule->Matches(rule->address))
            __builtin_trap();
    }
    for (const std::string& item : tcp::SplitList(text))
        if (item.empty()) __builtin_trap();
    return 0;
}
