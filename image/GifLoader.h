#pragma once
// GIF decoding through giflib: the only unit that includes gif_lib.h.
#include "image/Decoder.h"

namespace pelumir {

// Decodes a GIF's first picture into 24-bit rows in DIB byte order (B, G,
// R) over its whole canvas: what the picture leaves uncovered and its
// transparent colour are black. An interlaced picture is gathered whole
// before its rows are handed on. Any error, a cut file included, fails the
// decode.
std::optional<Decoded> DecodeGif(FileInput& in, RowSink& out);

}  // namespace pelumir
