#include "image/WebpLoader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <exception>
#include <memory>

#include "image/Animation.h"
#include "image/Compose.h"

namespace pelumir {

namespace {

struct WebpContext {
    std::span<const uint8_t> file;
    RowSink* out = nullptr;
    int width = 0, height = 0;
    bool animated = false;
    std::unique_ptr<uint8_t[]> bgra;  // the picture as the library makes it, every byte written
    WebPIDecoder* idec = nullptr;
    int handed = 0;  // rows given to the sink

    WebpContext() = default;
    WebpContext(const WebpContext&) = delete;
    WebpContext& operator=(const WebpContext&) = delete;
    ~WebpContext() {
        if (idec != nullptr) WebPIDelete(idec);
    }
};

using Ctx = WebpContext;

constexpr size_t kHeaderBytes = 256;

// Hands on the rows the library has finished, `last` of them in all; false
// when the picture is no longer wanted.
bool HandOn(Ctx& c, const uint8_t* bgra, int stride, int last) {
    for (; c.handed < last; ++c.handed) {
        if ((c.handed & 15) == 0 && !c.out->Wanted()) return false;
        if (c.out->NextRowWanted(c.handed) != c.handed) continue;
        ComposeOnBlack(bgra + size_t(c.handed) * size_t(stride), c.out->Row(c.handed), c.width);
        c.out->RowsDone(c.handed, 1);
    }
    return true;
}

// libwebp's composer of an animation's frames, B G R A, on this thread;
// null when the file cannot be one.
WebPAnimDecoder* NewAnimDecoder(std::span<const uint8_t> file) {
    const WebPData data{file.data(), file.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return nullptr;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    return WebPAnimDecoderNew(&data, &options);
}

// The first frame of an animation over the whole canvas, at once.
bool FirstFrame(Ctx& c) {
    WebPAnimDecoder* anim = NewAnimDecoder(c.file);
    if (anim == nullptr) return false;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    WebPAnimInfo info;
    bool ok = WebPAnimDecoderGetInfo(anim, &info) && int(info.canvas_width) == c.width &&
              int(info.canvas_height) == c.height && WebPAnimDecoderGetNext(anim, &canvas, &timestamp);
    if (ok) ok = HandOn(c, canvas, c.width * 4, c.height);
    WebPAnimDecoderDelete(anim);
    return ok;
}

// Reads the size and kind from the header; false for a file that is no
// WebP. The sink refuses a picture too large before anything is made.
bool Begin(Ctx& c, Orientation orientation) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(c.file.data(), c.file.size(), &features) != VP8_STATUS_OK) return false;
    c.width = features.width;
    c.height = features.height;
    c.animated = features.has_animation != 0;
    // The decode is made whole in B, G, R, A before its rows are handed on.
    Bitmap::CheckSize(c.width, c.height, 32);
    c.out->Begin(c.width, c.height, 24, orientation);
    if (c.animated) return true;
    const size_t stride = size_t(c.width) * 4, size = stride * size_t(c.height);
    c.bgra.reset(new uint8_t[size]);
    c.idec = WebPINewRGB(MODE_BGRA, c.bgra.get(), size, int(stride));
    return c.idec != nullptr;
}

// A still picture, its bytes given a piece at a time.
bool Still(Ctx& c, size_t piece) {
    for (size_t fed = 0;;) {
        // The headers go in one piece: libwebp may read a damaged file
        // cut inside them otherwise than the same file given whole.
        fed += std::min(fed == 0 ? std::max(piece, kHeaderBytes) : piece, c.file.size() - fed);
        // The library keeps its own view of the bytes given so far.
        const VP8StatusCode status = WebPIUpdate(c.idec, c.file.data(), fed);
        int last = 0, w = 0, h = 0, stride = 0;
        const uint8_t* rows = WebPIDecGetRGB(c.idec, &last, &w, &h, &stride);
        if (rows != nullptr && w == c.width && h == c.height && !HandOn(c, rows, stride, std::min(last, c.height)))
            return false;
        if (status == VP8_STATUS_OK) return c.handed == c.height;
        // Suspended is waiting for more; with the whole file given it was cut short.
        if (status != VP8_STATUS_SUSPENDED || fed == c.file.size() || !c.out->Wanted()) return false;
    }
}

// The ICCP chunk of an extended file. The chunks before the image data are
// all a partial parse needs, so a file damaged past them keeps its profile.
ColourSource ColourOf(std::span<const uint8_t> file) {
    const WebPData data{file.data(), file.size()};
    WebPDemuxer* demux = WebPDemuxPartial(&data, nullptr);
    if (demux == nullptr) return {};
    ColourSource colour;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
        colour = IccColour({chunk.chunk.bytes, chunk.chunk.size});
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    WebPDemuxDelete(demux);
    return colour;
}

}  // namespace

std::optional<Decoded> DecodeWebp(FileInput& in, RowSink& out) {
    WebpContext c;
    c.file = in.Bytes();
    c.out = &out;
    const Orientation orientation = in.ExifOrientation();
    if (!Begin(c, orientation)) return std::nullopt;
    const bool ok = c.animated ? FirstFrame(c) : Still(c, in.PieceBytes() == 0 ? c.file.size() : in.PieceBytes());
    if (!ok) return std::nullopt;
    return Decoded{c.width, c.height, orientation, ColourOf(c.file)};
}

namespace {

// libwebp composes the frames itself, keeping its canvas and the one
// before: a frame here is that canvas composed onto black.
class WebpFrames final : public FrameSource {
public:
    WebpFrames(WebPAnimDecoder* anim, const WebPAnimInfo& info)
        : FrameSource(int(info.canvas_width), int(info.canvas_height), int(std::min(info.loop_count, 65535u))),
          anim_(anim) {}
    ~WebpFrames() override { WebPAnimDecoderDelete(anim_); }
    WebpFrames(const WebpFrames&) = delete;
    WebpFrames& operator=(const WebpFrames&) = delete;

    bool Restart() override {
        WebPAnimDecoderReset(anim_);
        shownUntil_ = 0;
        return true;
    }

protected:
    bool ReadFrame(Bitmap& canvas, int& delayMs) override {
        uint8_t* bgra = nullptr;
        int timestamp = 0;  // when the frame ends, from the first frame's start
        if (!WebPAnimDecoderHasMoreFrames(anim_) || !WebPAnimDecoderGetNext(anim_, &bgra, &timestamp)) return false;
        ComposeCanvas(bgra, Width(), Height(), false, canvas);
        delayMs = ShownDelay(double(timestamp) - shownUntil_);
        shownUntil_ = timestamp;
        return true;
    }

private:
    WebPAnimDecoder* anim_;
    int shownUntil_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> OpenWebpAnimation(std::span<const uint8_t> file) {
    // The size first: the library makes two canvases of it at once.
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK || !features.has_animation)
        return nullptr;
    Bitmap::CheckSize(features.width, features.height, 32);
    WebPAnimDecoder* anim = NewAnimDecoder(file);
    if (anim == nullptr) return nullptr;
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(anim, &info) || info.frame_count < 2 || int(info.canvas_width) != features.width ||
        int(info.canvas_height) != features.height) {
        WebPAnimDecoderDelete(anim);
        return nullptr;
    }
    try {
        return std::make_unique<WebpFrames>(anim, info);
    } catch (...) {
        WebPAnimDecoderDelete(anim);
        throw;
    }
}

}  // namespace pelumir
