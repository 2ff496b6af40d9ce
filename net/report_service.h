#pragma once

// The report service on TCP: listen, greet a client with "\r\n", answer
// anything it sends with one report, close, listen again; one client at a
// time. The report's content comes from one callback; the service never
// shows anything itself.

#include "korvid_facts.h"
#include "tcp.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

class Korvid;

// Every limit of the service, named once.
struct ServiceLimits {
    // From the greeting to the request, and from the request to the report's
    // last byte being written. A client past it is dropped and the port
    // listens again; a display that asks at once never meets it.
    std::chrono::milliseconds exchange{20000};
    // How often a port that could not be had is tried again.
    std::chrono::milliseconds listenRetry{2000};
    // After a failed accept (descriptors exhausted), accepting pauses this
    // long, then twice as long each time it fails again, up to listenRetry.
    std::chrono::milliseconds acceptBackOff{100};
    // A client whose host vanished without a word is dropped after about
    // 10 + 3 x 5 = 25 s of silence.
    tcp::KeepAlive keepAlive{10, 5, 3};
    // A refused address is told at most once in this time.
    std::chrono::milliseconds deniedNote{60000};
    // How many refused addresses are remembered for that; past it, new ones
    // go untold until the oldest are forgotten.
    std::size_t deniedRemembered = 1024;
};

// Where the service listens and whom it answers.
struct ServiceSettings {
    // Every IPv4 and IPv6 address, port 9001, unless the operator says
    // otherwise; port 0 picks a free port, kept for the whole run (tests).
    std::vector<tcp::Endpoint> listen = {{std::nullopt, korvid::kPort}};
    tcp::AllowList allow;
    ServiceLimits limits;
    std::function<std::unique_ptr<tcp::PortListener>()> makeListener = tcp::MakeSystemListener;
};

class ReportService : public QObject {
    Q_OBJECT
public:
    // Returns the report's text as it stands at this moment. Called once per
    // request, on the service's thread, only after Start().
    using ReportSource = std::function<std::string()>;

    explicit ReportService(ReportSource source, const ServiceSettings& settings = {},
                           QObject* parent = nullptr);
    ~ReportService() override;

    // Starts listening. When the port cannot be had, ListenFailed is raised
    // and it is tried again every listenRetry until it can.
    void Start();
    // Stops listening, gives the port up and drops the client being served,
    // for good.
    void Stop();
    // Who may ask from now on.
    void SetAllowList(const tcp::AllowList& allow);
    // The first endpoint's port while clients are accepted; 0 otherwise.
    quint16 ListeningPort() const;
    const ServiceLimits& Limits() const { return limits_; }

signals:
    // Listening has started; `where` names the addresses and ports.
    void Listening(const QString& where);
    // The port cannot be had; `message` says so for the operator. Raised once
    // until listening succeeds again, and from inside socket handling:
    // connect it queued before showing anything that waits for the operator.
    void ListenFailed(const QString& message);
    // Listening again after ListenFailed.
    void ListeningAgain(const QString& message);
    // A line for the operator's log only: a refused address (at most once a
    // minute each), connections that cannot be accepted, and accepting again.
    void Note(const QString& line);

private:
    void Listen();
    void RetryLater(const QString& reason);
    void EndConnection();
    void TellDenied(const tcp::Address& peer);
    void Korvid_ConnectionRequest(int requestID);
    void Korvid_DataArrival(qint64 bytesTotal);
    void Korvid_SendComplete();
    void Korvid_ConnectionLost();

    ReportSource source_;
    ServiceLimits limits_;
    Korvid* Korvid_;
    bool started_ = false;
    // 0: a connection was just accepted and its greeting is on its way;
    // 1: the next completed send ends the connection.
    int SendPhase = 0;
    QTimer listenRetry_;
    QTimer exchangeLimit_;
    bool portWarningShown_ = false;
    bool toldListening_ = false;
    // When each refused address was last told.
    std::map<std::array<std::uint8_t, 16>, std::chrono::steady_clock::time_point> deniedTold_;
};
