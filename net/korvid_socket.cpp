#include "korvid_socket.h"

#include <QSocketNotifier>

namespace {

constexpr qsizetype kKeptBytes = qsizetype{64} * 1024;
// Reads per readiness; a client that keeps its data flowing cannot hold the
// event loop, it is read again on the next pass.
constexpr int kReadsPerPass = 16;

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
    retiredTimer_.setSingleShot(true);
    connect(&retiredTimer_, &QTimer::timeout, this, &Korvid::CloseRetired);
}

Korvid::~Korvid() {
    // Notifiers go before their sockets.
    delete listenerNotifier_;
    delete readNotifier_;
    delete writeNotifier_;
    if (connection_ != tcp::kNoSocket) tcp::Close(connection_);
    if (pending_ != tcp::kNoSocket) tcp::Close(pending_);
    CloseRetired();
}

quint16 Korvid::ListeningPort() const {
    return listener_->IsListening() ? listener_->Port() : 0;
}

Korvid::SocketState Korvid::State() const {
    if (connection_ != tcp::kNoSocket) return SocketState::Connected;
    return listener_->IsListening() ? SocketState::Listening : SocketState::Closed;
}

bool Korvid::Listen() {
    if (pending_ != tcp::kNoSocket) { // announced, never accepted
        tcp::Close(pending_);
        pending_ = tcp::kNoSocket;
    }
    std::string why;
    const bool listening = listener_->Listen(localPort_, keepAlive_, &why);
    CloseRetired();
    if (!listening) {
        error_ = QString::fromLocal8Bit(why.c_str());
        return false;
    }
    error_.clear();
    Watch(listenerNotifier_, listener_->Handle(), QSocketNotifier::Read, this,
          &Korvid::OnConnectionWaiting);
    return true;
}

void Korvid::OnConnectionWaiting() {
    std::string why;
    const tcp::Socket socket = listener_->Accept(&why);
    if (socket == tcp::kNoSocket) {
        if (why.empty()) return; // the client gave up before it was taken
        listenerNotifier_->setEnabled(false);
        listener_->Stop();
        emit AcceptFailed(QString::fromLocal8Bit(why.c_str()));
        return;
    }
    if (pending_ != tcp::kNoSocket) tcp::Close(pending_); // one client at a time
    pending_ = socket;
    pendingID_ = ++lastID_;
    emit ConnectionRequest(pendingID_);
}

void Korvid::Close() {
    if (listener_->IsListening()) {
        listenerNotifier_->setEnabled(false);
        listener_->Stop();
    }
    if (connection_ != tcp::kNoSocket) {
        DropConnection();
        retiredTimer_.start(0);
    }
}

void Korvid::DropConnection() {
    readNotifier_->setEnabled(false);
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    retired_.push_back(connection_);
    connection_ = tcp::kNoSocket;
    ++serial_;
    unsent_.clear();
    received_.clear();
}

void Korvid::CloseRetired() {
    retiredTimer_.stop();
    for (const tcp::Socket socket : retired_)
        tcp::Close(socket);
    retired_.clear();
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
