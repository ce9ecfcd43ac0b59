#pragma once
// TIFF decoding through libtiff: the only unit that includes tiffio.h.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "image/Decoder.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Decodes a TIFF's first page into 24-bit rows in DIB byte order (B, G, R),
// as stored: the Orientation tag is the load's to apply, like EXIF's.
// Grey and RGB pictures in strips are read a few rows per piece, whatever
// their strips hold; whatever else libtiff can turn into RGBA, a strip or a
// row of tiles per piece. Transparency is composed onto black and 16-bit
// channels reduced to 8. The bytes are read from memory, never from a file. Any error, a cut
// file included, fails the decode.
struct TiffContext;

class TiffDecoder final : public ContextDecoder<TiffContext> {
public:
    TiffDecoder();
    ~TiffDecoder() override;

    void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) override;
    State Step(StepDeadline deadline) override;
};

}  // namespace pelumir
