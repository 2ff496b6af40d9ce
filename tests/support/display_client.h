#pragma once

// A display at the far end of the report service, driven from the test's
// own thread: Qt's client socket, with the few raw calls Qt does not offer.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using RawSocket = SOCKET;
inline void CloseRaw(RawSocket s) {
    ::closesocket(s);
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using RawSocket = int;
inline void CloseRaw(RawSocket s) {
    ::close(s);
}
#endif

namespace testing_support {

class DisplayClient {
public:
    // Connects to `to`, from `from` when given: loopback has the whole of
    // 127.0.0.0/8, so 127.0.0.2 stands for another host.
    explicit DisplayClient(quint16 port, const QHostAddress& to = QHostAddress::LocalHost,
                           const QHostAddress& from = {}) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        if (!from.isNull()) socket.bind(from);
        socket.connectToHost(to, port);
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
inline QByteArray Exchange(quint16 port, const QByteArray& request,
                           const QHostAddress& to = QHostAddress::LocalHost,
                           const QHostAddress& from = {}) {
    DisplayClient client(port, to, from);
    if (!client.Connected()) return {};
    client.Send(request);
    return client.ClosedByServer() ? client.received : QByteArray();
}

// A display that sends its request and half-closes at once, made with the
// system's blocking calls on a thread of its own while this thread's event
// loop serves it (Qt's client socket does not see the end of a connection it
// half-closed behind Qt's back under Wine). Everything it received; empty
// when it could not connect.
inline QByteArray HalfClosingExchange(quint16 port, bool waitForGreeting) {
    QByteArray received;
    std::atomic<bool> done = false;
    std::thread display([&] {
        const RawSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            char buffer[4096];
            int n = 0;
            if (waitForGreeting && (n = ::recv(s, buffer, 2, 0)) > 0) received.append(buffer, n);
            ::send(s, "x\r\n", 3, 0);
            ::shutdown(s, 1); // nothing more will be sent
            while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0)
                received.append(buffer, n);
        }
        CloseRaw(s);
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    display.join();
    return received;
}

} // namespace testing_support
