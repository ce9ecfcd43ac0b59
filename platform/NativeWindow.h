#pragma once
// What a window covers on the screen in device pixels, exactly. Qt derives
// it from the logical size, which at fractional scale factors is one pixel
// off (1024 / 1.5 rounds to 683, and 683 x 1.5 rounds to 1025).
#include <QMargins>
#include <QSize>

class QWidget;

namespace pelumir {

// The device pixels of the window's inside that lie on the screen, as the
// window system has them; an empty size when the window system cannot tell.
QSize NativeVisibleSize(const QWidget* window);

// The frame the window manager put around the window, in the window's own
// (logical) pixels rounded up; null when it has not told one.
QMargins WindowManagerFrame(const QWidget* window);

}  // namespace pelumir
