// Listen endpoints and allow rules as the operator writes them.
#include "endpoints.h"

#include <gtest/gtest.h>

using namespace tcp;

TEST(Endpoints, AddressesParseAndPrintInTheirUsualForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"0.0.0.0", "0.0.0.0"},
        {"255.255.255.255", "255.255.255.255"},
        {"::1", "::1"},
        {"::", "::"},
        {"2001:DB8:0:0:0:0:0:5", "2001:db8::5"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},
        {"fe80::1:2", "fe80::1:2"},
        {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8"},
        {"::ffff:192.0.2.7", "192.0.2.7"},
        {"64:ff9b::192.0.2.7", "64:ff9b::c000:207"},
    };
    for (const auto& [text, shown] : cases) {
        const auto address = ParseAddress(text);
        ASSERT_TRUE(address) << text;
        EXPECT_EQ(AddressText(*address), shown) << text;
    }
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4", "1.2.3.4 ",
                             "localhost", ":::", "1::2::3", "1:2:3:4:5:6:7:8:9", "12345::",
                             "fe80::1%eth0", "::1.2.3.4.5", "1:2:3:4:5:6:7::8:9", "-1.2.3.4"})
        EXPECT_FALSE(ParseAddress(text)) << text;
}

TEST(Endpoints, ListenEndpointsTakeAnAddressAndMaybeAPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"*", "*:9001"},
        {"*:9002", "*:9002"},
        {"127.0.0.1", "127.0.0.1:9001"},
        {"127.0.0.1:0", "127.0.0.1:0"},
        {"[::1]", "[::1]:9001"},
        {"[::1]:65535", "[::1]:65535"},
        {"::1", "[::1]:9001"},
        {"[::ffff:10.0.0.1]:1", "10.0.0.1:1"},
    };
    for (const auto& [text, shown] : cases) {
        std::string error;
        const auto endpoint = ParseEndpoint(text, 9001, &error);
        ASSERT_TRUE(endpoint) << text << ": " << error;
        EXPECT_EQ(EndpointText(*endpoint), shown);
    }
    const std::pair<const char*, const char*> wrong[] = {
        {"127.0.0.1:65536", "'127.0.0.1:65536' has no port from 0 to 65535"},
        {"127.0.0.1:", "'127.0.0.1:' has no port from 0 to 65535"},
        {"[::1", "'[::1' lacks the closing ']'"},
        {"[::1]x", "'[::1]x' has text after ']'"},
        {"[1.2.3.4]", "'[1.2.3.4]' holds no IPv6 address"},
        {"host:9001", "'host:9001' is no IP address (or * for every address)"},
        {"", "'' is no IP address (or * for every address)"},
    };
    for (const auto& [text, why] : wrong) {
        std::string error;
        EXPECT_FALSE(ParseEndpoint(text, 9001, &error)) << text;
        EXPECT_EQ(error, why);
    }
}

// IPv4-mapped peers (a dual-stack socket's IPv4 clients) match IPv4 rules.
TEST(Endpoints, AllowRulesMatchTheirPrefix) {
    struct Case {
        const char* rule;
        const char* peer;
        bool allowed;
    };
    const Case cases[] = {
        {"192.168.1.0/24", "192.168.1.77", true},
        {"192.168.1.0/24", "::ffff:192.168.1.77", true},
        {"192.168.1.0/24", "192.168.2.1", false},
        {"192.168.1.7", "192.168.1.7", true},
        {"192.168.1.7", "192.168.1.8", false},
        {"10.0.0.0/9", "10.127.255.255", true},
        {"10.0.0.0/9", "10.128.0.0", false},
        {"0.0.0.0/0", "203.0.113.9", true},
        {"0.0.0.0/0", "2001:db8::1", false},
        {"::/0", "203.0.113.9", true},
        {"fe80::/10", "febf::1", true},
        {"fe80::/10", "fec0::1", false},
        {"::1", "::1", true},
        {"::1", "127.0.0.1", false},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto rule = ParseAllowRule(c.rule, &error);
        ASSERT_TRUE(rule) << c.rule << ": " << error;
        EXPECT_EQ(rule->Matches(*ParseAddress(c.peer)), c.allowed) << c.rule << " " << c.peer;
        EXPECT_EQ(AllowRuleText(*rule), c.rule);
    }
    std::string error;
    EXPECT_FALSE(ParseAllowRule("10.0.0.0/33", &error));
    EXPECT_EQ(error, "'10.0.0.0/33' has no prefix length from 0 to 32");
    error.clear();
    EXPECT_FALSE(ParseAllowRule("display.lan", &error));
    EXPECT_EQ(error, ""); // a host name, for the caller to resolve

    AllowList list;
    EXPECT_TRUE(list.Allows(*ParseAddress("203.0.113.9")));
    list.names = {"gone.lan"}; // resolved to nothing: nobody
    EXPECT_FALSE(list.Allows(*ParseAddress("203.0.113.9")));
    EXPECT_EQ(SplitList(" a, b\tc,,d "), (std::vector<std::string>{"a", "b", "c", "d"}));
}
