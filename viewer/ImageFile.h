#pragma once
// The one road from an image file to its pixels, taken by the viewer, the
// benchmarks and the tests alike.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Bitmap.h"

namespace pelumir {

// True when the name ends in ".bmp", in any letter case: only such files are
// offered to the BMP reader.
bool HasBmpName(const std::string& path);
// Decodes bytes already read as the show does: JPEG first, whatever the
// name; the BMP reader only for a ".bmp" name (a ".jpg" that failed as a
// JPEG would only fail the same way again). False leaves `out` empty.
bool DecodeImage(const std::string& path, const uint8_t* data, size_t size, Bitmap& out);
// Reads the file once into `fileBytes` (its storage kept for the next
// image), then decodes it as above. A missing file, a folder, a pipe or a
// file larger than any bitmap we hold fails with `out` empty.
bool LoadImageFile(const std::string& path, std::vector<uint8_t>& fileBytes, Bitmap& out);

}  // namespace pelumir
