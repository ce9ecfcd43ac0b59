#pragma once
// JPEG decoding through libjpeg: the only unit that includes jpeglib.h.
#include <cstddef>
#include <cstdint>

#include "platform/Bitmap.h"

namespace pelumir {

// Decodes the whole image at full size: 24-bit rows in DIB byte order (B, G, R),
// or an 8-bit palette bitmap of at most 236 colours for greyscale files.
// CMYK and YCCK files come out as 24-bit RGB. Warnings are ignored; any error
// returns false and leaves `out` empty. `out`'s storage is reused when it fits.
bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap& out);

}  // namespace pelumir
