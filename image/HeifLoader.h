#pragma once
// HEIC/HEIF and AVIF decoding through libheif, opened on first use: the only
// unit that includes its header.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "image/Decoder.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Decodes a HEIF or AVIF file's primary picture into 24-bit rows in DIB byte
// order (B, G, R). Its stored crop, turns and mirrors are applied as libheif
// applies them, so the rows come upright; transparency is composed onto
// black and deeper channels reduced to 8 bits. The picture's size is checked
// against the bitmap limit from the header before anything is decoded.
// libheif decodes the picture whole, in the first step; the rows are then
// handed on a batch at a time. Any error, a cut file included, fails.
struct HeifContext;

class HeifDecoder final : public ContextDecoder<HeifContext> {
public:
    HeifDecoder();
    ~HeifDecoder() override;

    void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) override;
    State Step(StepDeadline deadline) override;
};

}  // namespace pelumir
