#include "viewer/StretchDraw.h"

#include <array>
#include <memory>
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

// One picture row's pixels, turned into canvas values column by column.
// Each layout gets its own loop; `pixel(row, column)` is inlined into it.
class RowSampler {
public:
    explicit RowSampler(const Bitmap& layout)
        : bpp_(layout.BitsPerPixel()), table_(PaletteTable(layout)), masks_(EffectiveMasks(layout)),
          plain32_(bpp_ == 32 && layout.Masks() == ColorMasks{}) {
        if (bpp_ != 1 && bpp_ != 4 && bpp_ != 8 && bpp_ != 16 && bpp_ != 24 && bpp_ != 32) throw EInvalidGraphic();
    }

    void Sample(const uint8_t* src, uint32_t* dst, const uint32_t* columns, int64_t n) const {
        if (plain32_) {
            // The fourth byte is reserved; the canvas always gets 0 there.
            Loop(src, dst, columns, n, [](const uint8_t* row, uint32_t x) { return Load32(row + 4 * size_t(x)) & 0x00FFFFFF; });
        } else if (bpp_ == 24) {
            Loop(src, dst, columns, n, [](const uint8_t* row, uint32_t x) {
                const uint8_t* p = row + 3 * size_t(x);
                return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
            });
        } else if (bpp_ == 8) {
            const auto& table = table_;
            Loop(src, dst, columns, n, [&table](const uint8_t* row, uint32_t x) { return table[row[x]]; });
        } else if (bpp_ == 4) {
            const auto& table = table_;
            Loop(src, dst, columns, n, [&table](const uint8_t* row, uint32_t x) {
                const uint8_t byte = row[x >> 1];
                return table[(x & 1) != 0 ? byte & 0x0F : byte >> 4];
            });
        } else if (bpp_ == 1) {
            const auto& table = table_;
            Loop(src, dst, columns, n, [&table](const uint8_t* row, uint32_t x) { return table[(row[x >> 3] >> (7 - (x & 7))) & 1]; });
        } else if (bpp_ == 16) {
            const MaskedLayout& layout = masks_;
            Loop(src, dst, columns, n, [&layout](const uint8_t* row, uint32_t x) { return layout.ToCanvas(Load16(row + 2 * size_t(x))); });
        } else {
            const MaskedLayout& layout = masks_;
            Loop(src, dst, columns, n, [&layout](const uint8_t* row, uint32_t x) { return layout.ToCanvas(Load32(row + 4 * size_t(x))); });
        }
    }

private:
    template <typename PixelFn>
    static void Loop(const uint8_t* src, uint32_t* dst, const uint32_t* columns, int64_t n, PixelFn pixel) {
        for (int64_t x = 0; x < n; ++x) dst[x] = pixel(src, columns[x]);
    }

    int bpp_;
    std::array<uint32_t, 256> table_;
    MaskedLayout masks_;
    bool plain32_;
};

std::vector<uint32_t> ColumnTable(const FitRect& rect, int pictureWidth) {
    std::vector<uint32_t> columns(size_t(rect.Width()));
    for (int64_t x = 0; x < rect.Width(); ++x)
        columns[size_t(x)] = SampleIndex(uint64_t(x), uint64_t(rect.Width()), uint64_t(pictureWidth));
    return columns;
}

uint32_t* FrameRow(Bitmap& canvas, const FitRect& rect, int64_t y) {
    return reinterpret_cast<uint32_t*>(canvas.Row(int(rect.top + y))) + rect.left;
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

    const RowSampler sampler(picture);
    const std::vector<uint32_t> columns = ColumnTable(rect, picture.Width());
    for (int64_t y = 0; y < rect.Height(); ++y) {
        const int source = int(SampleIndex(uint64_t(y), uint64_t(rect.Height()), uint64_t(picture.Height())));
        sampler.Sample(picture.Row(source), FrameRow(canvas, rect, y), columns.data(), rect.Width());
    }
    return true;
}

struct FittedSink::Fit {
    FitRect rect;
    std::vector<uint32_t> columns;
    RowSampler sampler;
    int64_t nextRow = 0;  // the next frame row to be sampled
};

FittedSink::FittedSink() = default;
FittedSink::~FittedSink() = default;

void FittedSink::Aim(Bitmap& frame, int W, int H) {
    frame_ = &frame;
    W_ = W;
    H_ = H;
    fit_.reset();
}

void FittedSink::Begin(int width, int height, int bitsPerPixel) {
    // The bitmap the picture would need is never made, but a picture too
    // large for one fails here all the same.
    Bitmap::CheckSize(width, height, bitsPerPixel);
    Bitmap& frame = *frame_;
    if (W_ < 0 || H_ < 0 || frame.BitsPerPixel() != 32 || frame.Width() < W_ || frame.Height() < H_)
        throw EInvalidGraphic();
    fit_.reset();
    rows_.Allocate(width, kMaxBatch, bitsPerPixel, Bitmap::Init::Uninitialised);
    rows_.SetMasks({});
    rows_.Palette().clear();
    picture_ = {width, height};
    FillBlack(*frame_, W_, H_);
}

uint8_t* FittedSink::Row(int y) { return rows_.Row(y % kMaxBatch); }

void FittedSink::RowsDone(int first, int count) {
    if (fit_ == nullptr) {
        // The palette is complete once rows come.
        const FitRect rect = ComputeFittedRect(picture_.width, picture_.height, W_, H_);
        fit_ = std::make_unique<Fit>(Fit{rect, ColumnTable(rect, picture_.width), RowSampler(rows_)});
    }
    Fit& f = *fit_;
    const uint64_t dh = uint64_t(f.rect.Height()), sh = uint64_t(picture_.height);
    for (int y = first; y < first + count; ++y) {
        while (f.nextRow < f.rect.Height() && SampleIndex(uint64_t(f.nextRow), dh, sh) == uint32_t(y)) {
            f.sampler.Sample(Row(y), FrameRow(*frame_, f.rect, f.nextRow), f.columns.data(), f.rect.Width());
            ++f.nextRow;
        }
    }
}

void FittedSink::WholeDone() {
    DrawFitted(whole_, *frame_, W_, H_);
    whole_.Clear();
}

void FittedSink::Release() {
    rows_.Release();
    whole_.Release();
    fit_.reset();
}

}  // namespace pelumir
