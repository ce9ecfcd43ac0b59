#pragma once
// Rotation and layout conversion of our bitmaps.
#include <cstdint>
#include <string>

#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "image/Orientation.h"

namespace pelumir {

class ERotateError : public Exception {
public:
    explicit ERotateError(const std::string& message) : Exception(message) {}
};

// A new bitmap: `source` turned 90 degrees clockwise, raw pixel values moved,
// palette copied. A device-form source is first converted in place.
// Throws ERotateError("Bitmap Size Error") for an empty source,
// EInvalidGraphic for a custom layout, ERotateError("Illegal Bitmap") for a
// layout the copy does not know.
Bitmap RotateBitmapRight(Bitmap& source);

// A new 32-bit bitmap: the 32-bit `source` turned as `orientation` says, in
// one pass that reads the source in order. Throws EInvalidGraphic for any
// other layout.
Bitmap TurnUpright(const Bitmap& source, Orientation orientation);

// Converts any layout in place to 32 bits per pixel (B, G, R, 0 bytes).
// Does nothing when the bitmap already has that layout. Throws
// EInvalidGraphic for a custom layout; an index past the palette is black.
void ConvertToBit32(Bitmap& bitmap);

// One row of w 24-bit pixels (B, G, R) as 32-bit ones (B, G, R, 0).
void Row24To32(const uint8_t* in, uint8_t* out, int w);

}  // namespace pelumir
