#pragma once

// A display at the far end of the report service, driven from the test's
// own thread: Qt's client socket, with the few raw calls Qt does not offer.

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace testing_support {

class DisplayClient {
public:
    explicit DisplayClient(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool Connected() {
        return WaitUntil([this] { return socket.state() == QAbstractSocket::ConnectedState; });
    }
    bool Refused() {
        return ClosedByServer() && (socket.error() == QAbstractSocket::ConnectionRefusedError ||
                                    socket.error() == QAbstractSocket::RemoteHostClosedError);
    }
    bool ClosedByServer(int timeoutMs = 5000) {
        return WaitUntil([this] { return socket.state() == QAbstractSocket::UnconnectedState; },
                         timeoutMs);
    }
    bool Received(const QByteArray& bytes) {
        return WaitUntil([&] { return received == bytes; });
    }
    void Send(const QByteArray& data) {
        socket.write(data);
        socket.flush();
    }
    // Tells the server that nothing more will come; the client still reads.
    void HalfClose() { ::shutdown(static_cast<int>(socket.socketDescriptor()), 1); }
    // Makes the close a reset rather than an orderly end.
    void ResetOnClose() {
        const linger reset{1, 0};
        ::setsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER,
                     reinterpret_cast<const char*>(&reset), sizeof reset);
    }

    // Runs the event loop (the server's too) until `done` holds; every change
    // the client can see arrives as one of the socket's signals.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
        if (done()) return true;
        QEventLoop loop;
        auto check = [&] {
            if (done()) loop.quit();
        };
        const QList<QMetaObject::Connection> links = {
            QObject::connect(&socket, &QTcpSocket::stateChanged, &loop, check),
            QObject::connect(&socket, &QTcpSocket::readyRead, &loop, check, Qt::QueuedConnection),
        };
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        for (const auto& link : links)
            QObject::disconnect(link);
        return done();
    }

    QTcpSocket socket;
    QByteArray received;
};

// One whole exchange as a display makes it: connect, send, read until the
// server closes. Empty when any step fails.
inline QByteArray Exchange(quint16 port, const QByteArray& request) {
    DisplayClient client(port);
    if (!client.Connected()) return {};
    client.Send(request);
    return client.ClosedByServer() ? client.received : QByteArray();
}

} // namespace testing_support
