// The report service as displays, broken peers and hostile clients meet it,
// fed by a lambda instead of a window.
#include "korvid_socket.h"
#include "report_service.h"
#include "support/display_client.h"
#include "support/flaky_listener.h"
#include "support/socket_options.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

using testing_support::DisplayClient;
using testing_support::Exchange;
using testing_support::FlakyListener;

namespace {

// A report with a byte past ASCII, which must go out as it is.
const QByteArray kReport = "MBoTe=35\\\r\nCPUTe=48.25\\\r\nMBoFa=NA\\\r\nCPUFa=-NA-\\\r\n"
                           "Core0=1.65\\\r\n3.3-V=NA\\\r\n+5Vol=NA\\\r\n+12Vo=-NA-\\\r\n"
                           "CPUSp=-NA-\\\r\nCPULoading =12\\\r\nCPUDes =Sample CPU \xE9\\\r\n"
                           "CompName=WORKSTATION\\\r\nDrive C:=37.3,12.5\\\r\n"
                           "Drive D:=74.5,70.0\\\r\n";

ServiceSettings OnAFreePort(ServiceLimits limits = {}) {
    ServiceSettings settings;
    settings.port = 0;
    settings.limits = limits;
    return settings;
}

// A service on a free port whose reports count how often they were asked for.
struct Served {
    explicit Served(const ServiceSettings& settings = OnAFreePort())
        : service(
              [this] {
                  ++reports;
                  return kReport.toStdString();
              },
              settings) {
        service.Start();
        port = service.ListeningPort();
    }
    Korvid* Socket() { return service.findChild<Korvid*>("Korvid"); }

    int reports = 0;
    ReportService service;
    quint16 port = 0;
};

} // namespace

class ServiceTest : public QObject {
    Q_OBJECT

private slots:
    void greetsThenAnswersAnyDataOnceAndCloses() {
        Served s;
        QVERIFY(s.port != 0);
        for (const QByteArray& request :
             {QByteArray("x"), QByteArray(1, '\0'), QByteArray(5000, 'J')}) {
            DisplayClient client(s.port);
            QVERIFY(client.Connected());
            QVERIFY(client.Received("\r\n"));
            QTest::qWait(50);
            QCOMPARE(client.received, QByteArray("\r\n")); // nothing before it asks
            client.Send(request);
            QVERIFY(client.ClosedByServer());
            QCOMPARE(client.received, "\r\n" + kReport);
            QTRY_COMPARE(s.service.ListeningPort(), s.port);
        }
        QCOMPARE(s.reports, 3);
    }

    // A client that half-closes after asking is still reading: it gets the
    // greeting, the whole report, then the close. Some clients half-close
    // before the greeting has even arrived.
    void halfClosingClientsGetTheirReport_data() {
        QTest::addColumn<bool>("waitForGreeting");
        QTest::newRow("after the greeting") << true;
        QTest::newRow("before the greeting") << false;
    }
    void halfClosingClientsGetTheirReport() {
        QFETCH(bool, waitForGreeting);
        Served s;
        for (int round = 0; round < 20; ++round)
            QCOMPARE(testing_support::HalfClosingExchange(s.port, waitForGreeting),
                     "\r\n" + kReport);
        QTRY_COMPARE(s.service.ListeningPort(), s.port);
    }

    void clientsThatLeaveEarlyFreeTheService_data() {
        QTest::addColumn<bool>("ask");
        QTest::addColumn<bool>("reset");
        QTest::newRow("closes before asking") << false << false;
        QTest::newRow("resets before asking") << false << true;
        QTest::newRow("asks, then resets") << true << true;
    }
    void clientsThatLeaveEarlyFreeTheService() {
        QFETCH(bool, ask);
        QFETCH(bool, reset);
        Served s;
        {
            DisplayClient gone(s.port);
            QVERIFY(gone.Connected());
            QVERIFY(gone.Received("\r\n"));
            if (ask) gone.Send("x");
            if (reset) gone.ResetOnClose();
            gone.socket.abort();
        }
        QTRY_COMPARE(s.service.ListeningPort(), s.port);
        QCOMPARE(Exchange(s.port, "x"), "\r\n" + kReport);
    }

    // One client at a time: a second is refused while the first is served, a
    // silent client holds the line only up to the limit, and then the port
    // listens again.
    void aSilentClientIsDroppedAtTheLimit() {
        ServiceLimits limits;
        limits.exchange = std::chrono::milliseconds(400);
        Served s(OnAFreePort(limits));
        DisplayClient silent(s.port);
        QVERIFY(silent.Connected());
        QVERIFY(silent.Received("\r\n"));
        QCOMPARE(s.service.ListeningPort(), quint16(0));
        DisplayClient second(s.port);
        QVERIFY(second.Refused());

        QElapsedTimer clock;
        clock.start();
        QVERIFY(silent.ClosedByServer());
        QVERIFY2(clock.elapsed() > 250, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(silent.received, QByteArray("\r\n"));
        QCOMPARE(s.reports, 0);
        QTRY_COMPARE(s.service.ListeningPort(), s.port);
        QCOMPARE(Exchange(s.port, "x"), "\r\n" + kReport);
    }

    void theServedConnectionKeepsItselfAlive() {
        Served s;
        DisplayClient client(s.port);
        QVERIFY(client.Connected());
        QVERIFY(client.Received("\r\n"));
        const tcp::Socket served = s.Socket()->ConnectionHandle();
        QVERIFY(served != tcp::kNoSocket);
        const auto options = testing_support::KeepAliveOf(served);
        QVERIFY(options.on);
        if (options.timing.idleSeconds == -1)
            QSKIP("this system does not report keep-alive timing (Wine); it was set with "
                  "SIO_KEEPALIVE_VALS");
        QCOMPARE(options.timing.idleSeconds, 10);
        QCOMPARE(options.timing.intervalSeconds, 5);
        QCOMPARE(options.timing.probes, 3);
    }

    // The port is lost while a client is served: the report still goes out,
    // the failure is told once (after the socket's handling is over, for a
    // window to show), and the port is tried again until it comes back.
    void aListenFailureInsideAConnectionIsToldAndRetried() {
        auto control = std::make_shared<FlakyListener::Switch>();
        ServiceLimits limits;
        limits.listenRetry = std::chrono::milliseconds(50);
        ServiceSettings settings = OnAFreePort(limits);
        settings.makeListener = [control] { return std::make_unique<FlakyListener>(control); };
        Served s(settings);
        QSignalSpy failed(&s.service, &ReportService::ListenFailed);
        QSignalSpy again(&s.service, &ReportService::ListeningAgain);

        DisplayClient client(s.port);
        QVERIFY(client.Connected());
        QVERIFY(client.Received("\r\n"));
        control->failListen = true;
        client.Send("x");
        QVERIFY(client.ClosedByServer());
        QCOMPARE(client.received, "\r\n" + kReport);
        QTRY_COMPARE(failed.size(), 1);
        QVERIFY(failed[0][0].toString().startsWith("Cannot listen on TCP port"));
        const int listens = control->listens;
        QTRY_VERIFY(control->listens >= listens + 3); // retries, still one warning
        QCOMPARE(failed.size(), 1);
        QCOMPARE(again.size(), 0);

        control->failListen = false;
        QTRY_COMPARE(again.size(), 1);
        QCOMPARE(s.service.ListeningPort(), s.port);
        QCOMPARE(Exchange(s.port, "x"), "\r\n" + kReport);
    }

    void aTakenPortIsWaitedFor() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        const quint16 port = squatter.serverPort();
        ServiceSettings settings = OnAFreePort();
        settings.port = port;
        settings.limits.listenRetry = std::chrono::milliseconds(50);
        ReportService service([] { return kReport.toStdString(); }, settings);
        QSignalSpy failed(&service, &ReportService::ListenFailed);
        QSignalSpy again(&service, &ReportService::ListeningAgain);
        service.Start();
        QCOMPARE(service.ListeningPort(), quint16(0));
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed[0][0].toString().contains(QString::number(port)));
        QTest::qWait(200);
        QCOMPARE(failed.size(), 1);

        squatter.close();
        QTRY_COMPARE(service.ListeningPort(), port);
        QCOMPARE(again.size(), 1);
        QCOMPARE(Exchange(port, "x"), "\r\n" + kReport);
    }

    void stopLetsTheClientGoAndListensNoMore() {
        Served s;
        DisplayClient client(s.port);
        QVERIFY(client.Connected());
        QVERIFY(client.Received("\r\n"));
        s.service.Stop();
        QVERIFY(client.ClosedByServer());
        QCOMPARE(s.service.ListeningPort(), quint16(0));
        QVERIFY(DisplayClient(s.port).Refused());
    }
};

QTEST_GUILESS_MAIN(ServiceTest)
#include "service_test.moc"
