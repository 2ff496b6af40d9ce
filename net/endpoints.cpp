#include "endpoints.h"

#include <charconv>

namespace tcp {

namespace {

constexpr std::array<std::uint8_t, 12> kMappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool ParseDecimal(std::string_view text, unsigned max, unsigned& value) {
    if (text.empty() || text.size() > 5) return false;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() && value <= max;
}

// Four decimal parts of at most three digits, no leading zeros (which some
// parsers read as octal).
bool ParseV4(std::string_view text, std::uint8_t* out) {
    for (int part = 0; part < 4; ++part) {
        const auto dot = text.find('.');
        if ((part < 3) == (dot == std::string_view::npos)) return false;
        const std::string_view digits = text.substr(0, dot);
        unsigned value = 0;
        if (digits.size() > 3 || (digits.size() > 1 && digits[0] == '0') ||
            !ParseDecimal(digits, 255, value))
            return false;
        out[part] = static_cast<std::uint8_t>(value);
        text.remove_prefix(part < 3 ? dot + 1 : text.size());
    }
    return true;
}

bool ParseHexGroup(std::string_view text, std::uint16_t& value) {
    if (text.empty() || text.size() > 4) return false;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

// The groups of one side of "::" (or of a whole address without it); an
// IPv4 tail counts as two groups.
bool ParseGroups(std::string_view text, std::vector<std::uint16_t>& groups, bool tailMayBeV4) {
    if (text.empty()) return true;
    while (true) {
        const auto colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && tailMayBeV4 &&
            group.find('.') != std::string_view::npos) {
            std::uint8_t v4[4];
            if (!ParseV4(group, v4)) return false;
            groups.push_back(static_cast<std::uint16_t>(v4[0] << 8 | v4[1]));
            groups.push_back(static_cast<std::uint16_t>(v4[2] << 8 | v4[3]));
            return true;
        }
        std::uint16_t value = 0;
        if (!ParseHexGroup(group, value)) return false;
        groups.push_back(value);
        if (colon == std::string_view::npos) return true;
        text.remove_prefix(colon + 1);
    }
}

std::optional<Address> ParseV6(std::string_view text) {
    std::vector<std::uint16_t> head, tail;
    const auto gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!ParseGroups(text, head, true) || head.size() != 8) return std::nullopt;
    } else {
        if (text.find("::", gap + 1) != std::string_view::npos) return std::nullopt;
        if (!ParseGroups(text.substr(0, gap), head, false) ||
            !ParseGroups(text.substr(gap + 2), tail, true) || head.size() + tail.size() > 7)
            return std::nullopt;
        head.resize(8 - tail.size(), 0);
        head.insert(head.end(), tail.begin(), tail.end());
    }
    Address address;
    for (std::size_t i = 0; i < 8; ++i) {
        address.bytes[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
        address.bytes[2 * i + 1] = static_cast<std::uint8_t>(head[i]);
    }
    return address;
}

} // namespace

bool Address::IsV4() const {
    return std::equal(kMappedPrefix.begin(), kMappedPrefix.end(), bytes.begin());
}

std::optional<Address> ParseAddress(std::string_view text) {
    if (text.find(':') != std::string_view::npos) return ParseV6(text);
    Address address;
    std::copy(kMappedPrefix.begin(), kMappedPrefix.end(), address.bytes.begin());
    if (!ParseV4(text, address.bytes.data() + 12)) return std::nullopt;
    return address;
}

std::string AddressText(const Address& address) {
    const auto& b = address.bytes;
    if (address.IsV4())
        return std::to_string(b[12]) + "." + std::to_string(b[13]) + "." + std::to_string(b[14]) +
               "." + std::to_string(b[15]);
    std::uint16_t groups[8];
    for (int i = 0; i < 8; ++i)
        groups[i] =
            static_cast<std::uint16_t>(b[2 * std::size_t(i)] << 8 | b[2 * std::size_t(i) + 1]);
    // The longest run of two or more zero groups becomes "::", the first
    // of equal runs.
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int end = i;
        while (end < 8 && groups[end] == 0)
            ++end;
        if (end - i > bestLength) {
            bestStart = i;
            bestLength = end - i;
        }
        i = end;
    }
    std::string text;
    char hex[8];
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':') text += ':';
        const auto printed = std::to_chars(hex, hex + sizeof hex, groups[i], 16);
        text.append(hex, printed.ptr);
    }
    return text;
}

std::optional<Endpoint> ParseEndpoint(std::string_view text, std::uint16_t defaultPort,
                                      std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<Endpoint> {
        if (error) *error = "'" + std::string(text) + "' " + why;
        return std::nullopt;
    };
    std::string_view host = text;
    std::optional<std::string_view> port;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos) return fail("lacks the closing ']'");
        const std::string_view after = host.substr(close + 1);
        if (!after.empty() && after.front() != ':') return fail("has text after ']'");
        if (!after.empty()) port = after.substr(1);
        host = host.substr(1, close - 1);
        if (host.find(':') == std::string_view::npos) return fail("holds no IPv6 address");
    } else if (const auto colon = host.rfind(':');
               colon != std::string_view::npos && host.find(':') == colon) {
        port = host.substr(colon + 1);
        host = host.substr(0, colon);
    }
    Endpoint endpoint{std::nullopt, defaultPort};
    if (port) {
        unsigned value = 0;
        if (!ParseDecimal(*port, 65535, value)) return fail("has no port from 0 to 65535");
        endpoint.port = static_cast<std::uint16_t>(value);
    }
    if (host == "*") return endpoint;
    endpoint.address = ParseAddress(host);
    if (!endpoint.address) return fail("is no IP address (or * for every address)");
    return endpoint;
}

std::string EndpointText(const Endpoint& endpoint) {
    std::string host = "*";
    if (endpoint.address) {
        host = AddressText(*endpoint.address);
        if (!endpoint.address->IsV4()) host = "[" + host + "]";
    }
    return host + ":" + std::to_string(endpoint.port);
}

bool AllowRule::Matches(const Address& peer) const {
    const int whole = prefixBits / 8;
    if (!std::equal(peer.bytes.begin(), peer.bytes.begin() + whole, address.bytes.begin()))
        return false;
    const int rest = prefixBits % 8;
    if (rest == 0) return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return (peer.bytes[whole] & mask) == (address.bytes[whole] & mask);
}

std::optional<AllowRule> ParseAllowRule(std::string_view text, std::string* error) {
    const auto slash = text.find('/');
    const auto address = ParseAddress(text.substr(0, slash));
    if (!address) return std::nullopt;
    const int width = address->IsV4() ? 32 : 128;
    unsigned prefix = static_cast<unsigned>(width);
    if (slash != std::string_view::npos &&
        !ParseDecimal(text.substr(slash + 1), static_cast<unsigned>(width), prefix)) {
        if (error)
            *error = "'" + std::string(text) + "' has no prefix length from 0 to " +
                     std::to_string(width);
        return std::nullopt;
    }
    return AllowRule{*address, static_cast<int>(prefix) + 128 - width};
}

std::string AllowRuleText(const AllowRule& rule) {
    const int width = rule.address.IsV4() ? 32 : 128;
    const int bits = rule.prefixBits - (128 - width);
    return AddressText(rule.address) + (bits == width ? "" : "/" + std::to_string(bits));
}

bool AllowList::Allows(const Address& peer) const {
    if (AllowsEveryone()) return true;
    for (const AllowRule& rule : rules)
        if (rule.Matches(peer)) return true;
    return false;
}

std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> items;
    std::string item;
    for (const char c : text) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!item.empty()) items.push_back(std::move(item));
            item.clear();
        } else {
            item += c;
        }
    }
    if (!item.empty()) items.push_back(std::move(item));
    return items;
}

} // namespace tcp
