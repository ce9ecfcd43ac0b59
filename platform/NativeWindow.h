#pragma once
// What a window covers on the screen in device pixels, exactly. Qt derives
// it from the logical size, which at fractional scale factors is one pixel
// off (1024 / 1.5 rounds to 683, and 683 x 1.5 rounds to 1025).
#include <QMargins>
#include <QSize>
#include <cstddef>
#include <cstdint>
#include <vector>

class QWidget;

namespace pelumir {

// The device pixels of the window's inside that lie on the screen, as the
// window system has them; an empty size when the window system cannot tell.
QSize NativeVisibleSize(const QWidget* window);

// The frame the window manager put around the window, in the window's own
// (logical) pixels rounded up; null when it has not told one.
QMargins WindowManagerFrame(const QWidget* window);

// The colour profile a colour manager published for the window's X screen
// (_ICC_PROFILE on its root window), at most `limit` bytes; empty when none
// is published (the screen is taken as sRGB) or it is larger.
std::vector<uint8_t> ScreenColourProfile(const QWidget* window, size_t limit);

}  // namespace pelumir
