#include "report_service.h"

#include "korvid_socket.h"

#include <QStringList>

namespace {

constexpr char kGreeting[] = "\r\n";

// Where the service listens, as its messages say it.
QString ListeningText(const std::vector<tcp::Endpoint>& bound) {
    QStringList where;
    for (const tcp::Endpoint& endpoint : bound)
        where << QString::fromStdString(tcp::EndpointText(endpoint)) +
                     (endpoint.address ? QString()
                                       : QStringLiteral(" (every IPv4 and IPv6 address)"));
    return where.join(QStringLiteral(", "));
}

} // namespace

ReportService::ReportService(ReportSource source, const ServiceSettings& settings, QObject* parent)
    : QObject(parent), source_(std::move(source)), limits_(settings.limits),
      Korvid_(new Korvid(settings.makeListener(), this)) {
    Korvid_->setObjectName("Korvid");
    Korvid_->SetEndpoints(settings.listen);
    Korvid_->SetAllowList(settings.allow);
    Korvid_->SetKeepAlive(limits_.keepAlive);
    Korvid_->SetAcceptBackOff(limits_.acceptBackOff, limits_.listenRetry);
    connect(Korvid_, &Korvid::ConnectionRequest, this, &ReportService::Korvid_ConnectionRequest);
    connect(Korvid_, &Korvid::DataArrival, this, &ReportService::Korvid_DataArrival);
    connect(Korvid_, &Korvid::SendComplete, this, &ReportService::Korvid_SendComplete);
    connect(Korvid_, &Korvid::ConnectionLost, this, &ReportService::Korvid_ConnectionLost);
    connect(Korvid_, &Korvid::Denied, this, &ReportService::TellDenied);
    // No box for these: with no descriptors left, drawing one may hang.
    connect(Korvid_, &Korvid::AcceptFailing, this,
            [this](const QString& reason) { emit Note(reason + "; accepting again shortly"); });
    connect(Korvid_, &Korvid::AcceptingAgain, this,
            [this] { emit Note(QStringLiteral("accepting connections again")); });

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
    Korvid_->Shutdown();
}

void ReportService::SetAllowList(const tcp::AllowList& allow) {
    Korvid_->SetAllowList(allow);
}

// A refused address is told once a minute at most, and only so many are
// remembered: a flood from many addresses cannot flood the log or memory.
void ReportService::TellDenied(const tcp::Address& peer) {
    const auto now = std::chrono::steady_clock::now();
    if (deniedTold_.size() >= limits_.deniedRemembered)
        std::erase_if(deniedTold_,
                      [&](const auto& told) { return now - told.second >= limits_.deniedNote; });
    const auto told = deniedTold_.find(peer.bytes);
    if (told != deniedTold_.end() && now - told->second < limits_.deniedNote) return;
    if (told == deniedTold_.end() && deniedTold_.size() >= limits_.deniedRemembered) return;
    deniedTold_[peer.bytes] = now;
    emit Note(QString("refused a display at %1: the allow list does not hold it")
                  .arg(QString::fromStdString(tcp::AddressText(peer))));
}

quint16 ReportService::ListeningPort() const {
    return Korvid_->ListeningPort();
}

void ReportService::Listen() {
    if (!started_) return;
    if (Korvid_->Listen()) {
        listenRetry_.stop();
        if (portWarningShown_) {
            portWarningShown_ = false;
            emit ListeningAgain("Listening again on " + ListeningText(Korvid_->Bound()) + ".");
        }
        if (!toldListening_) {
            toldListening_ = true;
            emit Listening("listening on " + ListeningText(Korvid_->Bound()));
        }
        return;
    }
    RetryLater(Korvid_->ErrorText());
}

void ReportService::RetryLater(const QString& reason) {
    if (!listenRetry_.isActive()) listenRetry_.start();
    if (portWarningShown_) return;
    portWarningShown_ = true;
    emit ListenFailed(QString("Cannot serve displays: %1.\r\n"
                              "Korvid Halvane will keep trying every %2 seconds and serve "
                              "displays as soon as the port is free.")
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
