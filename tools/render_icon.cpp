// Writes the program's icon as PNG files for the hicolor icon theme, drawn
// by the same code as the window's icon. Runs at build time, offscreen.
//
//   render-icon DIR SIZE...     writes DIR/SIZExSIZE/korvid-halvane.png

#include "icons.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: render-icon DIR SIZE...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString dir =
            QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (size <= 0 || !QDir().mkpath(dir) ||
            !ProgramIconPixmap(size).save(dir + "/korvid-halvane.png", "PNG")) {
            std::fprintf(stderr, "render-icon: cannot write the %s px icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
