#include "korvid.h"

#include <QSocketNotifier>
#include <QStringList>

namespace {

constexpr std::string_view kGreeting = "\r\n";
// Reads per readiness: what a display sends is drained before the report
// (a close with unread data would reset the connection and could lose the
// report), but one that keeps sending cannot hold the event loop.
constexpr int kReadsPerPass = 16;

// Points a notifier at `socket` and switches it on, making it on first use.
// Reused rather than made per connection: deleting one posts an event, and
// every posted event wakes the event loop once more.
template <typename Slot>
void Watch(QSocketNotifier*& notifier, tcp::Socket socket, QSocketNotifier::Type type,
           Korvid* owner, Slot slot) {
    if (!notifier) {
        notifier = new QSocketNotifier(socket, type, owner);
        QObject::connect(notifier, &QSocketNotifier::activated, owner, slot);
    } else {
        notifier->setSocket(socket);
    }
    notifier->setEnabled(true);
}

QString WhereText(const std::vector<tcp::Endpoint>& bound) {
    QStringList where;
    for (const tcp::Endpoint& endpoint : bound)
        where << QString::fromStdString(tcp::EndpointText(endpoint)) +
                     (endpoint.address ? QString()
                                       : QStringLiteral(" (every IPv4 and IPv6 address)"));
    return where.join(QStringLiteral(", "));
}

} // namespace

Korvid::Korvid(ReportSource source, const ServiceSettings& settings, QObject* parent)
    : QObject(parent), source_(std::move(source)), limits_(settings.limits),
      endpoints_(settings.listen), listener_(settings.makeListener()), allow_(settings.allow) {
    listenRetry_.setInterval(limits_.listenRetry);
    connect(&listenRetry_, &QTimer::timeout, this, &Korvid::Listen);
    acceptBackOff_.setSingleShot(true);
    connect(&acceptBackOff_, &QTimer::timeout, this, [this] {
        for (QSocketNotifier* notifier : listenerNotifiers_)
            notifier->setEnabled(true);
    });
    // One timer for the limit, left running from one display to the next
    // (starting and stopping it per connection costs more than a report):
    // when it fires it ends a connection past its deadline, or waits on
    // for the one being served.
    exchangeLimit_.setSingleShot(true);
    connect(&exchangeLimit_, &QTimer::timeout, this, [this] {
        if (connection_ == tcp::kNoSocket) return;
        const auto left = deadline_ - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            EndConnection();
        else
            exchangeLimit_.start(std::chrono::ceil<std::chrono::milliseconds>(left));
    });
    turnedAwayNote_.setInterval(limits_.note);
    connect(&turnedAwayNote_, &QTimer::timeout, this, &Korvid::TellTurnedAway);
}

Korvid::~Korvid() {
    Close();
}

quint16 Korvid::ListeningPort() const {
    const auto bound = listener_->Bound();
    return listening_ && !bound.empty() ? bound.front().port : 0;
}

void Korvid::Listen() {
    if (listening_ || closed_) return;
    std::string why;
    bool lasting = false;
    if (!listener_->Listen(endpoints_, limits_.keepAlive, &why, &lasting)) {
        if (!lasting && !listenRetry_.isActive()) listenRetry_.start();
        if (lasting) listenRetry_.stop();
        if (!failedToListen_) {
            failedToListen_ = true;
            emit ListenFailed(QString::fromLocal8Bit(why.c_str()), lasting);
        }
        return;
    }
    listenRetry_.stop();
    listening_ = true;
    for (const tcp::Socket handle : listener_->Handles()) {
        auto* notifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this,
                [this, handle] { OnConnectionWaiting(handle); });
        listenerNotifiers_.push_back(notifier);
    }
    const QString where = WhereText(listener_->Bound());
    if (std::exchange(failedToListen_, false))
        emit ListeningAgain(where);
    else
        emit Listening(where);
}

void Korvid::Close() {
    closed_ = true;
    listening_ = false;
    listenRetry_.stop();
    acceptBackOff_.stop();
    qDeleteAll(listenerNotifiers_);
    listenerNotifiers_.clear();
    if (connection_ != tcp::kNoSocket) {
        exchangeLimit_.stop();
        readNotifier_->setEnabled(false);
        if (writeNotifier_) writeNotifier_->setEnabled(false);
        tcp::Close(std::exchange(connection_, tcp::kNoSocket));
    }
    for (const tcp::Socket waiting : queue_)
        tcp::Close(waiting);
    queue_.clear();
    listener_->Close();
}

// One connection per readiness: the notifier fires again while more wait,
// and an accept that finds none would only cost a system call.
void Korvid::OnConnectionWaiting(tcp::Socket listening) {
    std::string why;
    tcp::Address peer;
    const tcp::Socket client = listener_->Accept(listening, &peer, &why);
    if (client == tcp::kNoSocket) {
        if (why.empty()) return; // the client gave up before it was taken
        // The connection waits on in the kernel's queue; accepting again at
        // once would fail again at once.
        for (QSocketNotifier* notifier : listenerNotifiers_)
            notifier->setEnabled(false);
        acceptBackOff_.start(
            acceptFailing_ ? std::min(limits_.listenRetry,
                                      2 * std::chrono::milliseconds(acceptBackOff_.interval()))
                           : limits_.acceptBackOff);
        if (!std::exchange(acceptFailing_, true))
            emit Note(QString::fromLocal8Bit(why.c_str()) + "; accepting again shortly");
        return;
    }
    if (std::exchange(acceptFailing_, false))
        emit Note(QStringLiteral("accepting connections again"));
    if (!allow_.Allows(peer)) {
        tcp::Close(client);
        TellDenied(peer);
        return;
    }
    if (connection_ == tcp::kNoSocket) {
        Korvid_ConnectionRequest(client);
        return;
    }
    // Served in turn. When the queue is full, those that hung up meanwhile
    // make room first.
    if (queue_.size() >= limits_.queue)
        std::erase_if(queue_, [](tcp::Socket waiting) {
            if (!tcp::HungUp(waiting)) return false;
            tcp::Close(waiting);
            return true;
        });
    if (queue_.size() < limits_.queue) {
        queue_.push_back(client);
        return;
    }
    tcp::Close(client);
    ++turnedAway_;
    if (!turnedAwayNote_.isActive()) {
        TellTurnedAway();
        turnedAwayNote_.start();
    }
}

void Korvid::StartLimit() {
    deadline_ = std::chrono::steady_clock::now() + limits_.exchange;
    if (!exchangeLimit_.isActive()) exchangeLimit_.start(limits_.exchange);
}

void Korvid::Korvid_ConnectionRequest(tcp::Socket client) {
    connection_ = client;
    ++serial_;
    SendPhase = 0;
    asked_ = false;
    StartLimit();
    Watch(readNotifier_, connection_, QSocketNotifier::Read, this, &Korvid::OnReadable);
    SendData(std::string(kGreeting));
}

void Korvid::OnReadable() {
    char buffer[4096];
    tcp::ReadResult result;
    std::size_t arrived = 0;
    for (int pass = 0; pass < kReadsPerPass; ++pass) {
        result = tcp::Read(connection_, buffer, sizeof buffer);
        arrived += result.bytes;
        if (result.bytes < sizeof buffer) break;
    }
    const unsigned served = serial_;
    if (arrived > 0 && !asked_) {
        Korvid_DataArrival();
        if (serial_ != served || connection_ == tcp::kNoSocket) return; // the report ended it
    }
    if (result.failed || (result.ended && !asked_)) {
        EndConnection();
    } else if (result.ended) {
        // Nothing more will come; what was asked for still goes out.
        readNotifier_->setEnabled(false);
    }
}

// Any data asks for one report, whatever it says.
void Korvid::Korvid_DataArrival() {
    asked_ = true;
    SendPhase = 1;
    StartLimit();
    SendData(source_());
}

void Korvid::SendData(std::string data) {
    if (!unsent_.empty()) {
        unsent_ += data;
        return;
    }
    const long sent = tcp::Write(connection_, data.data(), data.size());
    if (sent < 0) {
        // Ended once the caller is done with the connection.
        QMetaObject::invokeMethod(
            this,
            [this, served = serial_] {
                if (serial_ == served && connection_ != tcp::kNoSocket) EndConnection();
            },
            Qt::QueuedConnection);
        return;
    }
    if (static_cast<std::size_t>(sent) == data.size()) {
        Korvid_SendComplete();
        return;
    }
    unsent_ = data.substr(static_cast<std::size_t>(sent));
    Watch(writeNotifier_, connection_, QSocketNotifier::Write, this, &Korvid::OnWritable);
}

void Korvid::OnWritable() {
    const long sent = tcp::Write(connection_, unsent_.data(), unsent_.size());
    if (sent < 0) {
        EndConnection();
        return;
    }
    unsent_.erase(0, static_cast<std::size_t>(sent));
    if (!unsent_.empty()) return;
    writeNotifier_->setEnabled(false);
    Korvid_SendComplete();
}

void Korvid::Korvid_SendComplete() {
    if (SendPhase == 1) {
        EndConnection();
        return;
    }
    SendPhase = 1;
}

// The connection is over (served, failed, or silent past the limit): the
// next display that still waits is greeted.
void Korvid::EndConnection() {
    readNotifier_->setEnabled(false);
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    unsent_.clear();
    tcp::Close(std::exchange(connection_, tcp::kNoSocket));
    while (!queue_.empty()) {
        const tcp::Socket next = queue_.front();
        queue_.pop_front();
        if (!tcp::HungUp(next)) {
            Korvid_ConnectionRequest(next);
            return;
        }
        tcp::Close(next);
    }
}

// A refused address is told once a minute at most, and only so many are
// remembered: a flood from many addresses cannot flood the log or memory.
void Korvid::TellDenied(const tcp::Address& peer) {
    const auto now = std::chrono::steady_clock::now();
    if (deniedTold_.size() >= limits_.deniedRemembered)
        std::erase_if(deniedTold_,
                      [&](const auto& told) { return now - told.second >= limits_.note; });
    const auto told = deniedTold_.find(peer.bytes);
    if (told != deniedTold_.end() && now - told->second < limits_.note) return;
    if (told == deniedTold_.end() && deniedTold_.size() >= limits_.deniedRemembered) return;
    deniedTold_[peer.bytes] = now;
    emit Note(QStringLiteral("refused a display at %1: the allow list does not hold it")
                  .arg(QString::fromStdString(tcp::AddressText(peer))));
}

void Korvid::TellTurnedAway() {
    if (turnedAway_ == 0) {
        turnedAwayNote_.stop();
        return;
    }
    emit Note(QStringLiteral("closed %1 display%2 without the greeting: %3 were waiting already "
                             "(told at most once a minute)")
                  .arg(turnedAway_)
                  .arg(turnedAway_ == 1 ? "" : "s")
                  .arg(limits_.queue));
    turnedAway_ = 0;
}
