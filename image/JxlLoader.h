#pragma once
// JPEG XL decoding through libjxl: the only unit that includes its headers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "image/Decoder.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Decodes a JPEG XL's first frame into 24-bit rows in DIB byte order
// (B, G, R), as stored, transparency composed onto black and deeper
// samples reduced to 8 bits. The file's own orientation goes to the sink
// with the rows, whatever the EXIF setting: it belongs to the picture as
// the library reads it, and an Exif box beside it is not read. The bytes
// are given in pieces and the rows handed on once complete, in order.
// Any error, a cut file included, fails the decode.
struct JpegXlContext;

class JpegXlDecoder final : public ContextDecoder<JpegXlContext> {
public:
    JpegXlDecoder();
    ~JpegXlDecoder() override;

    void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) override;
    State Step(StepDeadline deadline) override;
};

}  // namespace pelumir
