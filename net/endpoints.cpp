#include "endpoints.h"

#include <charconv>

namespace tcp {

namespace {

// 'text', for messages. Appended rather than written "'" + text: GCC 12
// sees a string literal on the left of + as a possible overlap (a false
// -Wrestrict, its bug 105329) and says so for every such message.
std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '\'').append(text).append(1, '\'');
    return quoted;
}

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
        if (error) *error = Quoted(text).append(1, ' ').append(why);
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
    const auto& b = endpoint.address->bytes;
    if (endpoint.address->IsV4() ? (b[12] & 0xF0) == 0xE0 : b[0] == 0xFF)
        return fail("is a multicast address, which no display connects to");
    if (!endpoint.address->IsV4() && b[0] == 0xFE && (b[1] & 0xC0) == 0x80)
        return fail("is a link-local address, which needs an interface; listen on * instead");
    return endpoint;
}

namespace {

bool IsUnspecified(const Address& address) {
    static const Address any4 = *ParseAddress("0.0.0.0");
    return address == Address{} || address == any4;
}

// Whether a socket on `wide` keeps one on `narrow` from binding: the same
// address, or every address (of its family) on the same port.
bool Covers(const Endpoint& wide, const Endpoint& narrow) {
    if (wide.port != narrow.port || wide.port == 0) return false;
    if (!wide.address) return true;
    if (!narrow.address) return false;
    if (*wide.address == *narrow.address) return true;
    return IsUnspecified(*wide.address) && wide.address->IsV4() == narrow.address->IsV4();
}

} // namespace

std::string Overlap(const std::vector<Endpoint>& endpoints) {
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        for (std::size_t j = i + 1; j < endpoints.size(); ++j) {
            const Endpoint& a = endpoints[i];
            const Endpoint& b = endpoints[j];
            if (a == b && a.port != 0) return Quoted(EndpointText(a)).append(" is given twice");
            if (Covers(a, b) || Covers(b, a)) {
                const bool aWide = Covers(a, b);
                return Quoted(EndpointText(aWide ? a : b))
                    .append(" already takes ")
                    .append(Quoted(EndpointText(aWide ? b : a)));
            }
        }
    }
    return {};
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
            *error = Quoted(text)
                         .append(" has no prefix length from 0 to ")
                         .append(std::to_string(width));
        return std::nullopt;
    }
    return AllowRule{*address, static_cast<int>(prefix) + 128 - width};
}

std::string AllowRuleText(const AllowRule& rule) {
    const int width = rule.address.IsV4() ? 32 : 128;
    const int bits = rule.prefixBits - (128 - width);
    std::string text = AddressText(rule.address);
    if (bits != width) text.append(1, '/').append(std::to_string(bits));
    return text;
}

bool IsHostName(std::string_view text) {
    if (text.empty() || text.size() > 253) return false;
    std::string_view last;
    while (true) {
        const auto dot = text.find('.');
        const std::string_view label = text.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (const char c : label)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-'))
                return false;
        last = label;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return last.find_first_not_of("0123456789") != std::string_view::npos;
}

std::optional<AllowItem> ParseAllowItem(std::string_view text, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<AllowItem> {
        if (error) *error = Quoted(text).append(1, ' ').append(why);
        return std::nullopt;
    };
    std::string why;
    if (const auto rule = ParseAllowRule(text, &why)) return AllowItem{rule, {}};
    if (!why.empty()) {
        if (error) *error = why;
        return std::nullopt;
    }
    if (IsHostName(text)) return AllowItem{std::nullopt, std::string(text)};
    if (text.find('%') != std::string_view::npos)
        return fail("names an interface: allow rules take none (fe80::/10 allows link-local "
                    "displays on every interface)");
    if (!text.empty() &&
        text.find_first_not_of("0123456789abcdefABCDEFxX.:/") == std::string_view::npos)
        return fail("is no address: write an IPv4 address as four decimal numbers from 0 to "
                    "255 without leading zeros, an IPv6 address in its usual form");
    return fail("is neither an address, an address/prefix nor a host name");
}

bool AllowList::Allows(const Address& peer) const {
    if (AllowsEveryone()) return true;
    for (const AllowRule& rule : rules)
        if (rule.Matches(peer)) return true;
    return false;
}

AllowList MakeAllowList(const std::vector<AllowRule>& rules, const std::vector<NameLookup>& names) {
    AllowList list;
    list.rules = rules;
    for (const NameLookup& name : names) {
        list.names.push_back(name.name);
        for (const Address& address : name.addresses)
            list.rules.push_back({address, 128});
    }
    return list;
}

std::string AllowListText(const std::vector<AllowRule>& rules,
                          const std::vector<NameLookup>& names) {
    if (rules.empty() && names.empty()) return "every display may ask";
    std::string text = "answering only displays at ";
    const char* separator = "";
    for (const AllowRule& rule : rules) {
        text += separator + AllowRuleText(rule);
        separator = ", ";
    }
    for (const NameLookup& name : names) {
        std::string resolved;
        for (const Address& address : name.addresses)
            resolved += (resolved.empty() ? "" : ", ") + AddressText(address);
        text += separator + name.name + " (" +
                (!resolved.empty() ? resolved
                 : name.answered   ? "unresolved"
                                   : "looking it up") +
                ")";
        separator = ", ";
    }
    return text;
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
