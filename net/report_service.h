#pragma once

// The report service that both faces hold, the window and the headless
// service alike: the monitor with its settings file, where it listens and
// whom it answers, the exchange that serves its reports (Korvid), reading
// all of it again, and the log lines that say what it does. A face only
// shows the model and answers the operator; it builds no service of its own.

#include "allow_lookup.h"
#include "korvid.h"
#include "monitor.h"
#include "service_settings.h"

#include <QObject>
#include <QTimer>
#include <optional>
#include <string>

class ReportService : public QObject {
    Q_OBJECT
public:
    struct Options {
        ServiceOptions where; // --listen and --allow
        // Nobody watches the readings between reports (the headless face):
        // they are read when a display asks, unless younger than the refresh
        // interval, and the block is looked at now and then to tell a
        // publisher that stops. The window refreshes them itself.
        bool refreshOnRequest = false;
    };

    // `exchange` gives the limits and the listener (tests); its endpoints and
    // allow list come from the settings.
    ReportService(MonitorEnvironment env, Options options, ServiceSettings exchange = {},
                  AllowListLookup::Resolver resolve = tcp::Resolve, QObject* parent = nullptr);
    ~ReportService() override;

    Monitor& monitor() { return monitor_; }
    const Monitor& monitor() const { return monitor_; }
    const std::string& SettingsFile() const { return monitor_.Environment().settingsFile; }

    // Reads where to listen and whom to answer. False when they cannot be
    // told; SettingsProblem() says why, and nothing listens until Reload()
    // finds them mended.
    bool ReadSettings();
    const std::string& SettingsProblem() const { return problem_; }
    // Loads the saved pairs and says what it found.
    void LoadPairs();
    // Listens as the settings say, and says where and for whom.
    void Listen();
    // Gives the port up for good.
    void Stop();
    // What SIGHUP asks for: the pairs again (when they came from the file and
    // the operator has not changed them since), whom to answer and, when the
    // settings could not be read before, where to listen. Settings that
    // cannot be read now leave those in force as they were.
    void Reload();

    // The first endpoint's port while listening; 0 otherwise.
    quint16 ListeningPort() const { return exchange_ ? exchange_->ListeningPort() : 0; }
    // Whether every host name of the allow list has been looked up.
    bool AllowListComplete() const { return lookup_.Complete(); }

signals:
    // The port cannot be had (`lasting`: waiting will not mend it), and has
    // been had after all. Raised from inside socket handling: connect them
    // queued before showing anything that waits for the operator.
    void ListenFailed(const QString& message, bool lasting);
    void ListeningAgain(const QString& where);
    // A report went out: the load and the drives are as it sent them.
    void Reported();
    // The pairs were read again.
    void PairsChanged();

private:
    void Log(const std::string& line) const;
    void TellPairs(const Monitor::PairsLoaded& loaded, bool again) const;
    void Answer(const ServiceChoice& choice);

    Monitor monitor_;
    Options options_;
    ServiceSettings exchangeSettings_;
    std::optional<ServiceChoice> choice_;
    std::string problem_;
    Korvid* exchange_ = nullptr;
    AllowListLookup lookup_;
    QTimer sourceWatch_;
};
