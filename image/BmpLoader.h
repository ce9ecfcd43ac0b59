#pragma once
// Windows bitmap files into our Bitmap, with no toolkit: the classic kinds
// pixel for pixel as Qt's BMP reader shows them, the rarer kinds other image
// libraries show (2-bit, unusual bit fields, OS/2 2.x and 52- or 56-byte
// headers, palettes shorter or longer than declared) by a lenient loop.
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/ColourSource.h"
#include "platform/Bitmap.h"

namespace pelumir {

// 1-bit files become 1-bit palette bitmaps, 2-, 4- and 8-bit files 8-bit palette
// bitmaps, everything else 32-bit with 0xFF left in the reserved fourth byte.
// Any failure returns false, `out` empty.
bool DecodeBmp(const uint8_t* data, size_t size, Bitmap& out);

// The profile a version 5 header embeds; untagged for every other header,
// a profile it only names or links to, or one past the end of the file.
ColourSource BmpColourProfile(std::span<const uint8_t> file);

}  // namespace pelumir
