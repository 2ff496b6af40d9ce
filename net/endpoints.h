#pragma once

// Where the report service listens and whom it answers: IP addresses, listen
// endpoints ("127.0.0.1:9001", "[::1]", "*") and allow rules
// ("192.168.1.0/24", "::1"), as the command line and the settings file give
// them. Plain C++; host names are resolved by the platform (tcp.h).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tcp {

// An IPv6 address; an IPv4 one is held IPv4-mapped (::ffff:a.b.c.d), which is
// also how a dual-stack socket reports IPv4 peers, so one rule matches both.
struct Address {
    std::array<std::uint8_t, 16> bytes{};
    bool IsV4() const;
    bool operator==(const Address&) const = default;
};

// "192.0.2.7", "::1", "2001:db8::5", "::ffff:192.0.2.7"; nothing for any other
// text (host names, zones, ranges).
std::optional<Address> ParseAddress(std::string_view text);
// Dotted for IPv4, RFC 5952 for IPv6 ("2001:db8::5").
std::string AddressText(const Address& address);

// An address and port to listen on; no address: every IPv4 and IPv6 address.
struct Endpoint {
    std::optional<Address> address;
    std::uint16_t port = 0;
    bool operator==(const Endpoint&) const = default;
};

// ADDRESS[:PORT] with IPv6 in brackets ("[::1]:9002"), or "*" for every
// address; a bare IPv6 address needs no brackets when it has no port. Nothing,
// with the reason in `error`, for anything else, and for addresses that no
// socket can listen on: multicast ones, and link-local IPv6 ones, which need
// an interface that an endpoint cannot name.
std::optional<Endpoint> ParseEndpoint(std::string_view text, std::uint16_t defaultPort,
                                      std::string* error);

// Why two of `endpoints` cannot both be listened on (the same address and
// port twice, or every address and one of them on the same port); empty when
// they can.
std::string Overlap(const std::vector<Endpoint>& endpoints);
// "127.0.0.1:9001", "[::1]:9001", "*:9001".
std::string EndpointText(const Endpoint& endpoint);

// Addresses whose first `prefixBits` bits (of the 128) match `address`'s.
struct AllowRule {
    Address address;
    int prefixBits = 128;
    bool Matches(const Address& peer) const;
};

// ADDRESS or ADDRESS/PREFIX ("10.0.0.0/8", "fe80::/10"); an IPv4 prefix
// counts IPv4 bits. Nothing for anything else; `error` says why when the
// text is an address with a wrong prefix, and is left alone otherwise.
std::optional<AllowRule> ParseAllowRule(std::string_view text, std::string* error);
std::string AllowRuleText(const AllowRule& rule);

// A host name as DNS writes them: dot-separated labels of letters, digits and
// hyphens, 1 to 63 characters each and none starting or ending with a hyphen,
// at most 253 characters in all, and a last label that is not all digits.
// So no form of a number ("127.0.0.010", "0x7f.1", "2130706434") passes for
// a name, to be read by a resolver that takes it for an address.
bool IsHostName(std::string_view text);

// An item of an allow list: a rule, or a host name that stands for the
// addresses it resolves to.
struct AllowItem {
    std::optional<AllowRule> rule;
    std::string hostName; // when it is no rule
};
// Nothing, with the reason in `error`, for text that is neither an address,
// an address/prefix nor a host name.
std::optional<AllowItem> ParseAllowItem(std::string_view text, std::string* error);

// Who may ask for reports: everyone when it holds no rule.
struct AllowList {
    std::vector<AllowRule> rules;
    // The host names it came from, as given, for messages.
    std::vector<std::string> names;
    bool AllowsEveryone() const { return rules.empty() && names.empty(); }
    bool Allows(const Address& peer) const;
};

// A host name of an allow list and what it stands for now.
struct NameLookup {
    std::string name;
    std::vector<Address> addresses; // none until it has resolved
    std::string error;              // why it did not resolve; empty otherwise
    bool answered = false;          // the resolver has answered at least once
};

// The allow list made of `rules` and the addresses that `names` resolved to.
AllowList MakeAllowList(const std::vector<AllowRule>& rules, const std::vector<NameLookup>& names);

// "every display may ask", or "answering only displays at 10.0.0.0/8,
// display.lan (192.0.2.7), gone.lan (unresolved)".
std::string AllowListText(const std::vector<AllowRule>& rules,
                          const std::vector<NameLookup>& names);

// The items of a settings value or option: separated by commas or blanks.
std::vector<std::string> SplitList(std::string_view text);

} // namespace tcp
