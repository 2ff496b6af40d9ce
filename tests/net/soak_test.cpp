// Hostile clients interleaved with a well-behaved one, for a few thousand
// rounds: the well-behaved client gets the exact report every time, and
// nothing is left behind.
#include "frmMonitor.h"
#include "support/fake_environment.h"
#include "support/process_stats.h"

#include <QDir>
#include <QLineEdit>
#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using testing_support::FakeMachine;
using testing_support::OpenDescriptors;
using testing_support::ResidentKilobytes;

namespace {

int Connect(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval timeout{3, 0};
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

} // namespace

class SoakTest : public QObject {
    Q_OBJECT

private slots:
    void hostileClientsNeverHurtTheService() {
        FakeMachine machine;
        machine.messages->answers.push_back(OperatorMessage::Answer::No);
        frmMonitor w(machine.Environment());
        w.Form_Load();
        const quint16 port = w.ListeningPort();
        const std::string expected =
            "\r\nMBoTe=NA\\\r\nCPUTe=NA\\\r\nMBoFa=-NA-\\\r\nCPUFa=-NA-\\\r\nCore0=NA\\\r\n"
            "3.3-V=NA\\\r\n+5Vol=NA\\\r\n+12Vo=-NA-\\\r\nCPUSp=-NA-\\\r\nCPULoading =7\\\r\n"
            "CPUDes =" +
            w.findChild<QLineEdit*>("CPUType")->text().toLatin1().toStdString() +
            "\\\r\nCompName=WS01\\\r\n";

        // The clients run on a thread of their own; the window's thread keeps
        // serving them.
        auto run = [&](int rounds, std::atomic<int>& bad, std::string& firstBad) {
            // A real event loop: QTest::qWaitFor sleeps between passes, which
            // would leave the server idle for most of each round.
            QEventLoop loop;
            bool finished = false;
            std::thread clients([&] {
                std::mt19937 random(7);
                for (int round = 0; round < rounds; ++round) {
                    Hostile(round % 6, port, random);
                    const std::string report = Fetch(port);
                    if (report != expected && bad++ == 0) firstBad = report;
                }
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
            clients.join();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QTest::qWait(50);
            return finished;
        };

        std::atomic<int> bad = 0;
        std::string firstBad;
        QVERIFY(run(120, bad, firstBad));
        const int descriptors = OpenDescriptors();
        [[maybe_unused]] const long resident = ResidentKilobytes();
        QVERIFY(run(2400, bad, firstBad));
        QVERIFY2(bad == 0, qPrintable(QString("%1 bad reports; the first: %2")
                                          .arg(bad.load())
                                          .arg(QString::fromLatin1(firstBad.c_str()))));
        QTRY_COMPARE(OpenDescriptors(), descriptors);
        QCOMPARE(w.ListeningPort(), port);
#if !defined(__SANITIZE_ADDRESS__)
        QVERIFY2(ResidentKilobytes() - resident < 4096,
                 qPrintable(QString("%1 kB -> %2 kB").arg(resident).arg(ResidentKilobytes())));
#endif
    }
};

QTEST_MAIN(SoakTest)
#include "soak_test.moc"
