#pragma once
// HEIC/HEIF and AVIF decoding through libheif, opened on first use: the only
// unit that includes its header.
#include "image/Decoder.h"

namespace pelumir {

// Decodes a HEIF or AVIF file's primary picture into 24-bit rows in DIB byte
// order (B, G, R). Its stored crop, turns and mirrors are applied as libheif
// applies them, so the rows come upright; transparency is composed onto
// black and deeper channels reduced to 8 bits. The picture's size is checked
// against the bitmap limit from the header before anything is decoded.
// libheif decodes the picture whole, in one call that cannot be stopped;
// the rows are then handed on a batch at a time. Any error, a cut file
// included, fails.
std::optional<Decoded> DecodeHeif(FileInput& in, RowSink& out);

}  // namespace pelumir
