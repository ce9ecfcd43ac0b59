#pragma once
// Moving pictures the tests make, before any format: each format's writer
// takes them as its format says them.
#include <cstdint>
#include <vector>

namespace testutil {

// One frame: its rectangle on the canvas, its pixels 0xAARRGGBB (alpha 0
// or 255, rows packed), how long it shows, and what becomes of its
// rectangle before the next frame.
struct FrameArt {
    enum Dispose { Keep, Clear, Restore };  // none, background, previous
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<uint32_t> argb;
    int delayMs = 0;  // a multiple of 10
    Dispose dispose = Keep;
};

// `frames` for the writers of rectangles (GIF, APNG), each drawn over the
// canvas; `canvases`, what each frame shows whole, for the writers of
// whole canvases (WebP, JPEG XL).
struct AnimationArt {
    int width = 0, height = 0;
    int loops = 0;  // plays; 0: forever
    std::vector<FrameArt> frames;
    std::vector<std::vector<uint32_t>> canvases;
};

}  // namespace testutil
