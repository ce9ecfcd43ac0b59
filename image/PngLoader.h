#pragma once
// PNG decoding through libpng's progressive reader: the only unit that
// includes png.h.
#include "image/Decoder.h"

namespace pelumir {

// Decodes a PNG into 24-bit rows in DIB byte order (B, G, R): palette and
// grey pictures are expanded, 16-bit channels reduced to 8, and transparent
// pixels composed onto black. An animated file shows its default picture,
// the one every reader without animation shows. Gamma and colour profiles
// are ignored. Any error, a truncated file included, fails the decode.
std::optional<Decoded> DecodePng(FileInput& in, RowSink& out);

}  // namespace pelumir
