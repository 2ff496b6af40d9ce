#pragma once

#include <QRect>
#include <QWidget>
#include <cmath>

// Window layouts are drawn in twips, 1440 to the inch; the screen's logical
// DPI turns them into pixels.
inline int TwipsToPixels(int twips, qreal dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

inline void PlaceInTwips(QWidget* widget, int left, int top, int width, int height) {
    const qreal dx = widget->logicalDpiX();
    const qreal dy = widget->logicalDpiY();
    widget->setGeometry(TwipsToPixels(left, dx), TwipsToPixels(top, dy), TwipsToPixels(width, dx),
                        TwipsToPixels(height, dy));
}
