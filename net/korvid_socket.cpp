#include "korvid_socket.h"

#include <QSocketNotifier>

namespace {

constexpr qsizetype kKeptBytes = qsizetype{64} * 1024;
// Reads per readiness; a client that keeps its data flowing cannot hold the
// event loop, it is read again on the next pass.
constexpr int kReadsPerPass = 16;
// Connections taken per readiness of a listening socket, for the same reason.
constexpr int kAcceptsPerPass = 64;

// Points a notifier at `socket` (which may have changed since it was last
// watched) and switches it on, making it on first use. Reused rather than
// made per connection: deleting one posts an event, and every posted event
// wakes the event loop once more.
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

} // namespace

Korvid::Korvid(std::unique_ptr<tcp::PortListener> listener, QObject* parent)
    : QObject(parent), listener_(std::move(listener)) {
    backOff_.setSingleShot(true);
    connect(&backOff_, &QTimer::timeout, this, [this] { EnableListeners(true); });
}

Korvid::~Korvid() {
    // Notifiers go before their sockets.
    qDeleteAll(listenerNotifiers_);
    delete readNotifier_;
    delete writeNotifier_;
    if (connection_ != tcp::kNoSocket) tcp::Close(connection_);
    if (pending_ != tcp::kNoSocket) tcp::Close(pending_);
}

void Korvid::SetAcceptBackOff(std::chrono::milliseconds first, std::chrono::milliseconds longest) {
    firstBackOff_ = first;
    longestBackOff_ = longest;
}

quint16 Korvid::ListeningPort() const {
    const auto bound = listener_->Bound();
    return accepting_ && !bound.empty() ? bound.front().port : 0;
}

Korvid::SocketState Korvid::State() const {
    if (connection_ != tcp::kNoSocket) return SocketState::Connected;
    return accepting_ ? SocketState::Listening : SocketState::Closed;
}

bool Korvid::Listen() {
    if (pending_ != tcp::kNoSocket) { // announced, never accepted
        tcp::Close(pending_);
        pending_ = tcp::kNoSocket;
    }
    if (!listener_->IsListening()) {
        std::string why;
        if (!listener_->Listen(endpoints_, keepAlive_, &why)) {
            error_ = QString::fromLocal8Bit(why.c_str());
            return false;
        }
        error_.clear();
        for (const tcp::Socket handle : listener_->Handles()) {
            auto* notifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this,
                    [this, handle] { OnConnectionWaiting(handle); });
            listenerNotifiers_.push_back(notifier);
        }
    }
    accepting_ = true;
    return true;
}

void Korvid::EnableListeners(bool enabled) {
    for (QSocketNotifier* notifier : listenerNotifiers_)
        notifier->setEnabled(enabled);
}

// Takes every connection waiting. A client is served only while clients are
// accepted and none is being served; the others, and clients from addresses
// the allow list does not hold, are closed at once without a word.
void Korvid::OnConnectionWaiting(tcp::Socket listening) {
    for (int taken = 0; taken < kAcceptsPerPass; ++taken) {
        std::string why;
        tcp::Address peer;
        const tcp::Socket socket = listener_->Accept(listening, &peer, &why);
        if (socket == tcp::kNoSocket) {
            if (why.empty()) return; // none waits, or the client gave up
            // The connection waits on in the kernel's queue; accepting again
            // at once would fail again at once.
            EnableListeners(false);
            const auto delay =
                acceptFailing_
                    ? std::min(longestBackOff_, 2 * std::chrono::milliseconds(backOff_.interval()))
                    : firstBackOff_;
            backOff_.start(delay);
            if (!acceptFailing_) {
                acceptFailing_ = true;
                emit AcceptFailing(QString::fromLocal8Bit(why.c_str()));
            }
            return;
        }
        if (acceptFailing_) {
            acceptFailing_ = false;
            emit AcceptingAgain();
        }
        if (!allow_.Allows(peer)) {
            tcp::Close(socket);
            emit Denied(peer);
            continue;
        }
        if (!accepting_ || connection_ != tcp::kNoSocket || pending_ != tcp::kNoSocket) {
            tcp::Close(socket); // one client at a time
            continue;
        }
        pending_ = socket;
        pendingID_ = ++lastID_;
        emit ConnectionRequest(pendingID_);
        if (!listener_->IsListening()) return; // the handler gave the port up
    }
}

void Korvid::Close() {
    accepting_ = false;
    if (connection_ != tcp::kNoSocket) DropConnection();
}

void Korvid::Shutdown() {
    Close();
    backOff_.stop();
    qDeleteAll(listenerNotifiers_);
    listenerNotifiers_.clear();
    if (pending_ != tcp::kNoSocket) tcp::Close(pending_);
    pending_ = tcp::kNoSocket;
    listener_->Close();
}

void Korvid::DropConnection() {
    readNotifier_->setEnabled(false);
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    tcp::Close(connection_);
    connection_ = tcp::kNoSocket;
    ++serial_;
    unsent_.clear();
    received_.clear();
}

void Korvid::Accept(int requestID) {
    if (pending_ == tcp::kNoSocket || requestID != pendingID_ || connection_ != tcp::kNoSocket)
        return;
    connection_ = pending_;
    pending_ = tcp::kNoSocket;
    ++serial_;
    asked_ = false;
    Watch(readNotifier_, connection_, QSocketNotifier::Read, this, &Korvid::OnReadable);
}

void Korvid::OnReadable() {
    const unsigned serial = serial_;
    char buffer[4096];
    qint64 arrived = 0;
    tcp::ReadResult result;
    for (int pass = 0; pass < kReadsPerPass; ++pass) {
        result = tcp::Read(connection_, buffer, sizeof buffer);
        const auto keep = std::min<qsizetype>(static_cast<qsizetype>(result.bytes),
                                              kKeptBytes - received_.size());
        received_.append(buffer, keep);
        arrived += static_cast<qint64>(result.bytes);
        if (result.bytes < sizeof buffer) break;
    }
    if (arrived > 0) {
        asked_ = true;
        emit DataArrival(arrived);
        if (serial != serial_) return; // the handler ended the connection
    }
    if (result.failed) {
        emit ConnectionLost();
    } else if (result.ended) {
        // Nothing more will come; what was asked for still goes out.
        readNotifier_->setEnabled(false);
        if (!asked_) emit ConnectionLost();
    }
}

QByteArray Korvid::GetData() {
    return std::exchange(received_, QByteArray());
}

void Korvid::SendData(const QByteArray& data) {
    if (connection_ == tcp::kNoSocket || data.isEmpty()) return;
    if (!unsent_.isEmpty()) {
        unsent_ += data;
        return;
    }
    const long sent =
        tcp::Write(connection_, data.constData(), static_cast<std::size_t>(data.size()));
    if (sent < 0) {
        // Told once the caller's handler is over, as a failure seen later would be.
        QMetaObject::invokeMethod(
            this,
            [this, serial = serial_] {
                if (serial == serial_) emit ConnectionLost();
            },
            Qt::QueuedConnection);
        return;
    }
    if (sent == data.size()) {
        emit SendComplete();
        return;
    }
    unsent_ = data.mid(sent);
    Watch(writeNotifier_, connection_, QSocketNotifier::Write, this, &Korvid::OnWritable);
}

void Korvid::OnWritable() {
    const long sent =
        tcp::Write(connection_, unsent_.constData(), static_cast<std::size_t>(unsent_.size()));
    if (sent < 0) {
        writeNotifier_->setEnabled(false);
        emit ConnectionLost();
        return;
    }
    unsent_.remove(0, sent);
    if (!unsent_.isEmpty()) return;
    writeNotifier_->setEnabled(false);
    emit SendComplete();
}
