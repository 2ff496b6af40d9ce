// Where the service listens and whom it answers, from the command line and
// the settings file: what each gives, and every way they can be wrong, which
// must stop the service rather than open the port to more displays.
#include "service_settings.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

struct Case {
    std::vector<std::string> listen, allow; // the command line's
    std::string file;                       // the settings file's text; "-" for none
    std::string expected;                   // "LISTEN | ALLOW", or "error: WHY"
};

std::string Repeated(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i)
        repeated += text;
    return repeated;
}

std::string Outcome(const ServiceOptions& options, const std::string& file) {
    std::string error;
    const auto choice = ChooseService(options, file, &error);
    if (!choice) return "error: " + error;
    std::string listen;
    for (const tcp::Endpoint& endpoint : choice->listen)
        listen += (listen.empty() ? "" : ", ") + tcp::EndpointText(endpoint);
    std::vector<tcp::NameLookup> names;
    for (const std::string& name : choice->allowNames)
        names.push_back({name, {}, {}, false});
    return listen + " | " + tcp::AllowListText(choice->allowRules, names);
}

} // namespace

TEST(ServiceSettings, CommandLineElseFileElseDefaultsAndNothingGuessed) {
    const std::string every = "*:9001 | every display may ask";
    const std::string in = "Allow= in FILE: ";
    const std::string noAddress =
        "' is no address: write an IPv4 address as four decimal numbers from 0 to 255 without "
        "leading zeros, an IPv6 address in its usual form";
    const Case cases[] = {
        {{}, {}, "-", every},
        {{}, {}, "[Other]\nAllow=1.2.3.4\n", every},
        // A file that exists but cannot be read may hold the Allow= that keeps
        // displays out: an error, unless the command line gives both.
        {{}, {}, "DIRECTORY", "error: FILE is a directory, not a settings file"},
        {{"*"}, {"10.0.0.1"}, "DIRECTORY", "*:9001 | answering only displays at 10.0.0.1"},
        {{},
         {},
         "\xEF\xBB\xBF[Korvid]\r\nListen=127.0.0.1, [::1]:9002\r\nAllow=10.0.0.0/8 display.lan\r\n",
         "127.0.0.1:9001, [::1]:9002 | answering only displays at 10.0.0.0/8, display.lan "
         "(looking it up)"},
        {{"*:9003"},
         {"192.0.2.7", "::1,fe80::/10"},
         "[Korvid]\nListen=127.0.0.1\nAllow=10.0.0.1\n",
         "*:9003 | answering only displays at 192.0.2.7, ::1, fe80::/10"},
        {{},
         {"192.0.2.7"},
         "[Korvid]\nListen=nowhere\n",
         "error: Listen= in FILE: 'nowhere' is no IP address (or * for every address)"},
        {{}, {""}, "-", "error: --allow: an empty value names nothing"},
        {{" , "}, {}, "-", "error: --listen: an empty value names nothing"},
        {{},
         {},
         "[Korvid]\nAllow=\n",
         "error: " + in +
             "the value is empty; leave the line out for the default, or name what is meant"},
        {{},
         {},
         "[Korvid]\nAllow=127.0.0.2\n[Korvid]\nAllow=\n",
         "error: FILE: [Korvid] is there twice, on lines 1 and 3"},
        {{},
         {},
         "[Korvid]\nAllow=\nAllow=127.0.0.2\n",
         "error: FILE: Allow= in [Korvid] is there twice, on lines 2 and 3"},
        {{},
         {},
         "[Korvid]\nAllow=127.0.0.2 ; not localhost\n",
         "error: " + in + "';' is neither an address, an address/prefix nor a host name"},
        {{},
         {},
         "[Korvid]\nAllow=127.0.0.2 # not localhost\n",
         "error: " + in + "'#' is neither an address, an address/prefix nor a host name"},
        {{},
         {},
         std::string("[Korvid]\nAllow=127.0.0.2,\0ghost\n", 32),
         "error: " + in + "'" + std::string(1, '\0') +
             "ghost' is neither an address, an address/prefix nor a host name"},
        {{},
         {},
         "[Korvid]\nAllow=" + Repeated("10.0.0.1 ", 455) + "127.0.0.10/32\n",
         "error: " + in + "the value is longer than 4096 characters"},
        {{}, {"127.0.0.010"}, "-", "error: --allow: '127.0.0.010" + noAddress},
        {{}, {"0177.0.0.2"}, "-", "error: --allow: '0177.0.0.2" + noAddress},
        {{}, {"0x7f.0.0.2"}, "-", "error: --allow: '0x7f.0.0.2" + noAddress},
        {{}, {"127.2"}, "-", "error: --allow: '127.2" + noAddress},
        {{}, {"2130706434"}, "-", "error: --allow: '2130706434" + noAddress},
        {{}, {":::"}, "-", "error: --allow: ':::" + noAddress},
        {{}, {"127.0.0.1:9001"}, "-", "error: --allow: '127.0.0.1:9001" + noAddress},
        {{},
         {"*"},
         "-",
         "error: --allow: '*' is neither an address, an address/prefix nor a host name"},
        {{},
         {"10.0.0.0/33"},
         "-",
         "error: --allow: '10.0.0.0/33' has no prefix length from 0 to 32"},
        {{},
         {"fe80::1%lo"},
         "-",
         "error: --allow: 'fe80::1%lo' names an interface: allow rules take none (fe80::/10 "
         "allows link-local displays on every interface)"},
        {{},
         {"-bad.lan", "a..b"},
         "-",
         "error: --allow: '-bad.lan' is neither an address, an address/prefix nor a host name"},
        {{"127.0.0.1", "127.0.0.1:9001"},
         {},
         "-",
         "error: --listen: '127.0.0.1:9001' is given twice"},
        {{"*", "[::1]"}, {}, "-", "error: --listen: '*:9001' already takes '[::1]:9001'"},
        {{"127.0.0.1", "0.0.0.0"},
         {},
         "-",
         "error: --listen: '0.0.0.0:9001' already takes '127.0.0.1:9001'"},
        {{"127.0.0.1:9001", "127.0.0.1:9002", "[::]:9002"},
         {},
         "-",
         "127.0.0.1:9001, 127.0.0.1:9002, [::]:9002 | every display may ask"},
        {{"[fe80::1]"},
         {},
         "-",
         "error: --listen: '[fe80::1]' is a link-local address, which needs an interface; listen "
         "on * instead"},
        {{"224.0.0.1"},
         {},
         "-",
         "error: --listen: '224.0.0.1' is a multicast address, which no display connects to"},
    };
    testing_support::TempDir dir;
    const std::string file = dir.File("Korvid.INI");
    for (const Case& c : cases) {
        std::filesystem::remove(file);
        if (c.file == "DIRECTORY")
            std::filesystem::create_directory(file);
        else if (c.file != "-")
            std::ofstream(file, std::ios::binary) << c.file;
        std::string expected = c.expected;
        for (std::size_t at; (at = expected.find("FILE")) != std::string::npos;)
            expected.replace(at, 4, file);
        EXPECT_EQ(Outcome({c.listen, c.allow}, file), expected) << c.file;
    }
}
