#include "image/PngLoader.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

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

}  // namespace pelumir
