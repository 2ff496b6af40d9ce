#include "headless.h"

#include "command_line.h"
#include "report.h"
#include "stop_requests.h"

#include <QCoreApplication>

namespace {

// How often an idle service looks at the sensor block, to tell when its
// publisher stops or comes back.
constexpr std::chrono::seconds kSourceWatch{10};

} // namespace

HeadlessService::HeadlessService(MonitorEnvironment env, StartOptions options,
                                 const ServiceChoice& choice, QObject* parent)
    : QObject(parent), monitor_(std::move(env)), options_(std::move(options)), choice_(choice),
      service_(new ReportService(
          [this] {
              monitor_.RefreshReadings(korvid::kRefreshInterval);
              return BuildReport(monitor_.ForReport());
          },
          choice.settings, this)) {
    sourceWatch_.setInterval(kSourceWatch);
    connect(&sourceWatch_, &QTimer::timeout, this,
            [this] { monitor_.RefreshReadings(kSourceWatch); });
    auto say = [this](const QString& text) { Log(text.toStdString()); };
    connect(service_, &ReportService::Listening, this, say);
    connect(service_, &ReportService::ListenFailed, this, say);
    connect(service_, &ReportService::ListeningAgain, this, say);
    connect(service_, &ReportService::Note, this, say);
}

void HeadlessService::Log(const std::string& line) const {
    if (monitor_.Environment().log) monitor_.Environment().log(line);
}

void HeadlessService::TellPairs(const Monitor::PairsLoaded& loaded, bool again) const {
    const std::string& file = monitor_.Environment().settingsFile;
    if (loaded.found) {
        Log(std::string(again ? "read the sensor pairs again from " : "sensor pairs from ") + file +
            ": " + std::to_string(loaded.paired) + " of " + std::to_string(pairing::kParamCount) +
            " parameters paired");
        return;
    }
    Log((loaded.error.empty() ? "no sensor pairs in " + file : loaded.error) +
        ": every parameter reads NA; write the pairs there ('korvid-hwmon --list' numbers the "
        "sensors; 'man korvid-halvane' shows the file), then send SIGHUP");
}

void HeadlessService::TellAllowList(const ServiceChoice& choice) const {
    Log(choice.allowText);
    for (const std::string& note : choice.notes)
        Log(note);
}

void HeadlessService::Start() {
    monitor_.StartUp();
    TellPairs(monitor_.LoadPairings(), false);
    sourceWatch_.start();
    TellAllowList(choice_);
    service_->Start();
}

void HeadlessService::Reload() {
    TellPairs(monitor_.ReloadPairings(), true);
    std::string error;
    if (const auto choice =
            ChooseAllowList(options_, monitor_.Environment().settingsFile, &error)) {
        service_->SetAllowList(choice->settings.allow);
        TellAllowList(*choice);
    } else {
        Log(error + "; the allow list stays as it was");
    }
}

int RunHeadless(int argc, char** argv, const StartOptions& options) {
    // Qt's own event dispatcher: GLib's wakes itself several times per
    // socket event.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(korvid::kAppTitle));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(korvid::kVersionText));
    MonitorEnvironment env = SystemEnvironment();
    std::string error;
    const auto choice = ChooseService(options, env.settingsFile, &error);
    if (!choice) {
        env.log(error);
        return 2;
    }
    HeadlessService service(std::move(env), options, *choice);
    const StopRequests requests([] { QCoreApplication::exit(0); },
                                [&service] { service.Reload(); });
    service.Start();
    return QCoreApplication::exec();
}
