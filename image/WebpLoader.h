#pragma once
// WebP decoding through libwebp: the only unit that includes its headers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "image/Decoder.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Decodes a WebP into 24-bit rows in DIB byte order (B, G, R), transparent
// pixels composed onto black. A still picture is decoded in pieces as its
// bytes are given, its rows handed on as they are made; an animation
// shows its first frame, made in one piece. Any error fails the decode.
struct WebpContext;

class WebpDecoder final : public ContextDecoder<WebpContext> {
public:
    WebpDecoder();
    ~WebpDecoder() override;

    void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) override;
    State Step(StepDeadline deadline) override;
};

}  // namespace pelumir
