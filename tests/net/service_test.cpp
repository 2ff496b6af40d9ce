// The report service that both faces hold: whom it answers while host names
// are looked up (never waiting for them), what a reload changes and what it
// keeps, and what it says.
#include "report_service.h"
#include "support/display_client.h"
#include "support/fake_environment.h"

#include <QtTest>
#include <condition_variable>
#include <mutex>

using testing_support::DisplayClient;
using testing_support::FakeMachine;

namespace {

// A resolver that answers only when the test says so, as a slow DNS does;
// its state is shared with the lookup threads, which may outlive a test.
struct SlowDns {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int failures = 0; // answers that find nothing, before the real ones
    int asked = 0;

    void Open() {
        const std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    static AllowListLookup::Resolver For(std::shared_ptr<SlowDns> dns) {
        return [dns](const std::string& host, std::string* error) -> std::vector<tcp::Address> {
            std::unique_lock lock(dns->mutex);
            ++dns->asked;
            dns->changed.wait(lock, [&] { return dns->open; });
            if (dns->failures > 0) {
                --dns->failures;
                *error = "cannot resolve " + host + ": the test says no";
                return {};
            }
            return {*tcp::ParseAddress(host == "display.test" ? "127.0.0.1" : "192.0.2.9")};
        };
    }
};

bool Served(quint16 port) {
    DisplayClient client(port);
    client.WaitUntil([&] {
        return !client.received.isEmpty() ||
               client.socket.state() == QAbstractSocket::UnconnectedState;
    });
    if (client.received != "\r\n") return false;
    client.Send("x");
    return client.ClosedByServer() && client.received.contains("CompName=WS01");
}

bool Said(const FakeMachine& machine, const std::string& words) {
    for (const std::string& line : machine.log)
        if (line.find(words) != std::string::npos) return true;
    return false;
}

struct Service {
    explicit Service(FakeMachine& machine, std::shared_ptr<SlowDns> dns) {
        ServiceSettings exchange;
        exchange.limits.lookupRetry = std::chrono::milliseconds(20);
        service =
            std::make_unique<ReportService>(machine.Environment(), ReportService::Options{{}, true},
                                            exchange, SlowDns::For(std::move(dns)));
        service->monitor().StartUp();
        if (service->ReadSettings()) service->Listen();
    }
    std::unique_ptr<ReportService> service;
};

} // namespace

class ServiceTest : public QObject {
    Q_OBJECT

private slots:
    // A name in the allow list is looked up off the event loop: meanwhile the
    // addresses given as such are served; the name's addresses join once it
    // answers, and one that does not resolve is tried again on its own.
    void displaysAreServedWhileNamesAreLookedUp() {
        FakeMachine machine;
        machine.WriteSettings("[Korvid]\nListen=127.0.0.1:0\nAllow=127.0.0.1 display.test\n");
        auto dns = std::make_shared<SlowDns>();
        dns->failures = 2;
        Service s(machine, dns);
        const quint16 port = s.service->ListeningPort();
        QVERIFY(port != 0);
        QVERIFY(
            Said(machine, "answering only displays at 127.0.0.1, display.test (looking it up)"));
        QVERIFY(Served(port)); // while the lookup waits
        QVERIFY(!s.service->AllowListComplete());
        dns->Open();
        QTRY_VERIFY(s.service->AllowListComplete());
        QVERIFY(Said(machine, "cannot resolve display.test: the test says no; no display is "
                              "allowed by that name until it resolves"));
        QTRY_VERIFY(
            Said(machine, "answering only displays at 127.0.0.1, display.test (127.0.0.1)"));
        QCOMPARE(dns->asked, 3);
    }

    // SIGHUP's reload: the list in force stays until the new one is complete,
    // and settings that cannot be used now leave everything as it was.
    void aReloadChangesWhomItAnswersOnlyWhenComplete() {
        FakeMachine machine;
        machine.WriteSettings("[Korvid]\nListen=127.0.0.1:0\nAllow=127.0.0.1\n");
        auto dns = std::make_shared<SlowDns>();
        Service s(machine, dns);
        const quint16 port = s.service->ListeningPort();
        QVERIFY(Served(port));

        machine.WriteSettings("[Korvid]\nListen=127.0.0.1:0\nAllow=elsewhere.test\n");
        s.service->Reload();
        QVERIFY(Served(port)); // the old list, while the new one is looked up
        dns->Open();
        QTRY_VERIFY(Said(machine, "answering only displays at elsewhere.test (192.0.2.9)"));
        QVERIFY(!Served(port));

        machine.WriteSettings("[Korvid]\nAllow=127.0.0.1 ; me\nListen=127.0.0.1:0\n");
        s.service->Reload();
        QVERIFY(Said(machine, "';' is neither an address, an address/prefix nor a host name; "
                              "the settings in force stay as they were"));
        QVERIFY(!Served(port));
        machine.WriteSettings("[Korvid]\nAllow=127.0.0.1\nListen=127.0.0.2:0\n");
        s.service->Reload();
        QVERIFY(Said(machine, "where to listen has changed: restart korvid-halvane"));
        QVERIFY(Served(port));
        QCOMPARE(s.service->ListeningPort(), port);
    }

    // Nobody listens on settings that cannot be told; a reload that finds
    // them mended starts listening.
    void unusableSettingsListenNowhereUntilMended() {
        FakeMachine machine;
        machine.WriteSettings("[Korvid]\nListen=127.0.0.1:0\nAllow=\n");
        Service s(machine, std::make_shared<SlowDns>());
        QVERIFY(!s.service->SettingsProblem().empty());
        QCOMPARE(s.service->ListeningPort(), quint16(0));
        s.service->Reload();
        QVERIFY(Said(machine, "; still not serving displays"));
        machine.WriteSettings("[Korvid]\nListen=127.0.0.1:0\nAllow=127.0.0.1\n");
        s.service->Reload();
        QVERIFY(s.service->ListeningPort() != 0);
        QVERIFY(Served(s.service->ListeningPort()));
    }
};

QTEST_GUILESS_MAIN(ServiceTest)
#include "service_test.moc"
