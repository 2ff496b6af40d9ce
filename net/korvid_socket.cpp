#include "korvid_socket.h"

#include <QTcpServer>
#include <QTcpSocket>

Korvid::Korvid(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &Korvid::OnNewConnection);
}

Korvid::~Korvid() = default;

quint16 Korvid::ListeningPort() const {
    return server_->isListening() ? server_->serverPort() : 0;
}

int Korvid::State() const {
    if (connection_) {
        switch (connection_->state()) {
        case QAbstractSocket::ConnectedState:
            return sckConnected;
        case QAbstractSocket::ClosingState:
            return sckClosing;
        default:
            break;
        }
    }
    return server_->isListening() ? sckListening : sckClosed;
}

bool Korvid::Listen() {
    DropPending();
    // QTcpServer sets SO_REUSEADDR on Unix; Any is the dual-stack address.
    if (server_->isListening() || server_->listen(QHostAddress::Any, localPort_)) {
        error_.clear();
        return true;
    }
    error_ = server_->errorString();
    return false;
}

void Korvid::OnNewConnection() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (pending_ || connection_) {
            // One client at a time: whoever queued behind the first is refused.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        pending_ = socket;
        pendingID_ = ++lastID_;
        emit ConnectionRequest(pendingID_);
    }
}

void Korvid::DropPending() {
    if (!pending_) return;
    pending_->abort();
    pending_->deleteLater();
    pending_ = nullptr;
}

void Korvid::Close() {
    if (server_->isListening()) server_->close();
    if (connection_) {
        QTcpSocket* socket = connection_;
        connection_ = nullptr;
        socket->disconnect(this);
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        // The connection ends on the next turn of the event loop, after the
        // caller has listened again: a client that reconnects the moment it
        // sees the end of its report then finds the port open.
        QMetaObject::invokeMethod(
            socket,
            [socket] {
                socket->disconnectFromHost();
                if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
            },
            Qt::QueuedConnection);
    }
}

void Korvid::Accept(int requestID) {
    if (!pending_ || requestID != pendingID_) return;
    Close();
    connection_ = pending_;
    pending_ = nullptr;
    QTcpSocket* socket = connection_;
    connect(socket, &QTcpSocket::readyRead, this,
            [this, socket] { emit DataArrival(socket->bytesAvailable()); });
    // The socket writes from its own notifier on the event loop, so
    // SendComplete is an event of its own, never raised from inside SendData;
    // Close() disconnects a socket before it goes, so no completion outlives
    // its connection.
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        if (socket->bytesToWrite() == 0) emit SendComplete();
    });
    connect(socket, &QTcpSocket::disconnected, this, &Korvid::ConnectionLost);
    connect(socket, &QTcpSocket::errorOccurred, this, &Korvid::ConnectionLost);
}

QByteArray Korvid::GetData() {
    return connection_ ? connection_->readAll() : QByteArray();
}

void Korvid::SendData(const QByteArray& data) {
    if (connection_ && connection_->state() == QAbstractSocket::ConnectedState) {
        connection_->write(data);
    }
}
