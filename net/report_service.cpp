#include "report_service.h"

#include "korvid_socket.h"

namespace {

constexpr char kGreeting[] = "\r\n";

} // namespace

ReportService::ReportService(ReportSource source, const ServiceSettings& settings, QObject* parent)
    : QObject(parent), source_(std::move(source)), limits_(settings.limits),
      Korvid_(new Korvid(settings.makeListener(), this)), port_(settings.port) {
    Korvid_->setObjectName("Korvid");
    Korvid_->SetKeepAlive(limits_.keepAlive);
    connect(Korvid_, &Korvid::ConnectionRequest, this, &ReportService::Korvid_ConnectionRequest);
    connect(Korvid_, &Korvid::DataArrival, this, &ReportService::Korvid_DataArrival);
    connect(Korvid_, &Korvid::SendComplete, this, &ReportService::Korvid_SendComplete);
    connect(Korvid_, &Korvid::ConnectionLost, this, &ReportService::Korvid_ConnectionLost);
    connect(Korvid_, &Korvid::AcceptFailed, this, [this](const QString& reason) {
        Korvid_->Close();
        RetryLater(reason);
    });

    listenRetry_.setInterval(limits_.listenRetry);
    connect(&listenRetry_, &QTimer::timeout, this, &ReportService::Listen);
    exchangeLimit_.setSingleShot(true);
    exchangeLimit_.setInterval(limits_.exchange);
    connect(&exchangeLimit_, &QTimer::timeout, this, &ReportService::EndConnection);
}

ReportService::~ReportService() = default;

void ReportService::Start() {
    started_ = true;
    Listen();
}

void ReportService::Stop() {
    started_ = false;
    listenRetry_.stop();
    exchangeLimit_.stop();
    Korvid_->Close();
}

quint16 ReportService::ListeningPort() const {
    return Korvid_->ListeningPort();
}

void ReportService::Listen() {
    if (!started_) return;
    Korvid_->SetLocalPort(port_);
    if (Korvid_->Listen()) {
        // With port 0 the system picked one; every later Listen keeps it.
        if (port_ == 0) port_ = Korvid_->ListeningPort();
        listenRetry_.stop();
        if (portWarningShown_) {
            portWarningShown_ = false;
            emit ListeningAgain(QString("Listening on TCP port %1 again.").arg(port_));
        }
        if (!toldListening_) {
            toldListening_ = true;
            emit Listening(
                QString("listening on TCP port %1, every IPv4 and IPv6 address").arg(port_));
        }
        return;
    }
    RetryLater(Korvid_->ErrorText());
}

void ReportService::RetryLater(const QString& reason) {
    if (!listenRetry_.isActive()) listenRetry_.start();
    if (portWarningShown_) return;
    portWarningShown_ = true;
    emit ListenFailed(QString("Cannot listen on TCP port %1: %2\r\n"
                              "Korvid Halvane will keep trying every %3 seconds and serve "
                              "displays as soon as the port is free.")
                          .arg(port_)
                          .arg(reason)
                          .arg(std::chrono::duration<double>(limits_.listenRetry).count()));
}

// A connection that failed, went silent past the limit, or could not be
// accepted: the port listens again for the next client.
void ReportService::EndConnection() {
    exchangeLimit_.stop();
    Korvid_->Close();
    Listen();
}

void ReportService::Korvid_ConnectionRequest(int requestID) {
    if (Korvid_->State() != Korvid::SocketState::Closed) Korvid_->Close();
    Korvid_->Accept(requestID);
    SendPhase = 0;
    exchangeLimit_.start();
    Korvid_->SendData(QByteArray::fromRawData(kGreeting, 2));
}

void ReportService::Korvid_DataArrival(qint64) {
    Korvid_->GetData(); // any request gets the report, whatever it says
    const std::string report = source_();
    SendPhase = 1;
    exchangeLimit_.start();
    // The send's completion may end the connection inside this call, so
    // nothing may follow it.
    Korvid_->SendData(QByteArray(report.data(), static_cast<qsizetype>(report.size())));
}

void ReportService::Korvid_SendComplete() {
    if (SendPhase == 1) {
        exchangeLimit_.stop();
        Korvid_->Close();
        Listen();
    }
    if (SendPhase == 0) SendPhase = 1;
}

void ReportService::Korvid_ConnectionLost() {
    EndConnection();
}
