#include "image/JxlLoader.h"

#include <jxl/decode.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "image/Animation.h"
#include "image/Compose.h"
#include "image/LateLibrary.h"

namespace pelumir {

namespace {

// Every libjxl function the decoder calls; the library is opened on the
// first JPEG XL file (see LateLibrary.h).
#define PELUMIR_JXL_FUNCTIONS(X) \
    X(JxlDecoderCreate) \
    X(JxlDecoderDestroy) \
    X(JxlDecoderSubscribeEvents) \
    X(JxlDecoderSetKeepOrientation) \
    X(JxlDecoderSetInput) \
    X(JxlDecoderReleaseInput) \
    X(JxlDecoderCloseInput) \
    X(JxlDecoderProcessInput) \
    X(JxlDecoderGetBasicInfo) \
    X(JxlDecoderSetPreferredColorProfile) \
    X(JxlDecoderGetColorAsEncodedProfile) \
    X(JxlDecoderGetICCProfileSize) \
    X(JxlDecoderGetColorAsICCProfile) \
    X(JxlDecoderSetImageOutCallback) \
    X(JxlDecoderGetFrameHeader) \
    X(JxlDecoderImageOutBufferSize) \
    X(JxlDecoderSetImageOutBuffer) \
    X(JxlDecoderRewind)

struct JxlApi {
    PELUMIR_JXL_FUNCTIONS(PELUMIR_LATE_MEMBER)
};

// The library, opened once; null when it or one of its functions is
// missing, and every JPEG XL file then fails.
const JxlApi* Jxl() {
    static JxlApi table;
    static const JxlApi* const api = OpenLate("libjxl.so.0.7", table, [](void* lib) {
        bool found = true;
        PELUMIR_JXL_FUNCTIONS(PELUMIR_LATE_LOOKUP)
        return found;
    });
    return api;
}

// One decoder instance, destroyed through the table it was made with.
class DecoderHandle {
public:
    DecoderHandle() = default;
    DecoderHandle(const DecoderHandle&) = delete;
    DecoderHandle& operator=(const DecoderHandle&) = delete;
    ~DecoderHandle() {
        if (dec_ != nullptr) api_->JxlDecoderDestroy(dec_);
    }
    // False when the library is missing or cannot make a decoder.
    bool Make() {
        api_ = Jxl();
        dec_ = api_ == nullptr ? nullptr : api_->JxlDecoderCreate(nullptr);
        return dec_ != nullptr;
    }
    JxlDecoder* get() const { return dec_; }
    const JxlApi* operator->() const { return api_; }

private:
    const JxlApi* api_ = nullptr;
    JxlDecoder* dec_ = nullptr;
};

}  // namespace

void OpenJxlLibrary() { Jxl(); }

namespace {

struct JpegXlContext {
    std::span<const uint8_t> file;
    size_t fed = 0;       // how much of the file the library has been given
    size_t consumed = 0;  // how much of that it is done with
    size_t piece = 0;
    RowSink* out = nullptr;
    Orientation orientation = Orientation::Normal;
    DecoderHandle dec;  // calls go through it: c.dec->JxlDecoderXxx(c.dec.get(), ...)
    int width = 0, height = 0;
    bool alpha = false, premultiplied = false;
    bool broken = false;  // a callback could not keep its pixels
    // The library hands out a group of the picture at a time: rows come in
    // pieces and, across a band of groups, out of order. They wait here,
    // row y in slot y % slots, until whole; the slots grow when a row comes
    // from further ahead (a file may store its middle first).
    std::vector<uint8_t> slots;
    std::vector<int> filled;  // pixels written, per slot
    int slotCount = 0;
    int handed = 0;  // rows given to the sink
    std::vector<uint8_t> bgra;  // one piece of a row before it is composed
    ColourSource colour;        // what the pixels handed on are in
};

using Ctx = JpegXlContext;

// Groups are 256 rows high: a band of them fits before any slot is reused.
constexpr int kFirstSlots = 320;
// Each call to the library decodes what this much more input completes, so
// one call stays short however the picture was compressed.
constexpr size_t kMaxFeed = 16 * 1024;

size_t Stride(const Ctx& c) { return size_t(c.width) * 3; }
uint8_t* Slot(Ctx& c, int y) { return c.slots.data() + size_t(y % c.slotCount) * Stride(c); }

// NaN and values past either end (a lossy picture overshoots) are clamped.
uint8_t To8(float v) { return v > 0.f ? v < 1.f ? uint8_t(v * 255.f + 0.5f) : 255 : 0; }

// Room for rows up to y: the rows waiting keep their pixels in new slots.
void Grow(Ctx& c, int y) {
    const int count = std::min(c.height, std::max(2 * c.slotCount, y - c.handed + 1));
    std::vector<uint8_t> slots(size_t(count) * Stride(c));
    std::vector<int> filled(size_t(count), 0);
    for (int row = c.handed; row < std::min(c.height, c.handed + c.slotCount); ++row) {
        std::memcpy(slots.data() + size_t(row % count) * Stride(c), Slot(c, row), Stride(c));
        filled[size_t(row % count)] = c.filled[size_t(row % c.slotCount)];
    }
    c.slots.swap(slots);
    c.filled.swap(filled);
    c.slotCount = count;
}

// Hands on the rows that are whole, in order.
void HandOn(Ctx& c) {
    while (c.handed < c.height && c.filled[size_t(c.handed % c.slotCount)] == c.width) {
        std::memcpy(c.out->Row(c.handed), Slot(c, c.handed), Stride(c));
        c.out->RowsDone(c.handed, 1);
        c.filled[size_t(c.handed % c.slotCount)] = 0;
        ++c.handed;
    }
}

// Called by the library, on this thread (no runner is given), with a piece
// of row y; each pixel comes once.
void OnPixels(void* opaque, size_t x, size_t y, size_t n, const void* pixels) {
    Ctx& c = *static_cast<Ctx*>(opaque);
    if (c.broken) return;
    if (y >= size_t(c.height) || y < size_t(c.handed) || x >= size_t(c.width) || n > size_t(c.width) - x) {
        c.broken = true;
        return;
    }
    const int row = int(y);
    // Nothing may be thrown through the library: a failure marks the decode.
    if (row >= c.handed + c.slotCount) {
        try {
            Grow(c, row);
        } catch (const std::exception&) {
            c.broken = true;
            return;
        }
    }
    const float* p = static_cast<const float*>(pixels);
    uint8_t* bgr = Slot(c, row) + x * 3;
    if (!c.alpha) {
        for (size_t i = 0; i < n; ++i, p += 3, bgr += 3) bgr[0] = To8(p[2]), bgr[1] = To8(p[1]), bgr[2] = To8(p[0]);
    } else if (c.premultiplied) {
        // The colours already lie on black.
        for (size_t i = 0; i < n; ++i, p += 4, bgr += 3) bgr[0] = To8(p[2]), bgr[1] = To8(p[1]), bgr[2] = To8(p[0]);
    } else {
        uint8_t* q = c.bgra.data();
        for (size_t i = 0; i < n; ++i, p += 4, q += 4) q[0] = To8(p[2]), q[1] = To8(p[1]), q[2] = To8(p[0]), q[3] = To8(p[3]);
        ComposeOnBlack(c.bgra.data(), bgr, int(n));
    }
    c.filled[size_t(row % c.slotCount)] += int(n);
    // At once, so a picture made in one call never waits whole in the slots.
    if (row == c.handed) {
        try {
            HandOn(c);
        } catch (const std::exception&) {
            c.broken = true;
        }
    }
}

// Gives the library the next piece, after what it has not yet used.
void Feed(Ctx& c) {
    c.consumed = c.fed - c.dec->JxlDecoderReleaseInput(c.dec.get());
    c.fed += std::min(c.piece, c.file.size() - c.fed);
    c.dec->JxlDecoderSetInput(c.dec.get(), c.file.data() + c.consumed, c.fed - c.consumed);
    if (c.fed == c.file.size()) c.dec->JxlDecoderCloseInput(c.dec.get());
}

// The size, from the header: the sink refuses a picture too large before
// the library has made any of it.
bool Begin(Ctx& c) {
    JxlBasicInfo info;
    if (c.dec->JxlDecoderGetBasicInfo(c.dec.get(), &info) != JXL_DEC_SUCCESS) return false;
    if (info.xsize == 0 || info.ysize == 0 || info.xsize > INT_MAX || info.ysize > INT_MAX) return false;
    c.width = int(info.xsize);
    c.height = int(info.ysize);
    c.alpha = info.alpha_bits != 0;
    c.premultiplied = c.alpha && info.alpha_premultiplied;
    // The rows stay as stored; the sink turns them where it samples them.
    c.orientation = OrientationFromExif(info.orientation);
    try {
        c.out->Begin(c.width, c.height, 24, c.orientation);
        c.slotCount = std::min(c.height, kFirstSlots);
        c.slots.resize(size_t(c.slotCount) * Stride(c));
        c.filled.assign(size_t(c.slotCount), 0);
        if (c.alpha) c.bgra.resize(size_t(c.width) * 4);
    } catch (const std::exception&) {
        return false;  // too large, or memory ran out
    }
    return true;
}

using Transfer = ColourSource::Transfer;

JxlColorEncoding SrgbEncoding(bool grey) {
    JxlColorEncoding srgb{};
    srgb.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
    srgb.white_point = JXL_WHITE_POINT_D65;
    srgb.primaries = JXL_PRIMARIES_SRGB;
    srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
    srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
    return srgb;
}

// A coded encoding as a description: sRGB itself, a colour space libjxl
// cannot name, or absurd values give untagged.
ColourSource Describe(const JxlColorEncoding& e) {
    if (e.color_space != JXL_COLOR_SPACE_RGB && e.color_space != JXL_COLOR_SPACE_GRAY) return {};
    // Grey has no primaries: sRGB's stand in, its white and curve are what count.
    std::array<double, 8> xy = kSrgbPrimaries;
    if (e.color_space == JXL_COLOR_SPACE_RGB)
        xy = {e.primaries_red_xy[0],   e.primaries_red_xy[1],  e.primaries_green_xy[0], e.primaries_green_xy[1],
              e.primaries_blue_xy[0],  e.primaries_blue_xy[1], e.white_point_xy[0],     e.white_point_xy[1]};
    switch (e.transfer_function) {
    case JXL_TRANSFER_FUNCTION_LINEAR: return DescribedColour(xy, Transfer::Linear);
    case JXL_TRANSFER_FUNCTION_709: return DescribedColour(xy, Transfer::Bt709);
    case JXL_TRANSFER_FUNCTION_PQ: return DescribedColour(xy, Transfer::Pq);
    case JXL_TRANSFER_FUNCTION_HLG: return DescribedColour(xy, Transfer::Hlg);
    case JXL_TRANSFER_FUNCTION_DCI: return DescribedColour(xy, Transfer::Gamma, 2.6);
    // libjxl's gamma is the encoding exponent, ours the decoding one.
    case JXL_TRANSFER_FUNCTION_GAMMA:
        return e.gamma > 0 ? DescribedColour(xy, Transfer::Gamma, 1 / e.gamma) : ColourSource{};
    default: return DescribedColour(xy, Transfer::Srgb);
    }
}

// Whether a picture in this encoding, given as sRGB, would lose what the
// file holds: light past sRGB's white, or colours outside its gamut.
bool BeyondSrgb(const JxlColorEncoding& e) {
    const JxlTransferFunction tf = e.transfer_function;
    return tf == JXL_TRANSFER_FUNCTION_PQ || tf == JXL_TRANSFER_FUNCTION_HLG ||
           (e.color_space == JXL_COLOR_SPACE_RGB &&
           (e.primaries != JXL_PRIMARIES_SRGB || e.white_point != JXL_WHITE_POINT_D65));
}

// What the pixels come out in, asked for and reported. A picture coded in
// XYB comes in any encoding asked for: sRGB, as a JPEG's would, not the
// linear light the library picks when the file names another profile;
// its own encoding only when sRGB would clip it. Any other comes in its
// own encoding whatever is asked.
ColourSource ChooseColour(DecoderHandle& dec) {
    JxlBasicInfo info;
    if (dec->JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) return {};
    JxlColorEncoding encoding{};
    if (!info.uses_original_profile) {
        if (dec->JxlDecoderGetColorAsEncodedProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                                      &encoding) == JXL_DEC_SUCCESS &&
            BeyondSrgb(encoding) &&
            dec->JxlDecoderSetPreferredColorProfile(dec.get(), &encoding) == JXL_DEC_SUCCESS) {
            return Describe(encoding);
        }
        const JxlColorEncoding srgb = SrgbEncoding(info.num_color_channels == 1);
        (void)dec->JxlDecoderSetPreferredColorProfile(dec.get(), &srgb);
        return {};
    }
    if (dec->JxlDecoderGetColorAsEncodedProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
        JXL_DEC_SUCCESS)
        return Describe(encoding);
    size_t size = 0;
    if (dec->JxlDecoderGetICCProfileSize(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        !IccSizeUsable(size))
        return {};
    std::vector<uint8_t> profile(size);
    if (dec->JxlDecoderGetColorAsICCProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, profile.data(),
                                              size) == JXL_DEC_SUCCESS)
        return IccColour(profile);
    return {};
}

bool Output(Ctx& c) {
    // Floats, not bytes: libjxl writes them as each group is made, where
    // its byte rows wait for the whole frame.
    const JxlPixelFormat format{c.alpha ? 4u : 3u, JXL_TYPE_FLOAT, JXL_NATIVE_ENDIAN, 0};
    return c.dec->JxlDecoderSetImageOutCallback(c.dec.get(), &format, OnPixels, &c) == JXL_DEC_SUCCESS;
}

}  // namespace

std::optional<Decoded> DecodeJxl(FileInput& in, RowSink& out) {
    JpegXlContext c;
    c.file = in.Bytes();
    c.out = &out;
    c.piece = in.PieceBytes() == 0 ? c.file.size() : std::min(in.PieceBytes(), kMaxFeed);
    // The first frame is all that shows: an animation stops after it.
    const int events = JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE;
    if (!c.dec.Make() || c.dec->JxlDecoderSubscribeEvents(c.dec.get(), events) != JXL_DEC_SUCCESS ||
        c.dec->JxlDecoderSetKeepOrientation(c.dec.get(), JXL_TRUE) != JXL_DEC_SUCCESS)
        return std::nullopt;
    Feed(c);
    for (;;) {
        const JxlDecoderStatus status = c.dec->JxlDecoderProcessInput(c.dec.get());
        if (c.broken) return std::nullopt;
        if (status == JXL_DEC_NEED_MORE_INPUT) {
            // All the file given and more wanted: it was cut short.
            if (c.fed == c.file.size() || !out.Wanted()) return std::nullopt;
            Feed(c);
        } else if (status == JXL_DEC_BASIC_INFO) {
            if (!Begin(c)) return std::nullopt;
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            c.colour = ChooseColour(c.dec);
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            if (!Output(c)) return std::nullopt;
        } else if (status == JXL_DEC_FULL_IMAGE && c.handed == c.height) {
            return Decoded{c.width, c.height, c.orientation, std::move(c.colour)};
        } else {
            return std::nullopt;  // an error, or the end without a picture
        }
    }
}

namespace {

// What opening learns: the header, and that a second frame follows.
struct JxlScan {
    int width = 0, height = 0, loops = 0;
    double tickMs = 0;  // a tick of the frames' durations
    bool premultiplied = false;
};

// The whole file at once: a frame source holds it in memory anyway.
void FeedWhole(DecoderHandle& dec, std::span<const uint8_t> file) {
    dec->JxlDecoderReleaseInput(dec.get());
    dec->JxlDecoderSetInput(dec.get(), file.data(), file.size());
    dec->JxlDecoderCloseInput(dec.get());
}

// Without the full image asked for, the library passes over each frame's
// pixels: counting the first two frames costs their headers only.
bool ScanJxl(std::span<const uint8_t> file, JxlScan& s) {
    DecoderHandle dec;
    if (!dec.Make() || dec->JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FRAME) != JXL_DEC_SUCCESS)
        return false;
    FeedWhole(dec, file);
    for (int frames = 0;;) {
        const JxlDecoderStatus status = dec->JxlDecoderProcessInput(dec.get());
        if (status == JXL_DEC_FRAME && ++frames == 2) return true;
        if (status == JXL_DEC_FRAME) continue;
        JxlBasicInfo info;
        if (status != JXL_DEC_BASIC_INFO || dec->JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS ||
            !info.have_animation || info.xsize == 0 || info.ysize == 0 || info.xsize > INT_MAX || info.ysize > INT_MAX)
            return false;
        // The library turns the frames by the file's orientation, and gives
        // the size they then have.
        s.width = int(info.xsize);
        s.height = int(info.ysize);
        s.loops = int(std::min(info.animation.num_loops, uint32_t(INT_MAX)));
        if (info.animation.tps_numerator != 0)
            s.tickMs = 1000.0 * info.animation.tps_denominator / info.animation.tps_numerator;
        s.premultiplied = info.alpha_bits != 0 && info.alpha_premultiplied;
    }
}

// libjxl composes each frame onto those before (coalescing, its default)
// into a canvas here of R, G, B, A.
class JxlFrames final : public FrameSource {
public:
    JxlFrames(std::span<const uint8_t> file, const JxlScan& scan)
        : FrameSource(scan.width, scan.height, scan.loops), file_(file), scan_(scan),
          pixels_(size_t(scan.width) * size_t(scan.height) * 4) {}

    bool Start() { return dec_.Make() && Rewind(); }

    // The events asked for again: libjxl 0.7 ends at once after a rewind
    // otherwise, whatever its documentation says.
    bool Restart() override {
        const int events = JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE;
        dec_->JxlDecoderRewind(dec_.get());
        if (dec_->JxlDecoderSubscribeEvents(dec_.get(), events) != JXL_DEC_SUCCESS) return false;
        FeedWhole(dec_, file_);
        return true;
    }

protected:
    bool ReadFrame(Bitmap& canvas, int& delayMs) override {
        const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        for (;;) {
            const JxlDecoderStatus status = dec_->JxlDecoderProcessInput(dec_.get());
            if (status == JXL_DEC_BASIC_INFO) continue;
            if (status == JXL_DEC_COLOR_ENCODING) {
                // In the encoding the still decoder asks for, so the table
                // its picture was turned by turns the frames alike.
                (void)ChooseColour(dec_);
            } else if (status == JXL_DEC_FRAME) {
                JxlFrameHeader header;
                if (dec_->JxlDecoderGetFrameHeader(dec_.get(), &header) != JXL_DEC_SUCCESS) return false;
                duration_ = header.duration;
            } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
                size_t size = 0;
                if (dec_->JxlDecoderImageOutBufferSize(dec_.get(), &format, &size) != JXL_DEC_SUCCESS ||
                    size != pixels_.size() ||
                    dec_->JxlDecoderSetImageOutBuffer(dec_.get(), &format, pixels_.data(), size) != JXL_DEC_SUCCESS)
                    return false;
            } else if (status == JXL_DEC_FULL_IMAGE) {
                // Premultiplied colours already lie on black.
                if (scan_.premultiplied)
                    for (size_t i = 3; i < pixels_.size(); i += 4) pixels_[i] = 255;
                ComposeCanvas(pixels_.data(), Width(), Height(), true, canvas);
                delayMs = ShownDelay(duration_ * scan_.tickMs);
                return true;
            } else {
                return false;  // the end, an error, or a cut file
            }
        }
    }

private:
    std::span<const uint8_t> file_;
    JxlScan scan_;
    DecoderHandle dec_;
    std::vector<uint8_t> pixels_;
    uint32_t duration_ = 0;  // the current frame's, in ticks
};

}  // namespace

std::unique_ptr<FrameSource> OpenJxlAnimation(std::span<const uint8_t> file) {
    JxlScan scan;
    if (!ScanJxl(file, scan)) return nullptr;
    Bitmap::CheckSize(scan.width, scan.height, 32);
    auto source = std::make_unique<JxlFrames>(file, scan);
    if (!source->Start()) return nullptr;
    return source;
}

}  // namespace pelumir
