#pragma once
// TIFF decoding through libtiff: the only unit that includes tiffio.h.
#include "image/Decoder.h"

namespace pelumir {

// Decodes a TIFF's first page into 24-bit rows in DIB byte order (B, G, R),
// as stored: its Orientation tag goes with them, as EXIF's does.
// Grey and RGB pictures in strips are read a row at a time, whatever their
// strips hold; whatever else libtiff can turn into RGBA, a strip or a row
// of tiles at a time. Transparency is composed onto black and 16-bit
// channels reduced to 8. The bytes are read from memory, never from a
// file. Any error, a cut file included, fails the decode.
std::optional<Decoded> DecodeTiff(FileInput& in, RowSink& out);

}  // namespace pelumir
