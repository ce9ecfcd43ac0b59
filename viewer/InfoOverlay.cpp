#include "viewer/InfoOverlay.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>
#include <cstdio>

#include "platform/Fonts.h"

namespace pelumir {

int InfoFontPixelHeight(int points, double dpi) {
    return int(std::lround(double(points) * dpi / 72.0));
}

QFont InfoFont(int points, double dpi) {
    QFont font = UiFont();
    int px = std::abs(InfoFontPixelHeight(points, dpi));
    // A size of 0 asks for the face's usual size rather than no text at all.
    if (px == 0) px = InfoFontPixelHeight(9, dpi);
    font.setPixelSize(std::max(px, 1));
    font.setBold(true);
    font.setItalic(true);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QImage ComposeInfoBox(const std::string& text, int points, double dpi) {
    const QString padded = QStringLiteral("  ") + QString::fromStdString(text) + QStringLiteral("  ");
    const QFont font = InfoFont(points, dpi);
    const QFontMetrics metrics(font);
    const int cx = metrics.horizontalAdvance(padded);
    const int cy = metrics.height();
    QImage box(cx + 4, cy + 4, QImage::Format_RGB32);
    box.fill(Qt::black);
    QPainter p(&box);
    p.setPen(Qt::white);
    p.drawRect(0, 0, cx + 3, cy + 3);  // a 1-pixel pen covers the outermost ring
    p.fillRect(2, 2, cx, cy, Qt::black);
    p.setFont(font);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::black);
    p.setClipRect(2, 2, cx, cy);  // glyph overhang never touches the rings
    p.drawText(2, 2 + metrics.ascent(), padded);
    p.end();
    return box;
}

std::string PositionText(int index, int count) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/ %d", index, count);
    return buf;
}

}  // namespace pelumir
