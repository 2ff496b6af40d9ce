#include "icons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap Panel(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, size > 16);
    const qreal u = size / 16.0;
    // Bezel and green LCD glass.
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), u * 0.75));
    p.setBrush(QColor(0x50, 0x50, 0x58));
    p.drawRoundedRect(QRectF(u * 0.5, u * 2.5, u * 15, u * 10), u * 1.5, u * 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9c, 0xd8, 0x4a));
    p.drawRect(QRectF(u * 2, u * 4, u * 12, u * 7));
    // Two rows of "segments".
    p.setBrush(QColor(0x1c, 0x3a, 0x10));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(u * (3 + i * 2.5), u * 5, u * 1.8, u * 2));
    p.drawRect(QRectF(u * 3, u * 8.5, u * 6, u * 1.2));
    // Signal arc on the stand.
    p.setPen(QPen(QColor(0x1e, 0x64, 0xc8), u * 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(u * 8, u * 12.5), QPointF(u * 8, u * 15));
    p.drawLine(QPointF(u * 4.5, u * 15), QPointF(u * 11.5, u * 15));
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    icon.addPixmap(Panel(16));
    icon.addPixmap(Panel(32));
    return icon;
}

QPixmap ProgramIconPixmap(int size) {
    return Panel(size);
}

QPixmap AboutPicture() {
    QPixmap pixmap = Panel(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A red thermometer over the panel's right side.
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(22, 2, 6, 22), 3, 3);
    p.drawEllipse(QRectF(19.5, 20, 11, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x20, 0x20));
    p.drawRect(QRectF(23.8, 9, 2.4, 13));
    p.drawEllipse(QRectF(21.5, 22, 7, 7));
    return pixmap;
}
