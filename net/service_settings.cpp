#include "service_settings.h"

#include "ini_text.h"
#include "korvid_facts.h"
#include "profile.h"

namespace {

constexpr const char* kSection = "Korvid";

// A setting that the command line gives, or else the settings file.
struct Setting {
    const char* option;
    const char* key;
};
constexpr Setting kListen{"--listen", "Listen"};
constexpr Setting kAllow{"--allow", "Allow"};

// The settings file's text, read once for both settings.
struct SettingsText {
    const std::string& file;
    std::optional<std::string> text; // nothing until read

    bool Read(std::string* error) {
        if (text) return true;
        std::string read;
        if (!profile::ReadSettingsText(file, read, error)) return false;
        text = std::move(read);
        return true;
    }
};

// The items of `setting`: the command line's, else the file's; `from` names
// where they came from, for messages. Nothing, with the reason, when they
// cannot be told.
std::optional<std::vector<std::string>> Items(const std::vector<std::string>& given,
                                              const Setting& setting, SettingsText& settings,
                                              std::string& from, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<std::vector<std::string>> {
        if (error) *error = from + ": " + why;
        return std::nullopt;
    };
    std::vector<std::string> items;
    if (!given.empty()) {
        from = setting.option;
        for (const std::string& value : given) {
            if (tcp::SplitList(value).empty()) return fail("an empty value names nothing");
            for (std::string& item : tcp::SplitList(value))
                items.push_back(std::move(item));
        }
        return items;
    }
    from = std::string(setting.key) + "= in " + settings.file;
    if (!settings.Read(error)) return std::nullopt;
    std::string problem;
    const auto value = ini::FindValue(*settings.text, kSection, setting.key, &problem);
    // A section or key written twice makes the whole file ambiguous, not
    // just this setting.
    if (!problem.empty()) {
        if (error) *error = settings.file + ": " + problem;
        return std::nullopt;
    }
    if (!value) return items;
    if (value->size() > kMaxSettingChars)
        return fail("the value is longer than " + std::to_string(kMaxSettingChars) + " characters");
    items = tcp::SplitList(*value);
    if (items.empty())
        return fail("the value is empty; leave the line out for the default, or name what is "
                    "meant");
    return items;
}

} // namespace

std::optional<ServiceChoice> ChooseService(const ServiceOptions& options,
                                           const std::string& settingsFile, std::string* error) {
    SettingsText settings{settingsFile, std::nullopt};
    ServiceChoice choice;
    std::string from;
    const auto listen = Items(options.listen, kListen, settings, from, error);
    if (!listen) return std::nullopt;
    for (const std::string& item : *listen) {
        std::string why;
        const auto endpoint = tcp::ParseEndpoint(item, korvid::kPort, &why);
        if (!endpoint) {
            if (error) (*error = from).append(": ").append(why);
            return std::nullopt;
        }
        choice.listen.push_back(*endpoint);
    }
    if (const std::string overlap = tcp::Overlap(choice.listen); !overlap.empty()) {
        if (error) *error = from + ": " + overlap;
        return std::nullopt;
    }
    if (choice.listen.empty()) choice.listen = {{std::nullopt, korvid::kPort}};

    const auto allow = Items(options.allow, kAllow, settings, from, error);
    if (!allow) return std::nullopt;
    for (const std::string& item : *allow) {
        std::string why;
        const auto parsed = tcp::ParseAllowItem(item, &why);
        if (!parsed) {
            if (error) (*error = from).append(": ").append(why);
            return std::nullopt;
        }
        if (parsed->rule)
            choice.allowRules.push_back(*parsed->rule);
        else
            choice.allowNames.push_back(parsed->hostName);
    }
    return choice;
}
