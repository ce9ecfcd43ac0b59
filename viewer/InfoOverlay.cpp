#include "viewer/InfoOverlay.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "platform/Fonts.h"

namespace pelumir {

int InfoFontPixelHeight(int points, double dpi) {
    // Sizes far past any screen stay sizes: no box can be made of them.
    const double px = std::round(double(points) * dpi / 72.0);
    return int(std::clamp(px, -double(INT_MAX), double(INT_MAX)));
}

uint64_t InfoBoxPixelLimit(int windowWidth, int windowHeight) {
    constexpr uint64_t kFactor = 16;
    return kFactor * uint64_t(std::max(windowWidth, 1)) * uint64_t(std::max(windowHeight, 1));
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

QImage ComposeInfoBox(const std::string& text, int points, double dpi, uint64_t maxPixels) {
    const QString padded = QStringLiteral("  ") + QString::fromStdString(text) + QStringLiteral("  ");
    // The box is at least one character high and, with its four blanks, one
    // wide: a size past the limit is refused before the font engine measures
    // it (at such sizes its metrics wrap round or fall back to a small face).
    const int px = std::abs(InfoFontPixelHeight(points, dpi));
    const uint64_t limit = std::min(maxPixels, kMaxBitmapBytes / 4);
    if (uint64_t(px) * uint64_t(px) > limit) throw EOutOfResources();
    const QFont font = InfoFont(points, dpi);
    const QFontMetrics metrics(font);
    const int cx = metrics.horizontalAdvance(padded);
    const int cy = metrics.height();
    if (cx < 0 || cy < 0 || (uint64_t(cx) + 4) * (uint64_t(cy) + 4) > limit) throw EOutOfResources();
    QImage box(cx + 4, cy + 4, QImage::Format_RGB32);
    if (box.isNull()) throw EOutOfResources();
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
