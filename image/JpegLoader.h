#pragma once
// JPEG decoding through libjpeg: the only unit that includes jpeglib.h.
#include "image/Decoder.h"

namespace pelumir {

// Decodes the whole image at full size: 24-bit rows in DIB byte order (B, G, R),
// or an 8-bit palette bitmap of at most 236 colours for greyscale files.
// CMYK and YCCK files come out as 24-bit RGB. Warnings are ignored; any error
// fails. A file read on is read a piece at a time as the library asks for it:
// only its first bytes and one piece are ever held, whatever its size.
std::optional<Decoded> DecodeJpeg(FileInput& in, RowSink& out);

}  // namespace pelumir
