// The report service under load from other threads: hostile clients
// interleaved with a well-behaved one, clients in parallel, and long runs
// that must leave nothing behind.
#include "korvid.h"
#include "support/display_client.h"
#include "support/process_stats.h"
#include "support/sample_report.h"

#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using testing_support::OpenDescriptors;
using testing_support::ResidentKilobytes;

namespace {

int Connect(quint16 port, int timeoutSeconds = 3) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval timeout{timeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void Reset(int fd) {
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        text.append(buffer, n);
    return text;
}

// A display that asks politely. The port is closed while the server deals
// with a hostile client, and a connection that slipped into the kernel's
// backlog just before is reset with it (the listener's backlog goes when it
// closes); either way this client tries again a little later.
std::string Fetch(quint16 port) {
    for (int attempt = 0; attempt < 400; ++attempt) {
        const int fd = Connect(port);
        if (fd >= 0) {
            char greeting[2];
            if (::recv(fd, greeting, 2, MSG_WAITALL) == 2) {
                ::send(fd, "?", 1, MSG_NOSIGNAL);
                std::string report = std::string(greeting, 2) + ReadAll(fd);
                ::close(fd);
                return report;
            }
            ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return "(never served)";
}

void Hostile(int kind, quint16 port, std::mt19937& random) {
    switch (kind) {
    case 0: { // connect and reset
        if (int fd = Connect(port); fd >= 0) Reset(fd);
        break;
    }
    case 1: { // ask, then half-close at once
        if (int fd = Connect(port); fd >= 0) {
            ::send(fd, "x", 1, MSG_NOSIGNAL);
            ::shutdown(fd, SHUT_WR);
            ReadAll(fd);
            ::close(fd);
        }
        break;
    }
    case 2: { // a megabyte of junk
        if (int fd = Connect(port); fd >= 0) {
            std::string junk(1 << 20, 'J');
            ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
            Reset(fd);
        }
        break;
    }
    case 3: { // binary bytes, then read what comes
        if (int fd = Connect(port); fd >= 0) {
            std::string bytes(64, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            ReadAll(fd);
            ::close(fd);
        }
        break;
    }
    case 4: { // silent, then gone
        if (int fd = Connect(port); fd >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ::close(fd);
        }
        break;
    }
    default: { // many at once
        std::vector<int> fds;
        for (int i = 0; i < 16; ++i)
            if (int fd = Connect(port); fd >= 0) fds.push_back(fd);
        for (int fd : fds)
            Reset(fd);
        break;
    }
    }
}

std::string Report() {
    return testing_support::kSampleReport;
}

const std::string kExpected = "\r\n" + testing_support::kSampleReport;

ServiceSettings OnAFreePort() {
    ServiceSettings settings;
    settings.listen = {{std::nullopt, 0}};
    return settings;
}

// Runs `clients` on threads of their own while this thread's event loop
// serves them; false when they did not finish in five minutes.
bool ServeWhile(const std::vector<std::function<void()>>& clients) {
    // A real event loop: QTest::qWaitFor sleeps between passes, which would
    // leave the server idle for most of each round.
    QEventLoop loop;
    std::atomic<int> running = static_cast<int>(clients.size());
    bool finished = false;
    std::vector<std::thread> threads;
    threads.reserve(clients.size());
    for (const auto& client : clients)
        threads.emplace_back([&, client] {
            client();
            if (--running == 0)
                QMetaObject::invokeMethod(
                    &loop,
                    [&] {
                        finished = true;
                        loop.quit();
                    },
                    Qt::QueuedConnection);
        });
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    loop.exec();
    for (auto& thread : threads)
        thread.join();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(50);
    return finished;
}

} // namespace

class SoakTest : public QObject {
    Q_OBJECT

private slots:
    void hostileClientsNeverHurtTheService() {
        Korvid service(Report, OnAFreePort());
        service.Listen();
        const quint16 port = service.ListeningPort();

        std::atomic<int> bad = 0;
        std::string firstBad;
        auto rounds = [&](int count) {
            return [&, count] {
                std::mt19937 random(7);
                for (int round = 0; round < count; ++round) {
                    Hostile(round % 6, port, random);
                    const std::string report = Fetch(port);
                    if (report != kExpected && bad++ == 0) firstBad = report;
                }
            };
        };
        QVERIFY(ServeWhile({rounds(120)}));
        const int descriptors = OpenDescriptors();
        [[maybe_unused]] const long resident = ResidentKilobytes();
        QVERIFY(ServeWhile({rounds(2400)}));
        QVERIFY2(bad == 0, qPrintable(QString("%1 bad reports; the first: %2")
                                          .arg(bad.load())
                                          .arg(QString::fromLatin1(firstBad.c_str()))));
        QTRY_COMPARE(OpenDescriptors(), descriptors);
        QCOMPARE(service.ListeningPort(), port);
#if !defined(__SANITIZE_ADDRESS__)
        QVERIFY2(ResidentKilobytes() - resident < 4096,
                 qPrintable(QString("%1 kB -> %2 kB").arg(resident).arg(ResidentKilobytes())));
#endif
    }

    // Clients racing for the one connection: each waits its turn and is
    // served; none is refused while the queue has room, and none is left
    // hanging (connected, but hearing nothing for two seconds).
    void parallelClientsAreServedOrRefused() {
        Korvid service(Report, OnAFreePort());
        service.Listen();
        const quint16 port = service.ListeningPort();
        std::atomic<int> served = 0, refused = 0, hanging = 0, bad = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        auto client = [&] {
            while (std::chrono::steady_clock::now() < until) {
                const int fd = Connect(port, 2);
                if (fd < 0) {
                    ++refused;
                    continue;
                }
                char greeting[2];
                const ssize_t n = ::recv(fd, greeting, 2, MSG_WAITALL);
                if (n == 2) {
                    ::send(fd, "?", 1, MSG_NOSIGNAL);
                    const std::string report = std::string(greeting, 2) + ReadAll(fd);
                    report == kExpected ? ++served : ++bad;
                } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    ++hanging;
                } else {
                    ++refused;
                }
                ::close(fd);
            }
        };
        QVERIFY(ServeWhile({client, client, client, client}));
        const int total = served + refused + hanging + bad;
        qInfo("%d connections: %d served, %d refused, %d left hanging", total, served.load(),
              refused.load(), hanging.load());
        QCOMPARE(bad.load(), 0);
        QVERIFY(served > 100);
        QCOMPARE(refused.load(), 0);
        QCOMPARE(hanging.load(), 0);
        QCOMPARE(service.ListeningPort(), port);
    }

    void aThousandCyclesLeakNothing() {
        Korvid service(Report, OnAFreePort());
        service.Listen();
        const quint16 port = service.ListeningPort();
        auto cycle = [port] {
            return testing_support::Exchange(port, "x") == QByteArray::fromStdString(kExpected);
        };
        for (int i = 0; i < 50; ++i)
            QVERIFY(cycle()); // warm up allocator and caches
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const int descriptors = OpenDescriptors();
        const long resident = ResidentKilobytes();
        for (int i = 0; i < 1000; ++i)
            QVERIFY2(cycle(), qPrintable(QString::number(i)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(OpenDescriptors(), descriptors);
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer holds freed memory back; memory is measured in the plain build");
#endif
        QVERIFY2(ResidentKilobytes() - resident < 2048,
                 qPrintable(QString("%1 kB -> %2 kB").arg(resident).arg(ResidentKilobytes())));
    }
};

QTEST_GUILESS_MAIN(SoakTest)
#include "soak_test.moc"
