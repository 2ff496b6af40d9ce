#pragma once

// The report service's TCP socket: it either accepts a client or carries one
// connection, never both; clients it does not serve are closed as they come,
// without a greeting, and its port stays listening meanwhile. Its events come on the event loop of
// the thread that made it.

#include "tcp.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
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

    void SetEndpoints(std::vector<tcp::Endpoint> endpoints) { endpoints_ = std::move(endpoints); }
    void SetKeepAlive(const tcp::KeepAlive& keepAlive) { keepAlive_ = keepAlive; }
    // Clients from elsewhere are closed at once, whatever the state.
    void SetAllowList(tcp::AllowList allow) { allow_ = std::move(allow); }
    // After a failed accept, accepting pauses for `first`, then twice as long
    // each time it fails again, up to `longest`.
    void SetAcceptBackOff(std::chrono::milliseconds first, std::chrono::milliseconds longest);
    // The first endpoint's port while clients are accepted; 0 otherwise.
    quint16 ListeningPort() const;
    // The endpoints bound, with the ports the system picked; none before the
    // first successful Listen() and after Shutdown().
    std::vector<tcp::Endpoint> Bound() const { return listener_->Bound(); }
    SocketState State() const;
    // The connection being served; tcp::kNoSocket when none (for tests).
    tcp::Socket ConnectionHandle() const { return connection_; }

    // Accepts clients again; the first time, binds every endpoint, which
    // stay bound until Shutdown(). False when they cannot be had; ErrorText()
    // says why.
    bool Listen();
    QString ErrorText() const { return error_; }
    // Refuses clients from now on (each is closed as it arrives, without a
    // greeting), or ends the current connection after what was sent.
    void Close();
    // Gives the port up, and the connection with it.
    void Shutdown();
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
    // A client whose address the allow list does not hold was closed.
    void Denied(const tcp::Address& peer);
    // Connections cannot be accepted (descriptors exhausted, say): raised
    // once, then accepting pauses and is tried again, backing off.
    void AcceptFailing(const QString& reason);
    // Accepting works again after AcceptFailing.
    void AcceptingAgain();

private:
    void OnConnectionWaiting(tcp::Socket listening);
    void EnableListeners(bool enabled);
    void OnReadable();
    void OnWritable();
    void DropConnection();

    std::unique_ptr<tcp::PortListener> listener_;
    std::vector<tcp::Endpoint> endpoints_;
    std::vector<QSocketNotifier*> listenerNotifiers_;
    tcp::KeepAlive keepAlive_;
    tcp::AllowList allow_;
    QString error_;
    bool accepting_ = false;

    QTimer backOff_;
    std::chrono::milliseconds firstBackOff_{100};
    std::chrono::milliseconds longestBackOff_{2000};
    bool acceptFailing_ = false;

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
};
