#include "report_service.h"

#include "report.h"

namespace {

// How often a service that refreshes on request looks at the sensor block
// while nobody asks, to tell when its publisher stops or comes back.
constexpr std::chrono::seconds kSourceWatch{10};

std::string Text(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

ReportService::ReportService(MonitorEnvironment env, Options options, ServiceSettings exchange,
                             AllowListLookup::Resolver resolve, QObject* parent)
    : QObject(parent), monitor_(std::move(env)), options_(std::move(options)),
      exchangeSettings_(std::move(exchange)), lookup_(std::move(resolve)) {
    lookup_.SetRetry(exchangeSettings_.limits.lookupRetry,
                     exchangeSettings_.limits.lookupRetryLongest);
    connect(&lookup_, &AllowListLookup::Ready, this,
            [this](const tcp::AllowList& list, const QString& text) {
                if (exchange_) exchange_->SetAllowList(list);
                Log(Text(text));
            });
    connect(&lookup_, &AllowListLookup::Note, this,
            [this](const QString& line) { Log(Text(line)); });
    sourceWatch_.setInterval(kSourceWatch);
    connect(&sourceWatch_, &QTimer::timeout, this,
            [this] { monitor_.RefreshReadings(kSourceWatch); });
}

ReportService::~ReportService() = default;

void ReportService::Log(const std::string& line) const {
    if (monitor_.Environment().log) monitor_.Environment().log(line);
}

bool ReportService::ReadSettings() {
    choice_ = ChooseService(options_.where, SettingsFile(), &problem_);
    if (choice_) problem_.clear();
    return choice_.has_value();
}

void ReportService::TellPairs(const Monitor::PairsLoaded& loaded, bool again) const {
    if (loaded.found) {
        Log(std::string(again ? "read the sensor pairs again from " : "sensor pairs from ") +
            SettingsFile() + ": " + std::to_string(loaded.paired) + " of " +
            std::to_string(pairing::kParamCount) + " parameters paired");
        return;
    }
    Log((loaded.error.empty() ? "no sensor pairs in " + SettingsFile() : loaded.error) +
        ": every parameter reads NA; write the pairs there ('korvid-hwmon --list' numbers the "
        "sensors; 'man korvid-halvane' shows the file), then send SIGHUP");
}

void ReportService::LoadPairs() {
    TellPairs(monitor_.LoadPairings(), false);
}

void ReportService::Listen() {
    if (!choice_ || exchange_) return;
    ServiceSettings settings = exchangeSettings_;
    settings.listen = choice_->listen;
    // Until its names are looked up, the list allows what it names by
    // address alone.
    settings.allow = tcp::MakeAllowList(choice_->allowRules, {});
    for (const std::string& name : choice_->allowNames)
        settings.allow.names.push_back(name);
    exchange_ = new Korvid(
        [this] {
            if (options_.refreshOnRequest) monitor_.RefreshReadings(korvid::kRefreshInterval);
            std::string report = BuildReport(monitor_.ForReport());
            emit Reported();
            return report;
        },
        settings, this);
    connect(exchange_, &Korvid::Listening, this,
            [this](const QString& where) { Log("listening on " + Text(where)); });
    connect(exchange_, &Korvid::ListeningAgain, this, [this](const QString& where) {
        Log("listening again on " + Text(where));
        emit ListeningAgain(where);
    });
    connect(exchange_, &Korvid::ListenFailed, this, [this](const QString& why, bool lasting) {
        Log(Text(why) + (lasting
                             ? "; not serving displays"
                             : "; trying again every " +
                                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                                      exchangeSettings_.limits.listenRetry)
                                                      .count()) +
                                   " s"));
        emit ListenFailed(why, lasting);
    });
    connect(exchange_, &Korvid::Note, this, [this](const QString& line) { Log(Text(line)); });
    Answer(*choice_);
    exchange_->Listen();
    if (options_.refreshOnRequest) sourceWatch_.start();
}

// The list in force changes once every name has been looked up (Ready);
// until then it is said as it will be.
void ReportService::Answer(const ServiceChoice& choice) {
    lookup_.Start(choice.allowRules, choice.allowNames);
    if (!lookup_.Complete()) Log(tcp::AllowListText(choice.allowRules, lookup_.Names()));
}

void ReportService::Stop() {
    sourceWatch_.stop();
    if (exchange_) exchange_->Close();
}

void ReportService::Reload() {
    if (monitor_.PairsFromFile()) {
        TellPairs(monitor_.ReloadPairings(), true);
        emit PairsChanged();
    } else {
        Log("the sensor pairs were changed in the window since they were loaded: not reading "
            "them again (Save writes them)");
    }
    std::string why;
    const auto choice = ChooseService(options_.where, SettingsFile(), &why);
    if (!choice) {
        Log(why + (exchange_ ? "; the settings in force stay as they were"
                             : "; still not serving displays"));
        return;
    }
    if (!exchange_) {
        choice_ = choice;
        problem_.clear();
        Listen();
        return;
    }
    if (choice->listen != choice_->listen)
        Log("where to listen has changed: restart korvid-halvane to listen there; the port "
            "stays as it is until then");
    choice_->allowRules = choice->allowRules;
    choice_->allowNames = choice->allowNames;
    Answer(*choice_);
}
