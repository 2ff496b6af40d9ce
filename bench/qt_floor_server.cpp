// The floor for a server built on Qt's event loop: the exchange of
// floor-server --keep-listening (greet, read any request, send the fixed
// report, close; one client at a time, later ones wait in the kernel's
// queue), on non-blocking sockets watched by QSocketNotifier, with nothing
// else in the process. What it costs over floor-server is what any program
// pays that serves from Qt's event loop.
//
//   qt-floor-server PORT

#include "floor.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // The event dispatcher that the program uses: Qt's own, not GLib's.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qt-floor-server PORT\n");
        return 2;
    }
    const int listener =
        FloorListener(static_cast<std::uint16_t>(std::atoi(argv[1])), SOCK_NONBLOCK);
    if (listener < 0) {
        std::perror("qt-floor-server");
        return 1;
    }
    QSocketNotifier waiting(listener, QSocketNotifier::Read);
    QSocketNotifier asking(QSocketNotifier::Read);
    int client = -1;
    QObject::connect(&waiting, &QSocketNotifier::activated, [&] {
        client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
        if (client < 0) return;
        if (::send(client, "\r\n", 2, MSG_NOSIGNAL) != 2) {
            ::close(client);
            return;
        }
        waiting.setEnabled(false);
        asking.setSocket(client);
        asking.setEnabled(true);
    });
    QObject::connect(&asking, &QSocketNotifier::activated, [&] {
        char request[4096];
        if (::recv(client, request, sizeof request, 0) > 0)
            ::send(client, kFloorReport, sizeof kFloorReport - 1, MSG_NOSIGNAL);
        asking.setEnabled(false);
        ::close(client);
        waiting.setEnabled(true);
    });
    return QCoreApplication::exec();
}
