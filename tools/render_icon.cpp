// Writes the program's icon, drawn by the same code as the window's icon:
// PNG files for the hicolor icon theme, or one Windows icon file holding
// every size (for the installer's shortcuts). Runs on the building machine,
// offscreen.
//
//   render-icon DIR SIZE...          writes DIR/SIZExSIZE/korvid-halvane.png
//   render-icon --ico FILE SIZE...   writes FILE, an .ico of PNG images

#include "icons.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QtEndian>
#include <cstdio>

namespace {

QByteArray Png(int size) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ProgramIconPixmap(size).save(&buffer, "PNG");
    return png;
}

// An icon directory, one 16-byte entry per image, then the images; sizes of
// 256 and more are written as 0, as the format has it.
bool WriteIco(const QString& file, const QList<int>& sizes) {
    QByteArray header(6, '\0'), entries, images;
    qToLittleEndian<quint16>(1, header.data() + 2);
    qToLittleEndian<quint16>(static_cast<quint16>(sizes.size()), header.data() + 4);
    quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
    for (const int size : sizes) {
        const QByteArray png = Png(size);
        if (png.isEmpty()) return false;
        QByteArray entry(16, '\0');
        entry[0] = entry[1] = static_cast<char>(size >= 256 ? 0 : size);
        qToLittleEndian<quint16>(1, entry.data() + 4);  // colour planes
        qToLittleEndian<quint16>(32, entry.data() + 6); // bits per pixel
        qToLittleEndian<quint32>(static_cast<quint32>(png.size()), entry.data() + 8);
        qToLittleEndian<quint32>(offset, entry.data() + 12);
        offset += static_cast<quint32>(png.size());
        entries += entry;
        images += png;
    }
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(header + entries + images) > 0 &&
           out.flush();
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool ico = argc > 1 && QByteArray(argv[1]) == "--ico";
    const int first = ico ? 3 : 2;
    if (argc <= first) {
        std::fprintf(stderr, "usage: render-icon DIR SIZE...\n"
                             "       render-icon --ico FILE SIZE...\n");
        return 2;
    }
    QList<int> sizes;
    for (int i = first; i < argc; ++i) {
        sizes << std::atoi(argv[i]);
        if (sizes.back() <= 0 || sizes.back() > 256) {
            std::fprintf(stderr, "render-icon: no %s px icon\n", argv[i]);
            return 2;
        }
    }
    const QString target = QString::fromLocal8Bit(argv[first - 1]);
    if (ico) {
        if (WriteIco(target, sizes)) return 0;
        std::fprintf(stderr, "render-icon: cannot write %s\n", argv[first - 1]);
        return 1;
    }
    for (const int size : sizes) {
        const QString dir = QStringLiteral("%1/%2x%2").arg(target).arg(size);
        if (!QDir().mkpath(dir) ||
            !ProgramIconPixmap(size).save(dir + "/korvid-halvane.png", "PNG")) {
            std::fprintf(stderr, "render-icon: cannot write the %d px icon\n", size);
            return 1;
        }
    }
    return 0;
}
