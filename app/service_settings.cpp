#include "service_settings.h"

#include "profile.h"

namespace {

constexpr const char* kSection = "Korvid";
// Longer values are cut: a few dozen addresses fit.
constexpr std::size_t kMaxValueChars = 4096;

// A setting that the command line gives, or else the settings file.
struct Setting {
    const char* option;
    const char* key;
};
constexpr Setting kListen{"--listen", "Listen"};
constexpr Setting kAllow{"--allow", "Allow"};

// The items given on the command line, else those of the settings file's
// key; `from` names where they came from, for messages.
std::vector<std::string> Items(const QStringList& given, const Setting& setting,
                               const std::string& settingsFile, std::string& from) {
    if (given.isEmpty()) {
        from = std::string(setting.key) + "= in " + settingsFile;
        return tcp::SplitList(
            profile::FindString(kSection, setting.key, kMaxValueChars, settingsFile)
                .value_or(std::string()));
    }
    from = setting.option;
    std::vector<std::string> items;
    for (const QString& value : given)
        for (std::string& item : tcp::SplitList(value.toStdString()))
            items.push_back(std::move(item));
    return items;
}

bool ChooseAllow(const StartOptions& options, const std::string& settingsFile,
                 ServiceChoice& choice, std::string* error) {
    std::string from;
    const std::vector<std::string> items = Items(options.allow, kAllow, settingsFile, from);
    tcp::AllowList& allow = choice.settings.allow;
    allow = {};
    std::vector<std::string> shown;
    for (const std::string& item : items) {
        std::string why;
        if (const auto rule = tcp::ParseAllowRule(item, &why)) {
            allow.rules.push_back(*rule);
            shown.push_back(tcp::AllowRuleText(*rule));
            continue;
        }
        if (!why.empty() || item.find_first_of("/[]") != std::string::npos) {
            if (error) *error = from + ": " + (why.empty() ? "'" + item + "' is no address" : why);
            return false;
        }
        // A host name: whatever addresses it has now.
        allow.names.push_back(item);
        const std::vector<tcp::Address> addresses = tcp::Resolve(item, &why);
        if (addresses.empty())
            choice.notes.push_back(why + "; no display is allowed by that name until it "
                                         "resolves and the list is read again");
        std::string resolved;
        for (const tcp::Address& address : addresses) {
            allow.rules.push_back({address, 128});
            resolved += (resolved.empty() ? "" : ", ") + tcp::AddressText(address);
        }
        shown.push_back(item + " (" + (resolved.empty() ? "unresolved" : resolved) + ")");
    }
    choice.allowText = "every display may ask";
    if (!items.empty()) {
        choice.allowText = "answering only displays at ";
        for (std::size_t i = 0; i < shown.size(); ++i)
            choice.allowText += (i ? ", " : "") + shown[i];
    }
    return true;
}

} // namespace

std::optional<ServiceChoice> ChooseService(const StartOptions& options,
                                           const std::string& settingsFile, std::string* error) {
    ServiceChoice choice;
    std::string from;
    const std::vector<std::string> items = Items(options.listen, kListen, settingsFile, from);
    if (!items.empty()) choice.settings.listen.clear();
    for (const std::string& item : items) {
        std::string why;
        const auto endpoint = tcp::ParseEndpoint(item, korvid::kPort, &why);
        if (!endpoint) {
            if (error) *error = from.append(": ").append(why);
            return std::nullopt;
        }
        choice.settings.listen.push_back(*endpoint);
    }
    if (!ChooseAllow(options, settingsFile, choice, error)) return std::nullopt;
    return choice;
}

std::optional<ServiceChoice> ChooseAllowList(const StartOptions& options,
                                             const std::string& settingsFile, std::string* error) {
    ServiceChoice choice;
    if (!ChooseAllow(options, settingsFile, choice, error)) return std::nullopt;
    return choice;
}
