#pragma once
// The orientation a picture's EXIF data asks for (a JPEG's APP1 segment, a
// PNG's eXIf chunk before its image data, a WebP's EXIF chunk, a TIFF's own
// Orientation tag), read from the file's bytes in memory before its pixels
// are decoded.
#include <cstdint>
#include <span>

#include "image/Orientation.h"

namespace pelumir {

// The payload of the first APP1 segment that begins "Exif\0\0", looked for
// among the markers before the first scan; empty when there is none or the
// markers run past the end of the file.
std::span<const uint8_t> FindExifSegment(std::span<const uint8_t> file);

// Whether `prefix`, the start of a file, is a JPEG's and holds all its
// segments before the first scan: what ReadExifOrientation gives for it is
// then what it gives for the whole file.
bool JpegHeaderIn(std::span<const uint8_t> prefix);

// The Orientation tag of the EXIF data's first IFD. A file without one, or
// whose EXIF data cannot be read (cut short, looping, a value outside 1-8,
// an unknown byte order), is shown as stored: this never fails a load.
Orientation ReadExifOrientation(std::span<const uint8_t> file);

}  // namespace pelumir
