#pragma once
// The information box: white bold italic text on black in a one-pixel white
// frame with a black gap ring, composed off-screen once per refresh.
#include <QFont>
#include <QImage>
#include <cstdint>
#include <string>

namespace pelumir {

// Character height in pixels for a size in points at the given pixels per
// inch, rounded half away from zero.
int InfoFontPixelHeight(int points, double dpi);
// The box's font: the UI face, bold italic.
QFont InfoFont(int points, double dpi);
// How many pixels a box may have for a window of that size: a few times
// the window, whose corner is all that shows of it.
uint64_t InfoBoxPixelLimit(int windowWidth, int windowHeight);
// The composed box for `text` (padded with two blanks each side):
// (cx + 4) x (cy + 4) pixels, text cells at (2, 2). A box of more than
// `maxPixels` pixels, or past the bitmap size limit, cannot be made:
// EOutOfResources.
QImage ComposeInfoBox(const std::string& text, int points, double dpi, uint64_t maxPixels = UINT64_MAX);
// "3/ 12" for the third of twelve.
std::string PositionText(int index, int count);

}  // namespace pelumir
