#pragma once
// JPEG XL decoding through libjxl: the only unit that includes its headers.
#include "image/Decoder.h"

namespace pelumir {

// Decodes a JPEG XL's first frame into 24-bit rows in DIB byte order
// (B, G, R), as stored, transparency composed onto black and deeper
// samples reduced to 8 bits. The file's own orientation goes with the
// rows, whatever the EXIF setting: it belongs to the picture as the
// library reads it, and an Exif box beside it is not read. The bytes are
// given in pieces and the rows handed on once complete, in order. Any
// error, a cut file included, fails the decode.
std::optional<Decoded> DecodeJxl(FileInput& in, RowSink& out);

}  // namespace pelumir
