#pragma once

// The window's TCP socket: it either listens or carries one connection,
// never both. Events come on the window's event loop, on its thread.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

class Korvid : public QObject {
    Q_OBJECT
public:
    // Values of State(); the window tells only closed (0) from the rest.
    enum SocketState { sckClosed = 0, sckListening = 2, sckConnected = 7, sckClosing = 8 };

    explicit Korvid(QObject* parent = nullptr);
    ~Korvid() override;

    quint16 LocalPort() const { return localPort_; }
    void SetLocalPort(quint16 port) { localPort_ = port; }
    // The port the listener is bound to; differs from LocalPort() when that is 0.
    quint16 ListeningPort() const;
    int State() const;

    // Listens on LocalPort() on every IPv4 and IPv6 address, re-binding a port
    // whose last connection lingers in TIME_WAIT. False when the port cannot
    // be had; ErrorText() says why.
    bool Listen();
    QString ErrorText() const { return error_; }
    // Stops listening, or ends the current connection once its data is out.
    void Close();
    // Takes over the connection that ConnectionRequest announced.
    void Accept(int requestID);
    // All data received so far.
    QByteArray GetData();
    // Queues bytes for the client; SendComplete follows once every byte handed
    // over has been written to the operating system.
    void SendData(const QByteArray& data);

signals:
    void ConnectionRequest(int requestID);
    void DataArrival(qint64 bytesTotal);
    void SendComplete();
    // The client closed the connection or the connection failed.
    void ConnectionLost();

private:
    void OnNewConnection();
    void DropPending();

    QTcpServer* server_;
    QPointer<QTcpSocket> pending_;
    QPointer<QTcpSocket> connection_;
    int pendingID_ = 0;
    int lastID_ = 0;
    quint16 localPort_ = 0;
    QString error_;
};
