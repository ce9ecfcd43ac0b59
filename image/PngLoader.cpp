#include "image/PngLoader.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "image/Animation.h"
#include "image/Compose.h"

namespace pelumir {

namespace {

// Everything the reader touches lives here, in the decoder's frame, so a
// longjmp out of libpng never skips a C++ destructor.
struct PngContext {
    png_structp png = nullptr;
    png_infop info = nullptr;
    RowSink* out = nullptr;
    Orientation orientation = Orientation::Normal;
    int width = 0, height = 0;
    int channels = 4;  // B, G, R and A when anything may be see-through; else B, G, R
    bool interlaced = false;
    // Interlaced pictures come in seven passes over the whole picture: the
    // rows the sink wants are gathered here, in `slot[y]` (-1 for a row it
    // does not want), and handed on once complete.
    std::unique_ptr<uint8_t[]> whole;
    std::vector<int> slot;
    ColourSource colour;
    bool ended = false;   // the end of the file's image data was read
    bool refused = false; // the sink refused the size, or memory ran out

    PngContext() = default;
    PngContext(const PngContext&) = delete;
    PngContext& operator=(const PngContext&) = delete;
    ~PngContext() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

using Ctx = PngContext;

// Compressed rows can expand a thousandfold: libpng is given this much at a
// time at most, so one call stays short whatever the picture holds. (The
// reader cannot be stopped from a row callback: pausing there breaks its
// count of the input it holds.)
constexpr size_t kMaxFeed = 4096;

[[noreturn]] void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Ignore(png_structp, png_const_charp) {}

Ctx& Of(png_structp png) { return *static_cast<Ctx*>(png_get_progressive_ptr(png)); }

// Room for the rows the sink wants, left as it is: the seven passes
// together write every pixel of a row.
void Gather(Ctx& c) {
    c.slot.assign(size_t(c.height), -1);
    int wanted = 0;
    for (int y = 0; (y = c.out->NextRowWanted(y)) < c.height; ++y) c.slot[size_t(y)] = wanted++;
    c.whole.reset(new uint8_t[size_t(c.width) * size_t(c.channels) * size_t(wanted)]);
}

uint8_t* Gathered(Ctx& c, int y) {
    return c.whole.get() + size_t(c.slot[size_t(y)]) * size_t(c.width) * size_t(c.channels);
}

void Put(Ctx& c, const uint8_t* row, int y) {
    if (c.channels == 4) ComposeOnBlack(row, c.out->Row(y), c.width);
    else std::memcpy(c.out->Row(y), row, size_t(c.width) * 3);
    c.out->RowsDone(y, 1);
}

// What the chunks before the image data say of the colours: a profile, or
// sRGB itself, or primaries and a gamma.
ColourSource ColourOf(png_structp png, png_infop info) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileBytes = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileBytes) != 0) {
        ColourSource icc = IccColour({profile, profileBytes});
        if (!icc.Untagged()) return icc;
    }
    if (png_get_valid(png, info, PNG_INFO_sRGB) != 0) return {};
    png_fixed_point fileGamma = 0;
    const bool hasGamma = png_get_gAMA_fixed(png, info, &fileGamma) != 0;
    std::array<double, 8> xy = kSrgbPrimaries;
    const bool hasPrimaries =
        png_get_cHRM(png, info, &xy[6], &xy[7], &xy[0], &xy[1], &xy[2], &xy[3], &xy[4], &xy[5]) != 0;
    if (!hasGamma) return hasPrimaries ? DescribedColour(xy, ColourSource::Transfer::Srgb) : ColourSource{};
    if (fileGamma <= 0) return {};
    // Old writers put gAMA 1/2.2 on plain sRGB pictures: taken as sRGB, so
    // no transform changes their pixels for nothing.
    const double decoding = 100000.0 / fileGamma;
    if (std::fabs(decoding / 2.2 - 1) <= 0.005 && NearPrimaries(xy, kSrgbPrimaries, 0.001)) return {};
    if (fileGamma == 100000) return DescribedColour(xy, ColourSource::Transfer::Linear);
    return DescribedColour(xy, ColourSource::Transfer::Gamma, decoding);
}

void OnInfo(png_structp png, png_infop info) {
    Ctx& c = Of(png);
    c.colour = ColourOf(png, info);
    png_set_expand(png);  // palette to RGB, small greys to 8 bits, tRNS to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    // An opaque picture's rows come out as ours are, to be copied as they are.
    const bool alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                       png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (alpha) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    c.channels = alpha ? 4 : 3;
    png_set_bgr(png);
    c.interlaced = png_set_interlace_handling(png) > 1;
    png_read_update_info(png, info);
    c.width = int(png_get_image_width(png, info));
    c.height = int(png_get_image_height(png, info));
    if (png_get_rowbytes(png, info) != size_t(c.width) * size_t(c.channels)) png_error(png, "layout");
    try {
        // Before any pixel is made: a picture too large fails here.
        if (c.interlaced) Bitmap::CheckSize(c.width, c.height, 32);
        c.out->Begin(c.width, c.height, 24, c.orientation);
        if (c.interlaced) Gather(c);
    } catch (const std::exception&) {
        c.refused = true;
    }
    if (c.refused) png_error(png, "refused");
}

void OnRow(png_structp png, png_bytep row, png_uint_32 y, int) {
    Ctx& c = Of(png);
    if (row == nullptr || y >= png_uint_32(c.height)) return;
    if (c.interlaced) {
        if (c.slot[y] >= 0) png_progressive_combine_row(png, Gathered(c, int(y)), row);
        return;
    }
    // Rows the sink does not look at are decoded and let go.
    if (c.out->NextRowWanted(int(y)) != int(y)) return;
    Put(c, row, int(y));
}

// The end of the file's image data. A compressed stream that ends early
// reaches here all the same, its last rows never made: libpng's count of
// the rows and passes it has read tells.
void OnEnd(png_structp png, png_infop) {
    Ctx& c = Of(png);
    const bool whole = c.interlaced ? png_get_current_pass_number(png) >= 7
                                    : png_get_current_row_number(png) >= png_uint_32(c.height);
    if (!whole) png_error(png, "rows missing");
    c.ended = true;
}

// The only frame that calls into libpng: a failure jumps back here.
bool Feed(Ctx* c, const uint8_t* data, size_t size) {
    if (setjmp(png_jmpbuf(c->png))) return false;
    png_process_data(c->png, c->info, const_cast<png_bytep>(data), size);
    return true;
}

bool Open(Ctx* c) {
    if (setjmp(png_jmpbuf(c->png))) return false;
    png_set_progressive_read_fn(c->png, c, OnInfo, OnRow, OnEnd);
    return true;
}

// Hands the gathered rows on; false when no longer wanted.
bool HandOn(Ctx& c) {
    for (int y = 0; y < c.height; ++y) {
        if ((y & 15) == 0 && !c.out->Wanted()) return false;
        if (c.slot[size_t(y)] >= 0) Put(c, Gathered(c, y), y);
    }
    return true;
}

}  // namespace

std::optional<Decoded> DecodePng(FileInput& in, RowSink& out) {
    const std::span<const uint8_t> file = in.Bytes();
    PngContext c;
    c.out = &out;
    c.orientation = in.ExifOrientation();
    const size_t piece = in.PieceBytes() == 0 ? file.size() : std::min(in.PieceBytes(), kMaxFeed);
    c.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
    if (c.png != nullptr) c.info = png_create_info_struct(c.png);
    if (c.info == nullptr || !Open(&c)) return std::nullopt;
    for (size_t fed = 0; !c.ended; fed += std::min(piece, file.size() - fed)) {
        // All the file given and no end seen: it was cut short.
        if (fed == file.size() || !out.Wanted()) return std::nullopt;
        if (!Feed(&c, file.data() + fed, std::min(piece, file.size() - fed))) return std::nullopt;
    }
    if (c.interlaced && !HandOn(c)) return std::nullopt;
    return Decoded{c.width, c.height, c.orientation, std::move(c.colour)};
}

// Animated PNG: libpng here knows no animation chunks, so each frame's
// data is made into a PNG of its own, decoded, and composed here.
namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
constexpr uint32_t Tag(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 | uint32_t(uint8_t(name[2])) << 8 |
           uint8_t(name[3]);
}
constexpr uint32_t kIhdr = Tag("IHDR"), kIdat = Tag("IDAT"), kIend = Tag("IEND"), kPlte = Tag("PLTE"),
                   kTrns = Tag("tRNS"), kActl = Tag("acTL"), kFctl = Tag("fcTL"), kFdat = Tag("fdAT");
constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
enum { kDisposeNone, kDisposeBackground, kDisposePrevious };
enum { kBlendSource, kBlendOver };

struct Chunk {
    uint32_t type = 0;
    std::span<const uint8_t> data;
    size_t size = 0;  // with its length, type and check sum
};

// The chunk at `pos`; false when the file ends before it does.
bool ChunkAt(std::span<const uint8_t> file, size_t pos, Chunk& c) {
    if (pos > file.size() || file.size() - pos < 12) return false;
    const uint32_t length = Be32(&file[pos]);
    if (length > file.size() - pos - 12) return false;
    c.type = Be32(&file[pos + 4]);
    c.data = file.subspan(pos + 8, length);
    c.size = size_t(length) + 12;
    return true;
}

// Appends a chunk; its check sum is left 0, as the reader is told to
// take the chunks as they come (see DecodeFrame).
void PutChunk(std::vector<uint8_t>& out, uint32_t type, std::span<const uint8_t> data) {
    const uint32_t length = uint32_t(data.size());
    const uint8_t head[8] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length),
                             uint8_t(type >> 24),   uint8_t(type >> 16),   uint8_t(type >> 8),   uint8_t(type)};
    out.insert(out.end(), head, head + 8);
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), 4, 0);
}

struct MemoryPng {
    const uint8_t* at;
    size_t left;
};

void ReadMemory(png_structp png, png_bytep to, size_t n) {
    MemoryPng& in = *static_cast<MemoryPng*>(png_get_io_ptr(png));
    if (n > in.left) png_error(png, "cut short");
    std::memcpy(to, in.at, n);
    in.at += n;
    in.left -= n;
}

// The only frame that calls into libpng for a frame: a failure jumps back
// here. Rows come as the still decoder makes them, always with alpha.
bool DecodeFrame(png_structp png, png_infop info, MemoryPng* in, png_bytep* rows, uint32_t width, uint32_t height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, in, ReadMemory);
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_image_width(png, info) != width || png_get_image_height(png, info) != height ||
        png_get_rowbytes(png, info) != size_t(width) * 4)
        return false;
    png_read_image(png, rows);
    return true;
}

// Source over destination, neither premultiplied.
void Over(const uint8_t* s, uint8_t* d) {
    const uint32_t sa = s[3];
    if (sa == 255) {
        std::memcpy(d, s, 4);
        return;
    }
    const uint32_t da = d[3] * (255 - sa), a = sa * 255 + da;  // alphas times 255
    if (a == 0) return;
    for (int k = 0; k < 3; ++k) d[k] = uint8_t((s[k] * sa * 255 + d[k] * da + a / 2) / a);
    d[3] = uint8_t((a + 127) / 255);
}

// What opening learns from the chunks before the image data.
struct PngScan {
    std::span<const uint8_t> header;  // IHDR's data
    std::vector<std::span<const uint8_t>> colours;  // PLTE and tRNS, each whole
    size_t first = 0;  // where the chunks after IHDR start
    int width = 0, height = 0, frames = 0, plays = 0;
};

bool ScanPng(std::span<const uint8_t> file, PngScan& s) {
    Chunk c;
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0 || !ChunkAt(file, 8, c) ||
        c.type != kIhdr || c.data.size() != 13)
        return false;
    s.header = c.data;
    const uint32_t width = Be32(&c.data[0]), height = Be32(&c.data[4]);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) return false;
    s.width = int(width), s.height = int(height);
    s.first = 8 + c.size;
    // Two frame controls, beside acTL's count, make it move.
    int controls = 0;
    bool pastHeader = false;  // the image data has begun
    for (size_t pos = s.first; controls < 2 && ChunkAt(file, pos, c) && c.type != kIend; pos += c.size) {
        controls += c.type == kFctl;
        // No animation control before the image data: a still picture,
        // whose data is not walked through.
        if (c.type == kIdat && s.frames < 2) return false;
        pastHeader = pastHeader || c.type == kIdat;
        if (pastHeader) continue;
        if (c.type == kActl && c.data.size() == 8) {
            s.frames = int(std::min(Be32(&c.data[0]), uint32_t(INT_MAX)));
            s.plays = int(std::min(Be32(&c.data[4]), uint32_t(INT_MAX)));
        }
        if (c.type == kPlte || c.type == kTrns) s.colours.push_back(file.subspan(pos, c.size));
    }
    return s.frames >= 2 && controls == 2;
}

class PngFrames final : public FrameSource {
public:
    PngFrames(std::span<const uint8_t> file, PngScan scan)
        : FrameSource(scan.width, scan.height, scan.plays), file_(file), scan_(std::move(scan)),
          state_(size_t(Width()) * size_t(Height()) * 4) {
        Rewind();
    }

    bool Restart() override {
        pos_ = scan_.first;
        index_ = 0;
        std::fill(state_.begin(), state_.end(), 0);
        dispose_ = kDisposeNone;
        return true;
    }

protected:
    bool ReadFrame(Bitmap& canvas, int& delayMs) override {
        if (index_ >= scan_.frames) return false;
        // The next frame control: a default picture before any is no frame.
        Chunk c;
        for (;; pos_ += c.size) {
            if (!ChunkAt(file_, pos_, c) || c.type == kIend) return false;
            if (c.type == kFctl) break;
        }
        pos_ += c.size;
        if (c.data.size() < 26) return false;
        const uint8_t* f = c.data.data();
        const uint32_t fw = Be32(f + 4), fh = Be32(f + 8), fx = Be32(f + 12), fy = Be32(f + 16);
        const unsigned num = unsigned(f[20]) << 8 | f[21], den = unsigned(f[22]) << 8 | f[23];
        int dispose = f[24];
        const int blend = f[25];
        if (fw == 0 || fh == 0 || fx > uint32_t(Width()) || fy > uint32_t(Height()) || fw > uint32_t(Width()) - fx ||
            fh > uint32_t(Height()) - fy || dispose > kDisposePrevious || blend > kBlendOver)
            return false;
        if (!Decode(fw, fh)) return false;
        Dispose();
        // Nothing came before the first frame to go back to.
        if (dispose == kDisposePrevious && index_ == 0) dispose = kDisposeBackground;
        rect_ = {int(fx), int(fy), int(fw), int(fh)};
        dispose_ = dispose;
        if (dispose == kDisposePrevious) {
            saved_.resize(size_t(fw) * size_t(fh) * 4);
            for (uint32_t y = 0; y < fh; ++y) std::memcpy(&saved_[size_t(y) * fw * 4], At(fx, fy + y), size_t(fw) * 4);
        }
        for (uint32_t y = 0; y < fh; ++y) {
            const uint8_t* src = &pixels_[size_t(y) * fw * 4];
            uint8_t* dst = At(fx, fy + y);
            if (blend == kBlendSource) std::memcpy(dst, src, size_t(fw) * 4);
            else
                for (uint32_t x = 0; x < fw; ++x) Over(src + x * 4, dst + x * 4);
        }
        ComposeCanvas(state_.data(), Width(), Height(), false, canvas);
        delayMs = ShownDelay(num * 1000.0 / (den == 0 ? 100 : den));
        ++index_;
        return true;
    }

private:
    uint8_t* At(uint32_t x, uint32_t y) { return &state_[(size_t(y) * size_t(Width()) + x) * 4]; }

    // The frame's data, the IDAT or fdAT chunks up to the next frame
    // control, as a PNG of its own with the file's header and colours,
    // into pixels_.
    bool Decode(uint32_t width, uint32_t height) {
        png_.assign(kSignature, kSignature + 8);
        uint8_t header[13];
        std::memcpy(header, scan_.header.data(), 13);
        for (int k = 0; k < 4; ++k) header[k] = uint8_t(width >> (24 - 8 * k)), header[4 + k] = uint8_t(height >> (24 - 8 * k));
        PutChunk(png_, kIhdr, header);
        for (std::span<const uint8_t> chunk : scan_.colours) png_.insert(png_.end(), chunk.begin(), chunk.end());
        bool data = false;
        Chunk c;
        for (; ChunkAt(file_, pos_, c) && c.type != kFctl && c.type != kIend; pos_ += c.size) {
            // fdAT's data follows its sequence number.
            if (c.type == kIdat || (c.type == kFdat && c.data.size() >= 4)) {
                PutChunk(png_, kIdat, c.type == kIdat ? c.data : c.data.subspan(4));
                data = true;
            }
        }
        if (!data) return false;
        PutChunk(png_, kIend, {});
        pixels_.assign(size_t(width) * size_t(height) * 4, 0);
        std::vector<png_bytep> rows(height);
        for (uint32_t y = 0; y < height; ++y) rows[y] = &pixels_[size_t(y) * width * 4];
        MemoryPng in{png_.data(), png_.size()};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
        png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
        const bool ok = info != nullptr && DecodeFrame(png, info, &in, rows.data(), width, height);
        png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        return ok;
    }

    // What the frame before asked done with its rectangle before the next.
    void Dispose() {
        for (int y = 0; y < rect_.h; ++y) {
            uint8_t* row = At(uint32_t(rect_.x), uint32_t(rect_.y + y));
            const size_t bytes = size_t(rect_.w) * 4;
            if (dispose_ == kDisposeBackground) std::memset(row, 0, bytes);
            if (dispose_ == kDisposePrevious) std::memcpy(row, &saved_[size_t(y) * bytes], bytes);
        }
        dispose_ = kDisposeNone;
    }

    struct Rect {
        int x = 0, y = 0, w = 0, h = 0;
    };
    std::span<const uint8_t> file_;
    PngScan scan_;
    size_t pos_ = 0;   // the next chunk to read
    int index_ = 0;    // the next frame's
    std::vector<uint8_t> state_;   // B, G, R, A: what the frames so far made
    std::vector<uint8_t> saved_;   // the rectangle a frame disposed of as "previous" gives back
    std::vector<uint8_t> pixels_;  // the frame, B, G, R, A
    std::vector<uint8_t> png_;     // the frame as a PNG of its own
    Rect rect_;                    // the last frame's
    int dispose_ = kDisposeNone;
};

}  // namespace

std::unique_ptr<FrameSource> OpenPngAnimation(std::span<const uint8_t> file) {
    PngScan scan;
    if (!ScanPng(file, scan)) return nullptr;
    Bitmap::CheckSize(scan.width, scan.height, 32);
    return std::make_unique<PngFrames>(file, std::move(scan));
}

}  // namespace pelumir
