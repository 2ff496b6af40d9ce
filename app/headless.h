#pragma once

// The headless service: the monitor's other face, for a box beside the
// display. The same monitor, refresh and report service as the window, on Qt
// Core alone: no window, no display, no GUI library. It tells what it does on
// standard error, one line each (the journal keeps them), and reads the pairs
// file again on SIGHUP.
//
// Nobody watches its readings between reports, so it refreshes them when a
// display asks, unless they are younger than the refresh interval; a report's
// CPU load covers the time since the previous report. Idle, it wakes only to
// check the sensor block now and then, to tell a publisher that stopped.

#include "command_line.h"
#include "monitor.h"
#include "report_service.h"
#include "service_settings.h"

#include <QObject>
#include <QTimer>

class HeadlessService : public QObject {
public:
    // `options` and `choice` as the command line and the settings file gave
    // them (ChooseService).
    HeadlessService(MonitorEnvironment env, StartOptions options, const ServiceChoice& choice,
                    QObject* parent = nullptr);

    // Start-up with the saved pairs, the refresh on, and listening; each
    // step says what it found.
    void Start();
    // Reads the pairs and the allow list again and says so.
    void Reload();

    const Monitor& monitor() const { return monitor_; }
    quint16 ListeningPort() const { return service_->ListeningPort(); }

private:
    void Log(const std::string& line) const;
    void TellPairs(const Monitor::PairsLoaded& loaded, bool again) const;

    void TellAllowList(const ServiceChoice& choice) const;

    Monitor monitor_;
    StartOptions options_;
    ServiceChoice choice_;
    ReportService* service_;
    QTimer sourceWatch_;
};

// Runs the service in this process until SIGTERM or SIGINT (the console's
// Ctrl+C on Windows); returns the exit status.
int RunHeadless(int argc, char** argv, const StartOptions& options);

// Starts the service as --headless asks, in the program that has no GUI
// library: on Linux by replacing this process with it (headless_start_linux),
// on Windows in this process. Returns only to give the exit status.
int StartHeadless(int argc, char** argv, const StartOptions& options);
