#include "image/WebpLoader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>

#include "image/Compose.h"

namespace pelumir {

struct WebpContext {
    std::span<const uint8_t> file;
    size_t fed = 0;
    size_t piece = 0;
    RowSink* out = nullptr;
    int width = 0, height = 0;
    bool begun = false;
    bool animated = false;
    std::unique_ptr<uint8_t[]> bgra;  // the picture as the library makes it, every byte written
    WebPIDecoder* idec = nullptr;
    int handed = 0;  // rows given to the sink

    ~WebpContext() {
        if (idec != nullptr) WebPIDelete(idec);
    }
};

namespace {

using Ctx = WebpContext;

constexpr size_t kHeaderBytes = 256;

// Hands on the rows the library has finished, `last` of them in all.
void HandOn(Ctx& c, const uint8_t* bgra, int stride, int last) {
    for (; c.handed < last; ++c.handed) {
        if (c.out->NextRowWanted(c.handed) != c.handed) continue;
        ComposeOnBlack(bgra + size_t(c.handed) * size_t(stride), c.out->Row(c.handed), c.width);
        c.out->RowsDone(c.handed, 1);
    }
}

// The first frame of an animation over the whole canvas, at once.
bool FirstFrame(Ctx& c) {
    WebPData data{c.file.data(), c.file.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return false;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    WebPAnimDecoder* anim = WebPAnimDecoderNew(&data, &options);
    if (anim == nullptr) return false;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    WebPAnimInfo info;
    const bool ok = WebPAnimDecoderGetInfo(anim, &info) && int(info.canvas_width) == c.width &&
                    int(info.canvas_height) == c.height && WebPAnimDecoderGetNext(anim, &canvas, &timestamp);
    if (ok) HandOn(c, canvas, c.width * 4, c.height);
    WebPAnimDecoderDelete(anim);
    return ok;
}

// Reads the size and kind from the header; false for a file that is no
// WebP. The sink refuses a picture too large before anything is made.
bool Begin(Ctx& c) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(c.file.data(), c.file.size(), &features) != VP8_STATUS_OK) return false;
    c.width = features.width;
    c.height = features.height;
    c.animated = features.has_animation != 0;
    // The decode is made whole in B, G, R, A before its rows are handed on.
    Bitmap::CheckSize(c.width, c.height, 32);
    c.out->Begin(c.width, c.height, 24);
    if (c.animated) return true;
    const size_t stride = size_t(c.width) * 4, size = stride * size_t(c.height);
    c.bgra.reset(new uint8_t[size]);
    c.idec = WebPINewRGB(MODE_BGRA, c.bgra.get(), size, int(stride));
    return c.idec != nullptr;
}

}  // namespace

WebpDecoder::WebpDecoder() = default;
WebpDecoder::~WebpDecoder() = default;

void WebpDecoder::Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) {
    NewContext(file, out).piece = pieceBytes == 0 ? file.size() : pieceBytes;
}

Decoder::State WebpDecoder::Step(StepDeadline deadline) {
    if (state_ != State::Working) return state_;
    WebpContext& c = *ctx_;
    bool ok = false, done = false;
    if (!c.begun) {
        c.begun = true;
        try {
            ok = Begin(c);
        } catch (const std::exception&) {
            ok = false;  // too large, or memory ran out
        }
        if (!ok) {
            Cancel();
            return state_;
        }
        if (Passed(deadline)) return state_;
    }
    if (c.animated) {
        ok = done = FirstFrame(c);
    } else {
        for (;;) {
            // The headers go in one piece: libwebp may read a damaged file
            // cut inside them otherwise than the same file given whole.
            const size_t n = std::min(c.fed == 0 ? std::max(c.piece, kHeaderBytes) : c.piece, c.file.size() - c.fed);
            c.fed += n;
            // The library keeps its own view of the bytes given so far.
            const VP8StatusCode status = WebPIUpdate(c.idec, c.file.data(), c.fed);
            int last = 0, w = 0, h = 0, stride = 0;
            const uint8_t* rows = WebPIDecGetRGB(c.idec, &last, &w, &h, &stride);
            if (rows != nullptr && w == c.width && h == c.height) HandOn(c, rows, stride, std::min(last, c.height));
            if (status == VP8_STATUS_OK) {
                ok = done = c.handed == c.height;
                break;
            }
            // Suspended is waiting for more; with the whole file given it was cut short.
            if (status != VP8_STATUS_SUSPENDED || c.fed == c.file.size()) break;
            if (Passed(deadline)) return state_;
        }
    }
    return Finish(ok && done);
}

}  // namespace pelumir
