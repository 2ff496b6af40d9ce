#pragma once

// The report service's TCP socket: it either listens or carries one
// connection, never both. Its events come on the event loop of the thread
// that made it.

#include "tcp.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

class QSocketNotifier;

class Korvid : public QObject {
    Q_OBJECT
public:
    // What State() reports; the service tells only Closed from the rest.
    enum class SocketState { Closed, Listening, Connected };

    // Listens through `listener` (tcp::MakeSystemListener(), or a test's).
    explicit Korvid(std::unique_ptr<tcp::PortListener> listener, QObject* parent = nullptr);
    ~Korvid() override;

    void SetLocalPort(quint16 port) { localPort_ = port; }
    void SetKeepAlive(const tcp::KeepAlive& keepAlive) { keepAlive_ = keepAlive; }
    // The port listened on now; 0 while not listening.
    quint16 ListeningPort() const;
    SocketState State() const;
    // The connection being served; tcp::kNoSocket when none (for tests).
    tcp::Socket ConnectionHandle() const { return connection_; }

    // Listens on the local port on every IPv4 and IPv6 address. False when
    // the port cannot be had; ErrorText() says why.
    bool Listen();
    QString ErrorText() const { return error_; }
    // Stops listening, or ends the current connection after what was sent.
    void Close();
    // Takes over the connection that ConnectionRequest announced.
    void Accept(int requestID);
    // What the client has sent since the last call. Only the first 64 KiB are
    // kept; the rest is read and dropped (nothing looks at the content).
    QByteArray GetData();
    // Sends at once what the system takes and the rest as it drains;
    // SendComplete follows when the last byte is out, raised from inside this
    // call when everything went at once.
    void SendData(const QByteArray& data);

signals:
    void ConnectionRequest(int requestID);
    void DataArrival(qint64 bytesTotal);
    void SendComplete();
    // The connection failed, or the client closed it without asking for
    // anything. A client that asked and then half-closed is still reading:
    // that close is no loss, and its report goes out.
    void ConnectionLost();
    // A connection could not be accepted (descriptors exhausted, say);
    // listening has stopped.
    void AcceptFailed(const QString& reason);

private:
    void OnConnectionWaiting();
    void OnReadable();
    void OnWritable();
    void DropConnection();
    void CloseRetired();

    std::unique_ptr<tcp::PortListener> listener_;
    QSocketNotifier* listenerNotifier_ = nullptr;
    quint16 localPort_ = 0;
    tcp::KeepAlive keepAlive_;
    QString error_;

    tcp::Socket pending_ = tcp::kNoSocket;
    int pendingID_ = 0;
    int lastID_ = 0;

    tcp::Socket connection_ = tcp::kNoSocket;
    unsigned serial_ = 0; // counts connections, to see one closed inside a signal
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray received_;
    bool asked_ = false; // the client has sent something
    QByteArray unsent_;

    // Connections already closed by Close(); the system closes them right
    // after the next Listen(), so that a client that reconnects the moment
    // its report ends finds the port open again.
    std::vector<tcp::Socket> retired_;
    QTimer retiredTimer_;
};
