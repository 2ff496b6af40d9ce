// korvid-lcd: shows one or more PCs' reports on an LCD through LCDproc's
// LCDd, one screen a PC, which LCDd rotates between.

#include "fetch_report.h"
#include "korvid_facts.h"
#include "lcdd.h"
#include "profile.h"
#include "service_manager.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <iostream>
#include <map>
#include <unistd.h>

namespace {

using lcd::Clock;

volatile std::sig_atomic_t reloadRequested = 0;

// SIGTERM and SIGINT end it at once, with status 0: there is nothing to
// save, and LCDd drops the screens of a client that goes. SIGHUP is held
// but while it waits, as korvid-hwmon holds it.
void EndNow(int) {
    ::_exit(0);
}
void RequestReload(int) {
    reloadRequested = 1;
}

void TakeRequests() {
    sigset_t hup;
    ::sigemptyset(&hup);
    ::sigaddset(&hup, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &hup, nullptr);
    struct sigaction action {};
    action.sa_handler = EndNow;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    action.sa_handler = RequestReload;
    ::sigaction(SIGHUP, &action, nullptr);
}

void Say(const std::string& line) {
    std::cerr << "korvid-lcd: " << line << '\n';
}

constexpr const char* kUsage = R"(Usage: korvid-lcd [OPTION]...
Shows the reports of one or more PCs that run Korvid Halvane on an LCD,
through LCDproc's server LCDd: one screen a PC, which LCDd rotates between.
Each PC is asked every Interval seconds, as a display asks; one that does
not answer, answers with what is no report, or is slower than 2 s shows
"NAME: no answer" until it answers again (asked less and less often).

Options:
  --source NAME=HOST[:PORT]  a PC to show, its report service at HOST, port
                   PORT (default 9001). Repeatable; replaces the
                   configuration's [source NAME] sections
  --lcdd HOST[:PORT]  where LCDd listens (default 127.0.0.1:13666)
  --interval SECONDS  how often each PC is asked (default 2)
  --long scroll|cut   lines longer than the display scroll (default) or
                   are cut
  --config FILE    the configuration (default: $XDG_CONFIG_HOME/korvid-lcd.conf,
                   else ~/.config/korvid-lcd.conf; the service's is
                   /etc/korvid-halvane/korvid-lcd.conf)
  -h, --help       show this text
  -v, --version    show the version

A screen is lines of text with fields in braces: {CPUTe}, {MBoTe},
{CPULoading}, {CPUDes}, {CompName}, the other parameters' five letters,
{Drive C:.size} and {Drive C:.free}, {NAME} for the PC's name. Without
Line1= ... in the configuration, a layout for the display's size is used.

Signals: SIGHUP reads the configuration again; SIGTERM and SIGINT end it at
once with status 0.

Exit status: 0 when ended by a signal, 2 for a wrong option or a
configuration that cannot be used.
)";

enum class Parsed { Run, Done, Fail };

Parsed ParseOptions(int argc, char** argv, lcd::CommandLine& given) {
    enum { kSource = 1, kLcdd, kInterval, kLongLines, kConfig };
    static const option kOptions[] = {
        {"source", required_argument, nullptr, kSource},
        {"lcdd", required_argument, nullptr, kLcdd},
        {"interval", required_argument, nullptr, kInterval},
        {"long", required_argument, nullptr, kLongLines},
        {"config", required_argument, nullptr, kConfig},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'v'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    for (int c; (c = ::getopt_long(argc, argv, "hv", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'h':
            std::fputs(kUsage, stdout);
            return Parsed::Done;
        case 'v':
            std::printf("korvid-lcd (%s) %s\n", korvid::kAppTitle, korvid::kVersionText);
            return Parsed::Done;
        case kSource:
            given.sources.emplace_back(optarg);
            break;
        case kLcdd:
            given.lcdd = optarg;
            break;
        case kConfig:
            given.config = optarg;
            break;
        case kLongLines:
            if (std::string(optarg) != "scroll" && std::string(optarg) != "cut") {
                Say("--long takes scroll or cut");
                return Parsed::Fail;
            }
            given.scroll = std::string(optarg) == "scroll";
            break;
        case kInterval: {
            char* end = nullptr;
            const long seconds = std::strtol(optarg, &end, 10);
            if (*end != '\0' || seconds < 1 || seconds > 3600) {
                Say("--interval takes 1 to 3600 seconds");
                return Parsed::Fail;
            }
            given.interval = static_cast<int>(seconds);
            break;
        }
        default:
            Say(std::string("unknown or incomplete option '") + argv[optind - 1] + "'; see --help");
            return Parsed::Fail;
        }
    }
    if (optind < argc) {
        Say(std::string("unexpected argument '") + argv[optind] + "'; see --help");
        return Parsed::Fail;
    }
    return Parsed::Run;
}

std::string ConfigPath(const lcd::CommandLine& given) {
    return given.config ? *given.config : profile::SettingsFilePath("korvid-lcd.conf");
}

// The settings as the command line and the file give them now. A file that
// does not exist is none; one that exists but cannot be read is an error.
std::optional<lcd::Settings> Load(const lcd::CommandLine& given, std::string* error) {
    const std::string path = ConfigPath(given);
    std::string text, why;
    if (!profile::ReadSettingsText(path, text, &why)) {
        *error = why;
        return std::nullopt;
    }
    const bool exists = ::access(path.c_str(), F_OK) == 0;
    auto settings = lcd::MakeSettings(given, exists ? std::optional(text) : std::nullopt, &why);
    if (!settings) *error = why.front() == '[' ? path + " " + why : why;
    return settings;
}

// A PC, asked in turn, and what its screen shows.
struct Pc {
    lcd::SourceSettings settings;
    std::optional<lcd::Report> report; // the last answer; nothing while it fails
    std::string problem;               // why it did not answer; told once
    Clock::time_point due{};
    std::chrono::seconds backOff{0};
    std::vector<std::string> shown; // what its widgets hold now
};

class Screens {
public:
    // The screens of `pcs` on the display LCDd has, made afresh.
    bool Build(lcd::Lcdd& lcdd, std::vector<Pc>& pcs, bool scroll) {
        scroll_ = scroll;
        for (std::size_t i = 0; i < pcs.size(); ++i) {
            const std::string id = "pc" + std::to_string(i);
            if (!lcdd.Command("screen_add " + id) ||
                !lcdd.Command("screen_set " + id + " -name " + lcd::Quoted(pcs[i].settings.name) +
                              " -heartbeat off"))
                return false;
            for (int line = 1; line <= lcdd.Height(); ++line)
                if (!lcdd.Command("widget_add " + id + " l" + std::to_string(line) +
                                  (scroll ? " scroller" : " string")))
                    return false;
            pcs[i].shown.assign(static_cast<std::size_t>(lcdd.Height()), "\x01"); // none yet
        }
        count_ = pcs.size();
        return true;
    }

    bool Remove(lcd::Lcdd& lcdd) {
        for (std::size_t i = 0; i < count_; ++i)
            if (!lcdd.Command("screen_del pc" + std::to_string(i))) return false;
        count_ = 0;
        return true;
    }

    // Shows `texts` on the screen of PC `index`, line by line, changing only
    // what changed.
    bool Show(lcd::Lcdd& lcdd, std::size_t index, Pc& pc, std::vector<std::string> texts) {
        const int width = lcdd.Width();
        texts.resize(static_cast<std::size_t>(lcdd.Height()));
        for (std::size_t line = 0; line < texts.size(); ++line) {
            std::string& text = texts[line];
            if (!scroll_ && text.size() > static_cast<std::size_t>(width))
                text.resize(static_cast<std::size_t>(width));
            if (text == pc.shown[line]) continue;
            const std::string id = "pc" + std::to_string(index) + " l" + std::to_string(line + 1);
            const std::string row = std::to_string(line + 1);
            std::string command = "widget_set ";
            command.append(id).append(" 1 ").append(row).append(" ");
            if (scroll_)
                command.append(std::to_string(width)).append(" ").append(row).append(" m 4 ");
            command.append(lcd::Quoted(text));
            if (!lcdd.Command(command)) return false;
            pc.shown[line] = text;
        }
        return true;
    }

private:
    bool scroll_ = true;
    std::size_t count_ = 0;
};

std::vector<std::string> Texts(const Pc& pc, const lcd::Settings& settings, int width, int height) {
    if (!pc.report) return {pc.settings.name + ": no answer"};
    std::vector<std::string> lines = pc.settings.lines;
    if (lines.empty()) lines = settings.lines;
    if (lines.empty()) lines = lcd::DefaultLayoutLines(width, height);
    std::string error;
    const auto layout = lcd::ParseLayout(lines, &error);
    return layout ? lcd::Render(*layout, *pc.report, pc.settings.name)
                  : std::vector<std::string>{error};
}

} // namespace

int main(int argc, char** argv) {
    TakeRequests();
    lcd::CommandLine given;
    switch (ParseOptions(argc, argv, given)) {
    case Parsed::Run:
        break;
    case Parsed::Done:
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case Parsed::Fail:
        return 2;
    }
    std::string error;
    auto settings = Load(given, &error);
    if (!settings) {
        Say(error);
        return 2;
    }
    auto makePcs = [](const lcd::Settings& s) {
        std::vector<Pc> pcs;
        for (const lcd::SourceSettings& source : s.sources)
            pcs.push_back({source, std::nullopt, {}, {}, std::chrono::seconds(0), {}});
        return pcs;
    };
    std::vector<Pc> pcs = makePcs(*settings);
    lcd::Lcdd lcdd;
    Screens screens;
    Clock::time_point lcddDue{};
    std::chrono::seconds lcddBackOff{0};
    std::string lcddProblem;
    bool ready = false;
    for (;;) {
        if (reloadRequested) {
            reloadRequested = 0;
            if (auto again = Load(given, &error)) {
                if (lcdd.IsOpen() && !screens.Remove(lcdd)) lcdd.Close();
                settings = std::move(again);
                pcs = makePcs(*settings);
                if (lcdd.IsOpen() && !screens.Build(lcdd, pcs, settings->scroll)) lcdd.Close();
                Say("configuration read again: " + std::to_string(pcs.size()) + " PC" +
                    (pcs.size() == 1 ? "" : "s"));
            } else {
                Say(error + "; going on with the configuration read before");
            }
        }
        const auto now = Clock::now();
        if (!lcdd.IsOpen() && now >= lcddDue) {
            std::string why;
            if (lcdd.Open(settings->lcdd, &why) && screens.Build(lcdd, pcs, settings->scroll)) {
                Say("showing " + std::to_string(pcs.size()) + " PC" + (pcs.size() == 1 ? "" : "s") +
                    " on LCDd at " + settings->lcdd.host + ":" +
                    std::to_string(settings->lcdd.port) + ", a display of " +
                    std::to_string(lcdd.Width()) + "x" + std::to_string(lcdd.Height()));
                lcddBackOff = std::chrono::seconds(0);
                lcddProblem.clear();
            } else {
                lcdd.Close();
                lcddBackOff = std::min(std::chrono::seconds(60),
                                       std::max(std::chrono::seconds(1), 2 * lcddBackOff));
                lcddDue = now + lcddBackOff;
                if (why != lcddProblem)
                    Say("no LCDd at " + settings->lcdd.host + ":" +
                        std::to_string(settings->lcdd.port) + ": " + why +
                        "; trying again, less and less often");
                lcddProblem = why;
            }
        }
        for (Pc& pc : pcs) {
            if (Clock::now() < pc.due) continue;
            std::string why;
            pc.report = lcd::FetchReport(pc.settings.address, &why);
            const std::chrono::seconds interval(settings->intervalSeconds);
            if (pc.report) {
                if (!pc.problem.empty()) Say(pc.settings.name + " answers again");
                pc.problem.clear();
                pc.backOff = interval;
            } else {
                if (why != pc.problem) Say(pc.settings.name + ": no answer (" + why + ")");
                pc.problem = why;
                pc.backOff = std::min(std::chrono::seconds(60),
                                      pc.backOff.count() ? 2 * pc.backOff : interval);
            }
            pc.due = Clock::now() + pc.backOff;
        }
        if (lcdd.IsOpen()) {
            for (std::size_t i = 0; i < pcs.size(); ++i)
                if (!screens.Show(lcdd, i, pcs[i],
                                  Texts(pcs[i], *settings, lcdd.Width(), lcdd.Height()))) {
                    Say("LCDd went away; trying again");
                    lcdd.Close();
                    break;
                }
            if (lcdd.IsOpen() && !std::exchange(ready, true)) TellServiceManagerReady();
        }
        auto next = Clock::now() + std::chrono::seconds(settings->intervalSeconds);
        for (const Pc& pc : pcs)
            next = std::min(next, pc.due);
        if (!lcdd.IsOpen()) next = std::min(next, lcddDue);
        if (lcd::SleepUntil(next, lcdd.Descriptor()) && !lcdd.Heard())
            Say("LCDd went away; trying again");
    }
}
