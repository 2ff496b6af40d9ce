#include "stop_requests.h"

#include <QtTest>
#include <csignal>

class StopRequestsTest : public QObject {
    Q_OBJECT

private slots:
    // SIGTERM and SIGINT end the event loop through the stop callback, which
    // runs on the loop, after the signal handler has returned.
    void signalsEndTheEventLoop_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalsEndTheEventLoop() {
        QFETCH(int, signal);
        QEventLoop loop;
        int stops = 0;
        const StopRequests stop([&] {
            ++stops;
            loop.quit();
        });
        QTimer::singleShot(0, [signal] { std::raise(signal); });
        QTimer::singleShot(5000, &loop, [&] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
        QCOMPARE(stops, 1);
    }
};

QTEST_GUILESS_MAIN(StopRequestsTest)
#include "stop_requests_test.moc"
