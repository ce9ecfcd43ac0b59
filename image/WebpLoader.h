#pragma once
// WebP decoding through libwebp: the only unit that includes its headers.
#include "image/Decoder.h"

namespace pelumir {

// Decodes a WebP into 24-bit rows in DIB byte order (B, G, R), transparent
// pixels composed onto black. A still picture is decoded in pieces as its
// bytes are given, its rows handed on as they are made; an animation
// shows its first frame, made in one piece. Any error fails the decode.
std::optional<Decoded> DecodeWebp(FileInput& in, RowSink& out);

}  // namespace pelumir
