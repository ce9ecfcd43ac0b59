#include "viewer/BitmapUtils.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/MaskChannel.h"

namespace pelumir {
namespace {

// Throughout the turn: result row x, column h - 1 - y takes source row y,
// column x, where h is the source's height.

// Row addresses come from one base pointer and the stride, so the copy loops
// never call into the bitmap per pixel.
struct Rows {
    uint8_t* base;
    size_t stride;
    uint8_t* operator[](int y) const { return base + size_t(y) * stride; }
};
struct ConstRows {
    const uint8_t* base;
    size_t stride;
    const uint8_t* operator[](int y) const { return base + size_t(y) * stride; }
};

// Eight source rows go into each result byte; the byte's bits past the row's
// width are left exactly as they were.
void Turn1Bit(ConstRows src, Rows dst, int w, int h) {
    for (int x = 0; x < w; ++x) {
        const size_t in = size_t(x) >> 3;
        const uint8_t inMask = uint8_t(0x80u >> (x & 7));
        uint8_t* out = dst[x];
        for (int d0 = 0; d0 < h; d0 += 8) {
            const int count = std::min(8, h - d0);
            uint8_t bits = 0;
            uint8_t touched = 0;
            for (int k = 0; k < count; ++k) {
                const uint8_t bit = uint8_t(0x80u >> k);
                touched |= bit;
                if (src[h - 1 - (d0 + k)][in] & inMask) bits |= bit;
            }
            uint8_t& b = out[size_t(d0) >> 3];
            b = uint8_t((b & ~touched) | bits);
        }
    }
}

// Two source rows make a result byte; an odd height leaves the last byte's
// low nibble as it was.
void Turn4Bit(ConstRows src, Rows dst, int w, int h) {
    for (int x = 0; x < w; ++x) {
        const size_t in = size_t(x) >> 1;
        const int shift = (x & 1) ? 0 : 4;
        uint8_t* out = dst[x];
        for (int d = 0; d < h; d += 2) {
            const uint8_t high = uint8_t((src[h - 1 - d][in] >> shift) & 0x0F);
            uint8_t& b = out[size_t(d) >> 1];
            if (d + 1 < h) {
                const uint8_t low = uint8_t((src[h - 2 - d][in] >> shift) & 0x0F);
                b = uint8_t(high << 4 | low);
            } else {
                b = uint8_t(high << 4 | (b & 0x0F));
            }
        }
    }
}

// Whole-byte pixels are moved tile by tile: a column walk over a large image
// would touch a new cache line (and soon a new page) for every pixel.
constexpr int kTile = 128;

template <size_t N>
void TurnTile(ConstRows src, Rows dst, int h, int x0, int x1, int y0, int y1) {
    for (int x = x0; x < x1; ++x) {
        uint8_t* out = dst[x];
        const size_t in = size_t(x) * N;
        for (int y = y0; y < y1; ++y) std::memcpy(out + size_t(h - 1 - y) * N, src[y] + in, N);
    }
}

#if defined(__SSE2__)
// 32-bit pixels four by four: rows y + 3 .. y of the source, transposed,
// are the four result rows' runs in their final order.
void TurnTile32(ConstRows src, Rows dst, int h, int x0, int x1, int y0, int y1) {
    const int xEnd = x0 + (x1 - x0) / 4 * 4;
    const int yEnd = y0 + (y1 - y0) / 4 * 4;
    for (int x = x0; x < xEnd; x += 4) {
        const size_t in = size_t(x) * 4;
        for (int y = yEnd - 4; y >= y0; y -= 4) {
            const size_t at = size_t(h - 4 - y) * 4;
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[y + 3] + in));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[y + 2] + in));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[y + 1] + in));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[y] + in));
            const __m128i ab0 = _mm_unpacklo_epi32(a, b);
            const __m128i cd0 = _mm_unpacklo_epi32(c, d);
            const __m128i ab1 = _mm_unpackhi_epi32(a, b);
            const __m128i cd1 = _mm_unpackhi_epi32(c, d);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[x] + at), _mm_unpacklo_epi64(ab0, cd0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[x + 1] + at), _mm_unpackhi_epi64(ab0, cd0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[x + 2] + at), _mm_unpacklo_epi64(ab1, cd1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[x + 3] + at), _mm_unpackhi_epi64(ab1, cd1));
        }
    }
    // The ragged right and bottom strips of the tile.
    if (xEnd < x1) TurnTile<4>(src, dst, h, xEnd, x1, y0, y1);
    if (yEnd < y1) TurnTile<4>(src, dst, h, x0, xEnd, yEnd, y1);
}
#endif

template <size_t N>
void TurnWhole(ConstRows src, Rows dst, int w, int h) {
    // Result rows are filled in order, so its pages are written front to back.
    for (int x0 = 0; x0 < w; x0 += kTile) {
        const int x1 = std::min(w, x0 + kTile);
        for (int y0 = h; y0 > 0; y0 -= kTile) {
            const int ys = std::max(0, y0 - kTile);
#if defined(__SSE2__)
            if constexpr (N == 4) {
                TurnTile32(src, dst, h, x0, x1, ys, y0);
                continue;
            }
#endif
            TurnTile<N>(src, dst, h, x0, x1, ys, y0);
        }
    }
}

void StorePixel(uint8_t* out, uint8_t b, uint8_t g, uint8_t r) {
    out[0] = b;
    out[1] = g;
    out[2] = r;
    out[3] = 0;
}

void StoreEntry(uint8_t* out, uint32_t rgb) {
    StorePixel(out, uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16));
}

void IndexedRowTo32(const uint8_t* in, uint8_t* out, int w, int bits,
                    const std::vector<uint32_t>& palette) {
    const int perByte = 8 / bits;
    const unsigned valueMask = (1u << bits) - 1;
    for (int i = 0; i < w; ++i) {
        const int shift = 8 - bits * (i % perByte + 1);
        const unsigned index = (in[i / perByte] >> shift) & valueMask;
        // An index past the colour table has no colour of its own: black.
        StoreEntry(out + size_t(i) * 4, index < palette.size() ? palette[index] : 0);
    }
}

void MaskedRowTo32(const uint8_t* in, uint8_t* out, int w, const ColorMasks& masks) {
    const MaskChannel red(masks.red), green(masks.green), blue(masks.blue);
    for (int i = 0; i < w; ++i) {
        const uint32_t pixel = uint32_t(in[2 * i]) | uint32_t(in[2 * i + 1]) << 8;
        StorePixel(out + size_t(i) * 4, uint8_t(blue.Extract(pixel)), uint8_t(green.Extract(pixel)),
                   uint8_t(red.Extract(pixel)));
    }
}

}  // namespace

void Row24To32(const uint8_t* in, uint8_t* out, int w) {
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four bytes at a time, the fourth cleared; the last pixel on its
        // own, as its fourth byte may lie past the row.
        for (; i + 1 < w; ++i) {
            uint32_t v;
            std::memcpy(&v, in + 3 * size_t(i), 4);
            v &= 0x00FFFFFF;
            std::memcpy(out + 4 * size_t(i), &v, 4);
        }
    }
    for (; i < w; ++i) StorePixel(out + size_t(i) * 4, in[3 * i], in[3 * i + 1], in[3 * i + 2]);
}

Bitmap RotateBitmapRight(Bitmap& source) {
    if (source.Width() == 0 || source.Height() == 0) throw ERotateError("Bitmap Size Error");
    // Our device form is the same bits under a flag.
    if (source.IsDevice()) source.SetDevice(false);

    const PixelFormat format = source.Format();
    if (format == PixelFormat::Custom) throw EInvalidGraphic();

    const int w = source.Width();
    const int h = source.Height();
    // Zeroed, so padding and the bits past a 1- or 4-bit row's width read as
    // 0; the copy never writes them. A local: a failure below frees it.
    Bitmap result;
    result.SetMasks(source.Masks());
    result.Palette() = source.Palette();
    result.Allocate(h, w, source.BitsPerPixel(), Bitmap::Init::Zero);

    const ConstRows src{source.Bits(), source.Stride()};
    const Rows dst{result.Bits(), result.Stride()};
    switch (format) {
    case PixelFormat::Bit1: Turn1Bit(src, dst, w, h); break;
    case PixelFormat::Bit4: Turn4Bit(src, dst, w, h); break;
    case PixelFormat::Bit8: TurnWhole<1>(src, dst, w, h); break;
    case PixelFormat::Bit15:
    case PixelFormat::Bit16: TurnWhole<2>(src, dst, w, h); break;
    case PixelFormat::Bit24: TurnWhole<3>(src, dst, w, h); break;
    case PixelFormat::Bit32: TurnWhole<4>(src, dst, w, h); break;
    default: throw ERotateError("Illegal Bitmap");
    }
    return result;
}

void ConvertToBit32(Bitmap& bitmap) {
    if (bitmap.IsDevice()) bitmap.SetDevice(false);
    const PixelFormat format = bitmap.Format();
    if (format == PixelFormat::Bit32) return;

    const int w = bitmap.Width();
    const int h = bitmap.Height();
    Bitmap out;
    if (bitmap.Empty()) {
        // No pixel to misread, whatever the layout claims.
        out.Allocate(w, h, 32);
        bitmap = std::move(out);
        return;
    }
    if (format == PixelFormat::Custom) throw EInvalidGraphic();

    out.Allocate(w, h, 32, Bitmap::Init::Uninitialised);
    // 5-5-5 is the layout of 16 bits without masks.
    const ColorMasks masks = format == PixelFormat::Bit15 ? kMasks555 : bitmap.Masks();
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = bitmap.Row(y);
        uint8_t* row = out.Row(y);
        switch (format) {
        case PixelFormat::Bit1: IndexedRowTo32(in, row, w, 1, bitmap.Palette()); break;
        case PixelFormat::Bit4: IndexedRowTo32(in, row, w, 4, bitmap.Palette()); break;
        case PixelFormat::Bit8: IndexedRowTo32(in, row, w, 8, bitmap.Palette()); break;
        case PixelFormat::Bit15:
        case PixelFormat::Bit16: MaskedRowTo32(in, row, w, masks); break;
        case PixelFormat::Bit24: Row24To32(in, row, w); break;
        default: throw EInvalidGraphic();
        }
    }
    bitmap = std::move(out);
}

Bitmap TurnUpright(const Bitmap& source, Orientation orientation) {
    if (source.BitsPerPixel() != 32) throw EInvalidGraphic();
    const int w = source.Width(), h = source.Height();
    Bitmap result;
    result.SetMasks(source.Masks());
    if (SwapsSides(orientation)) result.Allocate(h, w, 32, Bitmap::Init::Uninitialised);
    else result.Allocate(w, h, 32, Bitmap::Init::Uninitialised);
    if (result.Empty()) return result;
    // Where stored pixel (x, y) goes: each stored row is a straight run in
    // the result, from `start` by `step` pixels, so one pass reads the
    // picture in order.
    const ptrdiff_t row = ptrdiff_t(result.Stride() / 4);
    const ptrdiff_t right = w - 1, bottom = h - 1;
    auto* out = reinterpret_cast<uint32_t*>(result.Bits());
    for (int y = 0; y < h; ++y) {
        ptrdiff_t start = 0, step = 1;
        switch (orientation) {
        case Orientation::Normal: start = y * row; step = 1; break;
        case Orientation::FlipX: start = y * row + right; step = -1; break;
        case Orientation::Rotate180: start = (bottom - y) * row + right; step = -1; break;
        case Orientation::FlipY: start = (bottom - y) * row; step = 1; break;
        case Orientation::Transpose: start = y; step = row; break;
        case Orientation::Rotate90: start = bottom - y; step = row; break;
        case Orientation::Transverse: start = right * row + (bottom - y); step = -row; break;
        case Orientation::Rotate270: start = right * row + y; step = -row; break;
        }
        const auto* in = reinterpret_cast<const uint32_t*>(source.Row(y));
        uint32_t* p = out + start;
        for (int x = 0; x < w; ++x, p += step) *p = in[x];
    }
    return result;
}

}  // namespace pelumir
