#pragma once
// GIF decoding through giflib: the only unit that includes gif_lib.h.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "image/Decoder.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Decodes a GIF's first picture into 24-bit rows in DIB byte order (B, G,
// R) over its whole canvas: what the picture leaves uncovered and its
// transparent colour are black. Rows are decoded a few at a time, so the
// work goes in small steps; an interlaced picture is gathered whole before
// its rows are handed on. Any error, a cut file included, fails the decode.
struct GifContext;

class GifDecoder final : public ContextDecoder<GifContext> {
public:
    GifDecoder();
    ~GifDecoder() override;

    void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) override;
    State Step(StepDeadline deadline) override;
};

}  // namespace pelumir
