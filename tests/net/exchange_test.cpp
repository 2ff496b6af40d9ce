// The exchange with displays (Korvid) as displays, broken peers and hostile
// clients meet it, fed by a lambda instead of a monitor.
#include "korvid.h"
#include "support/display_client.h"
#include "support/flaky_listener.h"
#include "support/socket_options.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <atomic>
#include <thread>

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
    settings.listen = {{std::nullopt, 0}};
    settings.limits = limits;
    return settings;
}

// An exchange on a free port whose reports count how often they were asked
// for, and the lines it noted.
struct Served {
    explicit Served(const ServiceSettings& settings = OnAFreePort())
        : korvid(
              [this] {
                  ++reports;
                  return kReport.toStdString();
              },
              settings) {
        QObject::connect(&korvid, &Korvid::Note, [this](const QString& line) { notes << line; });
        korvid.Listen();
        port = korvid.ListeningPort();
    }

    int reports = 0;
    QStringList notes;
    Korvid korvid;
    quint16 port = 0;
};

// Another program of the same user trying to take the service's port on
// every address, with every option that lets sockets share a port; its
// sockets listen for as long as it lives. Which addresses it got.
struct Intruder {
    explicit Intruder(quint16 port) {
        const int on = 1;
        for (const char* text : {"0.0.0.0", "127.0.0.1", "::", "::1"}) {
            const QHostAddress address(QString::fromLatin1(text));
            const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
            const RawSocket s = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
            ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                         sizeof on);
#ifdef SO_REUSEPORT
            ::setsockopt(s, SOL_SOCKET, SO_REUSEPORT, reinterpret_cast<const char*>(&on),
                         sizeof on);
#endif
            sockaddr_storage storage{};
            socklen_t length;
            if (v6) {
                auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
                in6.sin6_family = AF_INET6;
                in6.sin6_port = htons(port);
                const Q_IPV6ADDR bytes = address.toIPv6Address();
                std::memcpy(&in6.sin6_addr, &bytes, 16);
                length = sizeof in6;
            } else {
                auto& in = reinterpret_cast<sockaddr_in&>(storage);
                in.sin_family = AF_INET;
                in.sin_port = htons(port);
                in.sin_addr.s_addr = htonl(address.toIPv4Address());
                length = sizeof in;
            }
            if (::bind(s, reinterpret_cast<sockaddr*>(&storage), length) == 0 &&
                ::listen(s, 16) == 0) {
                got << text;
                sockets.push_back(s);
            } else {
                CloseRaw(s);
            }
        }
    }
    ~Intruder() {
        for (const RawSocket s : sockets)
            CloseRaw(s);
    }
    QStringList got;
    std::vector<RawSocket> sockets;
};

} // namespace

class ExchangeTest : public QObject {
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
            QTRY_COMPARE(s.korvid.ListeningPort(), s.port);
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
        QTRY_COMPARE(s.korvid.ListeningPort(), s.port);
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
        QTRY_COMPARE(s.korvid.ListeningPort(), s.port);
        QCOMPARE(Exchange(s.port, "x"), "\r\n" + kReport);
    }

    // One display at a time, the others in turn: while one is served, a
    // newcomer is held without the greeting, those held are greeted in the
    // order they came, one that hangs up while held is dropped without a
    // word, and past the queue's limit a newcomer is closed at once (and
    // told). Displays that the allow list leaves out are never held.
    void displaysWaitTheirTurn_data() {
        QTest::addColumn<int>("queue");
        QTest::addColumn<int>("arriving");
        QTest::addColumn<QList<int>>("hangUp");
        QTest::addColumn<QList<int>>("served");
        QTest::addColumn<QString>("note");
        QTest::newRow("in turn") << 16 << 3 << QList<int>{} << QList<int>{0, 1, 2} << "";
        QTest::newRow("one held hangs up") << 16 << 3 << QList<int>{1} << QList<int>{0, 2} << "";
        QTest::newRow("queue full") << 2 << 3 << QList<int>{} << QList<int>{0, 1}
                                    << "closed 1 display without the greeting: 2 were waiting "
                                       "already (told at most once a minute)";
        QTest::newRow("full of those who left")
            << 2 << 3 << QList<int>{0, 1} << QList<int>{2} << "";
        QTest::newRow("refused ones are not held")
            << 1 << 2 << QList<int>{} << QList<int>{1}
            << "refused a display at 127.0.0.2: the allow list does not hold it";
    }
    void displaysWaitTheirTurn() {
        QFETCH(int, queue);
        QFETCH(int, arriving);
        QFETCH(QList<int>, hangUp);
        QFETCH(QList<int>, served);
        QFETCH(QString, note);
        ServiceSettings settings = OnAFreePort();
        settings.limits.queue = static_cast<std::size_t>(queue);
        const bool refusing = note.startsWith("refused");
        if (refusing) settings.allow.rules = {*tcp::ParseAllowRule("127.0.0.1", nullptr)};
        Served s(settings);
        DisplayClient first(s.port);
        QVERIFY(first.Received("\r\n"));
        std::vector<std::unique_ptr<DisplayClient>> clients;
        for (int i = 0; i < arriving; ++i) {
            const std::size_t waiting = s.korvid.Waiting();
            const QHostAddress from(refusing && i == 0 ? "127.0.0.2" : "127.0.0.1");
            clients.push_back(
                std::make_unique<DisplayClient>(s.port, QHostAddress::LocalHost, from));
            DisplayClient& client = *clients.back();
            QVERIFY(client.WaitUntil([&] {
                return s.korvid.Waiting() != waiting ||
                       client.socket.state() == QAbstractSocket::UnconnectedState;
            }));
            if (hangUp.contains(i)) client.socket.abort();
        }
        QVERIFY(s.korvid.Serving());
        first.Send("x");
        QVERIFY(first.ClosedByServer());
        for (const int i : served) {
            DisplayClient& client = *clients[static_cast<std::size_t>(i)];
            QVERIFY2(client.Received("\r\n"), qPrintable(QString("display %1").arg(i)));
            for (const auto& other : clients) // nobody else is greeted meanwhile
                QVERIFY(other.get() == &client || !other->received.startsWith("\r\n") ||
                        other->socket.state() == QAbstractSocket::UnconnectedState);
            client.Send("x");
            QVERIFY(client.ClosedByServer());
            QCOMPARE(client.received, "\r\n" + kReport);
        }
        for (int i = 0; i < arriving; ++i)
            if (!served.contains(i) && !hangUp.contains(i)) {
                QVERIFY(clients[static_cast<std::size_t>(i)]->ClosedByServer());
                QCOMPARE(clients[static_cast<std::size_t>(i)]->received, QByteArray());
            }
        QCOMPARE(s.korvid.Waiting(), std::size_t{0});
        QCOMPARE(s.notes, note.isEmpty() ? QStringList() : QStringList{note});
        QCOMPARE(s.reports, 1 + static_cast<int>(served.size()));
    }

    // A silent display holds the line only up to the limit, which for one
    // that waited its turn runs from its greeting, not from its arrival.
    void theLimitRunsFromTheGreeting() {
        ServiceLimits limits;
        limits.exchange = std::chrono::milliseconds(300);
        Served s(OnAFreePort(limits));
        DisplayClient silent(s.port);
        QVERIFY(silent.Received("\r\n"));
        QElapsedTimer clock;
        clock.start();
        DisplayClient next(s.port);
        QVERIFY(next.WaitUntil([&] { return s.korvid.Waiting() == 1; }));
        QVERIFY(silent.ClosedByServer());
        QVERIFY2(clock.elapsed() >= 250, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(silent.received, QByteArray("\r\n"));
        QVERIFY(next.Received("\r\n"));
        next.Send("x");
        QVERIFY(next.ClosedByServer());
        QCOMPARE(next.received, "\r\n" + kReport);
        QCOMPARE(s.reports, 1);
        QCOMPARE(s.korvid.ListeningPort(), s.port); // listening all along
    }

    void theServedConnectionKeepsItselfAlive() {
        Served s;
        DisplayClient client(s.port);
        QVERIFY(client.Connected());
        QVERIFY(client.Received("\r\n"));
        const tcp::Socket served = s.korvid.Connection();
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

    // Connections that cannot be accepted (descriptors exhausted) are told
    // once as a note, never as a warning that waits for anyone; accepting
    // backs off and resumes, and the waiting display is served.
    void acceptFailuresBackOffAndRecover() {
        auto control = std::make_shared<FlakyListener::Switch>();
        ServiceLimits limits;
        limits.acceptBackOff = std::chrono::milliseconds(10);
        limits.listenRetry = std::chrono::milliseconds(80);
        ServiceSettings settings = OnAFreePort(limits);
        settings.makeListener = [control] { return std::make_unique<FlakyListener>(control); };
        Served s(settings);
        QSignalSpy failed(&s.korvid, &Korvid::ListenFailed);

        control->failAccept = true;
        DisplayClient client(s.port);
        QTRY_VERIFY(control->accepts >= 4); // tried again, backing off
        QTest::qWait(100);
        const int accepts = control->accepts;
        QTest::qWait(200);
        QVERIFY2(control->accepts - accepts <= 3, "no faster than the longest back-off");
        QCOMPARE(s.notes.size(), 1);
        QVERIFY(s.notes[0].contains("the test ran out of descriptors"));

        control->failAccept = false;
        QVERIFY(client.Received("\r\n"));
        client.Send("x");
        QVERIFY(client.ClosedByServer());
        QCOMPARE(client.received, "\r\n" + kReport);
        QCOMPARE(s.notes.size(), 2);
        QCOMPARE(s.notes[1], QString("accepting connections again"));
        QCOMPARE(failed.size(), 0);
    }

    void aTakenPortIsWaitedFor() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        const quint16 port = squatter.serverPort();
        ServiceSettings settings = OnAFreePort();
        settings.listen = {{std::nullopt, port}};
        settings.limits.listenRetry = std::chrono::milliseconds(50);
        Korvid korvid([] { return kReport.toStdString(); }, settings);
        QSignalSpy failed(&korvid, &Korvid::ListenFailed);
        QSignalSpy again(&korvid, &Korvid::ListeningAgain);
        korvid.Listen();
        QCOMPARE(korvid.ListeningPort(), quint16(0));
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed[0][0].toString().contains(":" + QString::number(port)));
        QCOMPARE(failed[0][1].toBool(), false); // worth waiting for
        QTest::qWait(200);
        QCOMPARE(failed.size(), 1);

        squatter.close();
        QTRY_COMPARE(korvid.ListeningPort(), port);
        QCOMPARE(again.size(), 1);
        QCOMPARE(Exchange(port, "x"), "\r\n" + kReport);
    }

    // Nobody else can take the port while the service holds it, with
    // SO_REUSEPORT or without, on any address, whether a client is served or
    // not; once the service is gone, another program binds it at once, its
    // served connections' TIME_WAIT entries notwithstanding.
    void thePortIsTheServicesAloneWhileItRuns() {
        quint16 port = 0;
        {
            Served s;
            port = s.port;
            QCOMPARE(Exchange(port, "x"), "\r\n" + kReport);
            const Intruder idle(port);
            QCOMPARE(idle.got, QStringList());
            DisplayClient held(port);
            QVERIFY(held.Received("\r\n"));
            const Intruder busy(port);
            QCOMPARE(busy.got, QStringList());
            held.socket.abort();
            QTRY_VERIFY(!s.korvid.Serving());
            for (int i = 0; i < 20; ++i)
                QCOMPARE(Exchange(port, "x"), "\r\n" + kReport);
        }
        QTcpServer next;
        QVERIFY2(next.listen(QHostAddress::Any, port), qPrintable(next.errorString()));
    }

    // --listen and --allow: only the addresses named are listened on, and a
    // client from elsewhere is closed without a word (told once) while the
    // allowed display is served, however hard the others keep trying.
    void listensWhereToldAndAnswersOnlyTheAllowed() {
        ServiceSettings settings = OnAFreePort();
        settings.listen = {*tcp::ParseEndpoint("127.0.0.1:0", 0, nullptr)};
        settings.allow.rules = {*tcp::ParseAllowRule("127.0.0.1", nullptr)};
        Served s(settings);
        QVERIFY(DisplayClient(s.port, QHostAddress::LocalHostIPv6).Refused());

        std::atomic<bool> stop = false;
        std::atomic<int> denied = 0, greeted = 0;
        std::thread flood([&] {
            while (!stop) {
                QTcpSocket other;
                other.bind(QHostAddress("127.0.0.2"));
                other.connectToHost(QHostAddress::LocalHost, s.port);
                if (other.waitForConnected(1000) && other.waitForReadyRead(200) &&
                    other.readAll().startsWith("\r\n"))
                    ++greeted;
                ++denied;
            }
        });
        QTRY_VERIFY(denied > 10);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(Exchange(s.port, "x"), "\r\n" + kReport);
        stop = true;
        flood.join();
        QCOMPARE(greeted.load(), 0);
        QCOMPARE(s.notes,
                 QStringList{"refused a display at 127.0.0.2: the allow list does not hold it"});
    }

    void closeLetsEveryDisplayGoAndListensNoMore() {
        Served s;
        DisplayClient client(s.port), waiting(s.port);
        QVERIFY(client.Received("\r\n"));
        QVERIFY(waiting.WaitUntil([&] { return s.korvid.Waiting() == 1; }));
        s.korvid.Close();
        QVERIFY(client.ClosedByServer());
        QVERIFY(waiting.ClosedByServer());
        QCOMPARE(waiting.received, QByteArray());
        QCOMPARE(s.korvid.ListeningPort(), quint16(0));
        QVERIFY(DisplayClient(s.port).Refused());
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "exchange_test.moc"
