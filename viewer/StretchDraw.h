#pragma once
// Fitting a picture into an area: shrunk to fit with its aspect ratio kept,
// never enlarged, centred on black.
#include <cstdint>

#include "platform/Bitmap.h"

namespace pelumir {

// Right and bottom edges exclusive.
struct FitRect {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    int64_t Width() const { return right - left; }
    int64_t Height() const { return bottom - top; }
    bool operator==(const FitRect&) const = default;
};

// Where a gW x gH picture lands in a W x H area. Computed in 64 bits so any
// size the loaders accept gives the exact rectangle without overflow.
FitRect ComputeFittedRect(int64_t gW, int64_t gH, int64_t W, int64_t H);

// Fills (0,0)-(W,H) of the 32-bit canvas black and point-samples the whole
// picture into its fitted rectangle. The canvas must already be at least
// W x H. Returns false (leaving only the black fill) for an empty picture.
bool DrawFitted(const Bitmap& picture, Bitmap& canvas, int W, int H);

}  // namespace pelumir
