#pragma once
// Windows bitmap files through Qt's BMP reader, converted into our Bitmap.
#include <cstddef>
#include <cstdint>

#include "platform/Bitmap.h"

namespace pelumir {

// 1-bit files become 1-bit palette bitmaps, 4- and 8-bit files 8-bit palette
// bitmaps, everything else 32-bit with 0xFF left in the reserved fourth byte.
// Any failure returns false, `out` empty.
bool DecodeBmp(const uint8_t* data, size_t size, Bitmap& out);

}  // namespace pelumir
