#include "viewer/StretchDraw.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/Exception.h"
#include "platform/MaskChannel.h"

namespace pelumir {

FitRect ComputeFittedRect(int64_t gW, int64_t gH, int64_t W, int64_t H) {
    // An empty picture or area has no place; dividing by its size would trap.
    if (gW <= 0 || gH <= 0 || W <= 0 || H <= 0) return {};
    int64_t dw, dh;
    if (gW < W && gH < H) {
        dw = gW;
        dh = gH;
    } else if (double(gW) / double(gH) > double(W) / double(H)) {
        dw = W;
        dh = gH * W / gW;
    } else {
        dh = H;
        dw = gW * H / gH;
    }
    const int64_t left = W > dw ? (W - dw) / 2 : 0;
    const int64_t top = H > dh ? (H - dh) / 2 : 0;
    return {left, top, left + dw, top + dh};
}

namespace {

// The source index sampled for destination index `d` of `dn` when `sn`
// source pixels are squeezed into them: the source pixel under the centre of
// the destination pixel. Widths stay below 2^31, so the product fits.
inline uint32_t SampleIndex(uint64_t d, uint64_t dn, uint64_t sn) {
    return uint32_t((2 * d + 1) * sn / (2 * dn));
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

struct MaskedLayout {
    MaskChannel red, green, blue;
    explicit MaskedLayout(const ColorMasks& m) : red(m.red), green(m.green), blue(m.blue) {}
    uint32_t ToCanvas(uint32_t pixel) const {
        return (red.Extract(pixel) << 16) | (green.Extract(pixel) << 8) | blue.Extract(pixel);
    }
};

// The palette as canvas values; indices past its end show black.
std::array<uint32_t, 256> PaletteTable(const Bitmap& picture) {
    std::array<uint32_t, 256> table{};
    const auto& palette = picture.Palette();
    for (size_t i = 0; i < palette.size() && i < table.size(); ++i) table[i] = palette[i] & 0x00FFFFFF;
    return table;
}

// The masks a 16- or 32-bit picture is read with: its own, or the plain
// layout that a picture without masks has.
ColorMasks EffectiveMasks(const Bitmap& picture) {
    if (!(picture.Masks() == ColorMasks{})) return picture.Masks();
    if (picture.BitsPerPixel() == 16) return kMasks555;
    return {0x00FF0000, 0x0000FF00, 0x000000FF};
}

struct Span {
    const Bitmap& picture;
    Bitmap& canvas;
    FitRect rect;
    std::vector<uint32_t> columns;  // source column of each destination column

    uint32_t* Dest(int64_t y) { return reinterpret_cast<uint32_t*>(canvas.Row(int(rect.top + y))) + rect.left; }
    const uint8_t* Source(int64_t y) const {
        return picture.Row(int(SampleIndex(uint64_t(y), uint64_t(rect.Height()), uint64_t(picture.Height()))));
    }
};

// Each layout gets its own loop; `pixel(row, column)` turns one source pixel
// into a canvas value and is inlined into the loop.
template <typename PixelFn>
void SampleRows(Span& s, PixelFn pixel) {
    const int64_t dw = s.rect.Width();
    const uint32_t* columns = s.columns.data();
    for (int64_t y = 0; y < s.rect.Height(); ++y) {
        const uint8_t* src = s.Source(y);
        uint32_t* dst = s.Dest(y);
        for (int64_t x = 0; x < dw; ++x) dst[x] = pixel(src, columns[x]);
    }
}

void SampleAnyLayout(Span& s) {
    const Bitmap& picture = s.picture;
    const int bpp = picture.BitsPerPixel();
    if (bpp == 32 && picture.Masks() == ColorMasks{}) {
        // The fourth byte is reserved; the canvas always gets 0 there.
        SampleRows(s, [](const uint8_t* row, uint32_t x) { return Load32(row + 4 * size_t(x)) & 0x00FFFFFF; });
    } else if (bpp == 24) {
        SampleRows(s, [](const uint8_t* row, uint32_t x) {
            const uint8_t* p = row + 3 * size_t(x);
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        });
    } else if (bpp == 8) {
        const auto table = PaletteTable(picture);
        SampleRows(s, [&table](const uint8_t* row, uint32_t x) { return table[row[x]]; });
    } else if (bpp == 4) {
        const auto table = PaletteTable(picture);
        SampleRows(s, [&table](const uint8_t* row, uint32_t x) {
            const uint8_t byte = row[x >> 1];
            return table[(x & 1) != 0 ? byte & 0x0F : byte >> 4];
        });
    } else if (bpp == 1) {
        const auto table = PaletteTable(picture);
        SampleRows(s, [&table](const uint8_t* row, uint32_t x) { return table[(row[x >> 3] >> (7 - (x & 7))) & 1]; });
    } else if (bpp == 16) {
        const MaskedLayout layout(EffectiveMasks(picture));
        SampleRows(s, [&layout](const uint8_t* row, uint32_t x) { return layout.ToCanvas(Load16(row + 2 * size_t(x))); });
    } else if (bpp == 32) {
        const MaskedLayout layout(EffectiveMasks(picture));
        SampleRows(s, [&layout](const uint8_t* row, uint32_t x) { return layout.ToCanvas(Load32(row + 4 * size_t(x))); });
    } else {
        throw EInvalidGraphic();
    }
}

void FillBlack(Bitmap& canvas, int W, int H) {
    for (int y = 0; y < H; ++y) std::memset(canvas.Row(y), 0, size_t(W) * 4);
}

}  // namespace

bool DrawFitted(const Bitmap& picture, Bitmap& canvas, int W, int H) {
    // A canvas that cannot hold the area is a caller's mistake; writing past
    // it would corrupt memory, so it is refused outright.
    if (W < 0 || H < 0 || canvas.BitsPerPixel() != 32 || canvas.Width() < W || canvas.Height() < H)
        throw EInvalidGraphic();
    FillBlack(canvas, W, H);
    if (picture.Empty()) return false;
    const FitRect rect = ComputeFittedRect(picture.Width(), picture.Height(), W, H);
    if (rect.Width() <= 0 || rect.Height() <= 0) return true;

    Span span{picture, canvas, rect, {}};
    span.columns.resize(size_t(rect.Width()));
    for (int64_t x = 0; x < rect.Width(); ++x)
        span.columns[size_t(x)] = SampleIndex(uint64_t(x), uint64_t(rect.Width()), uint64_t(picture.Width()));
    SampleAnyLayout(span);
    return true;
}

}  // namespace pelumir
