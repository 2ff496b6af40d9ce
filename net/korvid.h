#pragma once

// Korvid, the service's socket: the whole exchange with displays. It listens
// on its endpoints for the program's life, so that no other program can take
// the port, and serves one display at a time: greets it with "\r\n", answers
// anything it sends with one report, and closes. A display that arrives while
// another is served waits, not greeted, in a short queue and is served in its
// turn; one that the allow list leaves out is closed at once. Its events come
// on the event loop of the thread that made it.

#include "korvid_facts.h"
#include "tcp.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;

// Every limit of the exchange, named once.
struct ServiceLimits {
    // From the greeting to the request, and from the request to the report's
    // last byte being written. A display past it is dropped; one that asks
    // at once never meets it.
    std::chrono::milliseconds exchange{20000};
    // How often a port that could not be had is tried again.
    std::chrono::milliseconds listenRetry{2000};
    // After a failed accept (descriptors exhausted), accepting pauses this
    // long, then twice as long each time it fails again, up to listenRetry.
    std::chrono::milliseconds acceptBackOff{100};
    // A display whose host vanished without a word is dropped after about
    // 10 + 3 x 5 = 25 s of silence.
    tcp::KeepAlive keepAlive{10, 5, 3};
    // Displays waiting for their turn; past it a newcomer is closed without
    // the greeting.
    std::size_t queue = 16;
    // A refused address, and displays closed because the queue was full, are
    // told at most once in this time.
    std::chrono::milliseconds note{60000};
    // How many refused addresses are remembered for that; past it, new ones
    // go untold until the oldest are forgotten.
    std::size_t deniedRemembered = 1024;
    // A host name of the allow list that does not resolve is looked up again
    // after this, then twice as long each time, up to the longest.
    std::chrono::milliseconds lookupRetry{5000};
    std::chrono::milliseconds lookupRetryLongest{300000};
};

// Where the exchange listens and whom it answers.
struct ServiceSettings {
    // Every IPv4 and IPv6 address, port 9001, unless the operator says
    // otherwise; port 0 picks a free port, kept for the whole run (tests).
    std::vector<tcp::Endpoint> listen = {{std::nullopt, korvid::kPort}};
    tcp::AllowList allow;
    ServiceLimits limits;
    std::function<std::unique_ptr<tcp::PortListener>()> makeListener = tcp::MakeSystemListener;
};

class Korvid : public QObject {
    Q_OBJECT
public:
    // The report's text as it stands at this moment; called once per request.
    using ReportSource = std::function<std::string()>;

    explicit Korvid(ReportSource source, const ServiceSettings& settings = {},
                    QObject* parent = nullptr);
    ~Korvid() override;

    // Starts listening. While the port cannot be had, ListenFailed says so
    // once, and it is tried again every listenRetry until it can, unless
    // waiting cannot mend it.
    void Listen();
    // Gives the port up and drops every display, for good.
    void Close();
    // Who may ask from now on.
    void SetAllowList(tcp::AllowList allow) { allow_ = std::move(allow); }
    // The first endpoint's port while listening; 0 otherwise.
    quint16 ListeningPort() const;
    // A display is being served; how many wait for their turn.
    bool Serving() const { return connection_ != tcp::kNoSocket; }
    std::size_t Waiting() const { return queue_.size(); }
    // The connection being served, tcp::kNoSocket when none (for tests).
    tcp::Socket Connection() const { return connection_; }

signals:
    // Listening has started (`where` names the addresses and ports), or
    // started again after ListenFailed.
    void Listening(const QString& where);
    void ListeningAgain(const QString& where);
    // The port cannot be had, said once until listening succeeds; `lasting`
    // when waiting cannot mend it (nothing is tried again then). Raised from
    // inside socket handling: connect it queued before showing anything that
    // waits for the operator.
    void ListenFailed(const QString& message, bool lasting);
    // A line for the operator's log only: refused addresses, displays closed
    // because too many waited (each at most once a minute), accepting that
    // fails and works again.
    void Note(const QString& line);

private:
    void OnConnectionWaiting(tcp::Socket listening);
    void StartLimit();
    void Korvid_ConnectionRequest(tcp::Socket client);
    void OnReadable();
    void Korvid_DataArrival();
    void SendData(std::string data);
    void OnWritable();
    void Korvid_SendComplete();
    void EndConnection();
    void TellDenied(const tcp::Address& peer);
    void TellTurnedAway();

    ReportSource source_;
    ServiceLimits limits_;
    std::vector<tcp::Endpoint> endpoints_;
    std::unique_ptr<tcp::PortListener> listener_;
    tcp::AllowList allow_;
    std::vector<QSocketNotifier*> listenerNotifiers_;
    bool listening_ = false;
    bool failedToListen_ = false;
    bool closed_ = false;
    QTimer listenRetry_;
    QTimer acceptBackOff_;
    bool acceptFailing_ = false;

    // The display being served, and those waiting for their turn.
    tcp::Socket connection_ = tcp::kNoSocket;
    unsigned serial_ = 0; // counts connections, to tell one from the next
    std::deque<tcp::Socket> queue_;
    // 0: the greeting is on its way; 1: the next completed send ends the
    // connection.
    int SendPhase = 0;
    bool asked_ = false;
    std::string unsent_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QTimer exchangeLimit_;
    std::chrono::steady_clock::time_point deadline_;

    // When each refused address was last told; displays turned away since
    // the last line that said so.
    std::map<std::array<std::uint8_t, 16>, std::chrono::steady_clock::time_point> deniedTold_;
    int turnedAway_ = 0;
    QTimer turnedAwayNote_;
};
