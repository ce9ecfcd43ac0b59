#include "viewer/StretchDraw.h"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <optional>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/Exception.h"
#include "platform/MaskChannel.h"
#include "image/Orientation.h"

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

// How the fitted frame lies over the stored picture. A frame line takes the
// pixels of one stored row: a frame row, or for a picture shown turned a
// quarter, a frame column. Lines are counted in the order their stored rows
// come, so a decoder's rows can be fitted as they arrive; `across` holds the
// stored column shown at each point along a line. Every orientation is
// these two maps, so no turned copy of the picture is ever made.
struct LinePlan {
    FitRect rect;
    bool columns = false;   // stored rows land in frame columns
    bool reversed = false;  // the last stored row lands in the first frame line
    int64_t lines = 0, along = 0;
    uint64_t storedRows = 0;
    std::vector<uint32_t> across;

    LinePlan(int storedWidth, int storedHeight, Orientation o, int W, int H) {
        columns = SwapsSides(o);
        reversed = o == Orientation::Rotate180 || o == Orientation::FlipY || o == Orientation::Rotate90 ||
                   o == Orientation::Transverse;
        const bool mirrored = o == Orientation::FlipX || o == Orientation::Rotate180 ||
                              o == Orientation::Transverse || o == Orientation::Rotate270;
        rect = FittedArea(storedWidth, storedHeight, o, W, H);
        lines = columns ? rect.Width() : rect.Height();
        along = columns ? rect.Height() : rect.Width();
        storedRows = uint64_t(storedHeight);
        if (lines <= 0 || along <= 0) return;
        across.resize(size_t(along));
        for (int64_t k = 0; k < along; ++k) {
            const uint32_t x = SampleIndex(uint64_t(k), uint64_t(along), uint64_t(storedWidth));
            across[size_t(k)] = mirrored ? uint32_t(storedWidth) - 1 - x : x;
        }
    }
    bool Empty() const { return lines <= 0 || along <= 0; }
    // The stored row shown by the j-th line; it never decreases as j grows.
    uint32_t StoredRow(int64_t j) const {
        if (!reversed) return SampleIndex(uint64_t(j), uint64_t(lines), storedRows);
        return uint32_t(storedRows) - 1 - SampleIndex(uint64_t(lines - 1 - j), uint64_t(lines), storedRows);
    }
    int64_t FrameLine(int64_t j) const { return reversed ? lines - 1 - j : j; }
};

// A pixel 0x00RRGGBB into a 24- or 32-bit row at column x.
template <int Bytes>
inline void PutPixel(uint8_t* row, int64_t x, uint32_t v) {
    uint8_t* p = row + Bytes * x;
    if constexpr (Bytes == 4) {
        std::memcpy(p, &v, 4);
    } else {
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
    }
}

// Hands out where each line, in stored-row order, is sampled to: a row of
// a 32-bit frame itself, else a line or a slot of a small tile, which then
// goes into the frame. A column written straight into the frame would touch
// a line of cache per frame row for a single pixel each, and the decoder's
// rows in between evict them; the tile's columns are written side by side,
// filling each line of cache whole.
class LineWriter {
public:
    LineWriter(const LinePlan& plan, Bitmap& canvas)
        : plan_(plan), canvas_(canvas), packed_(canvas.BitsPerPixel() == 24) {
        if (plan.columns) tile_.resize(size_t(kTileLines) * size_t(plan.along));
        else if (packed_) tile_.resize(size_t(plan.along));
    }
    uint32_t* Target(int64_t j) {
        if (!plan_.columns) {
            if (packed_) return tile_.data();
            return reinterpret_cast<uint32_t*>(RowOf(plan_.FrameLine(j))) + plan_.rect.left;
        }
        if (count_ == 0) first_ = j;
        return tile_.data() + size_t(count_++) * size_t(plan_.along);
    }
    // Line j is sampled; the tile goes out when full or at the last line.
    void Done(int64_t j) {
        if (!plan_.columns) {
            if (packed_) PackLine(RowOf(plan_.FrameLine(j)) + 3 * plan_.rect.left);
            return;
        }
        if (count_ == kTileLines || j == plan_.lines - 1) {
            if (packed_) Flush<3>();
            else Flush<4>();
        }
    }

private:
    static constexpr int kTileLines = 16;
    uint8_t* RowOf(int64_t frameLine) { return canvas_.Row(int(plan_.rect.top + frameLine)); }
    // The sampled line into a 24-bit row: four bytes at a time, each
    // pixel's fourth overwritten by the next one, the last on its own.
    void PackLine(uint8_t* out) const {
        const int64_t n = plan_.along;
        int64_t k = 0;
        if constexpr (std::endian::native == std::endian::little)
            for (; k + 1 < n; ++k) std::memcpy(out + 3 * k, &tile_[size_t(k)], 4);
        for (; k < n; ++k) PutPixel<3>(out, k, tile_[size_t(k)]);
    }
    template <int Bytes>
    void Flush() {
        // The tile's lines are adjacent frame columns, in either direction.
        const int64_t a = plan_.FrameLine(first_), b = plan_.FrameLine(first_ + count_ - 1);
        const int64_t left = plan_.rect.left + std::min(a, b);
        const bool backwards = a > b;
        const size_t along = size_t(plan_.along);
        for (int64_t k = 0; k < plan_.along; ++k) {
            uint8_t* dst = canvas_.Row(int(plan_.rect.top + k));
            const uint32_t* src = tile_.data() + size_t(k);
            for (int t = 0; t < count_; ++t)
                PutPixel<Bytes>(dst, left + (backwards ? count_ - 1 - t : t), src[size_t(t) * along]);
        }
        count_ = 0;
    }

    const LinePlan& plan_;
    Bitmap& canvas_;
    bool packed_;  // a 24-bit frame
    std::vector<uint32_t> tile_;
    int64_t first_ = 0;
    int count_ = 0;
};

// Clears the area, and the padding of rows it spans whole, so frames are
// reproducible byte for byte.
void FillBlack(Bitmap& canvas, int W, int H, int top = 0) {
    const size_t bytes = W == canvas.Width() ? canvas.Stride() : size_t(W) * size_t(canvas.BitsPerPixel() / 8);
    for (int y = top; y < H; ++y) std::memset(canvas.Row(y), 0, bytes);
}

// Whether a canvas can take the W x H area.
bool FitsCanvas(const Bitmap& canvas, int W, int H) {
    return W >= 0 && H >= 0 && (canvas.BitsPerPixel() == 24 || canvas.BitsPerPixel() == 32) &&
           canvas.Width() >= W && canvas.Height() >= H;
}

}  // namespace

bool DrawFitted(const Bitmap& picture, Bitmap& canvas, int W, int H, Orientation orientation) {
    // A canvas that cannot hold the area is a caller's mistake; writing past
    // it would corrupt memory, so it is refused outright.
    if (!FitsCanvas(canvas, W, H)) throw EInvalidGraphic();
    FillBlack(canvas, W, H);
    if (picture.Empty()) return false;
    const LinePlan plan(picture.Width(), picture.Height(), orientation, W, H);
    if (plan.Empty()) return true;

    const RowSampler sampler(picture);
    LineWriter out(plan, canvas);
    for (int64_t j = 0; j < plan.lines; ++j) {
        sampler.Sample(picture.Row(int(plan.StoredRow(j))), out.Target(j), plan.across.data(), plan.along);
        out.Done(j);
    }
    return true;
}

bool DrawFittedInBands(const Bitmap& picture, Bitmap& canvas, int W, int H, Orientation orientation,
                       const std::function<void(int top, int rows)>& bandDone) {
    if (picture.Empty() || SwapsSides(orientation)) {
        // A turned picture's lines are frame columns: every band at once.
        const bool shown = DrawFitted(picture, canvas, W, H, orientation);
        if (H > 0) bandDone(0, H);
        return shown;
    }
    if (!FitsCanvas(canvas, W, H)) throw EInvalidGraphic();
    const LinePlan plan(picture.Width(), picture.Height(), orientation, W, H);
    const RowSampler sampler(picture);
    LineWriter out(plan, canvas);
    constexpr int kBandRows = 64;
    for (int top = 0; top < H; top += kBandRows) {
        const int end = std::min(H, top + kBandRows);
        FillBlack(canvas, W, end, top);
        // The frame lines in the band, whichever way up the picture is.
        const int64_t first = std::max<int64_t>(top - plan.rect.top, 0);
        const int64_t last = plan.Empty() ? 0 : std::min<int64_t>(end - plan.rect.top, plan.lines);
        for (int64_t line = first; line < last; ++line) {
            const int64_t j = plan.reversed ? plan.lines - 1 - line : line;
            sampler.Sample(picture.Row(int(plan.StoredRow(j))), out.Target(j), plan.across.data(), plan.along);
            out.Done(j);
        }
        bandDone(top, end - top);
    }
    return true;
}

struct FittedSink::Fit {
    Fit(const LinePlan& p, Bitmap& frame) : plan(p), out(plan, frame) {}
    LinePlan plan;
    LineWriter out;
    std::optional<RowSampler> sampler;  // made with the first rows: the palette is complete then
    int64_t nextLine = 0;    // the next frame line to be sampled, in stored-row order
    int64_t wantedLine = 0;  // the first line whose stored row may still be asked about
};

FittedSink::FittedSink() = default;
FittedSink::~FittedSink() = default;

void FittedSink::Aim(Bitmap& frame, int W, int H) {
    frame_ = &frame;
    W_ = W;
    H_ = H;
    fit_.reset();
}

void FittedSink::Begin(int width, int height, int bitsPerPixel, Orientation orientation) {
    // The bitmap the picture would need is never made, but a picture too
    // large for one fails here all the same.
    Bitmap::CheckSize(width, height, bitsPerPixel);
    Bitmap& frame = *frame_;
    if (!FitsCanvas(frame, W_, H_)) throw EInvalidGraphic();
    fit_.reset();
    rows_.Allocate(width, kMaxBatch, bitsPerPixel, Bitmap::Init::Uninitialised);
    rows_.SetMasks({});
    rows_.Palette().clear();
    picture_ = {width, height};
    area_ = FittedArea(width, height, orientation, W_, H_);
    FillBlack(*frame_, W_, H_);
    fit_ = std::make_unique<Fit>(LinePlan(width, height, orientation, W_, H_), *frame_);
}

int FittedSink::NextRowWanted(int y) {
    Fit& f = *fit_;
    // Asked about an earlier row than before: look again from the first
    // line not yet sampled.
    if (f.wantedLine > f.nextLine && f.plan.StoredRow(f.wantedLine - 1) >= uint32_t(y)) f.wantedLine = f.nextLine;
    while (f.wantedLine < f.plan.lines && f.plan.StoredRow(f.wantedLine) < uint32_t(y)) ++f.wantedLine;
    return f.wantedLine < f.plan.lines ? int(f.plan.StoredRow(f.wantedLine)) : picture_.height;
}

uint8_t* FittedSink::Row(int y) { return rows_.Row(y % kMaxBatch); }

void FittedSink::RowsDone(int first, int count) {
    Fit& f = *fit_;
    if (!f.sampler) f.sampler.emplace(rows_);
    for (int y = first; y < first + count; ++y) {
        while (f.nextLine < f.plan.lines && f.plan.StoredRow(f.nextLine) == uint32_t(y)) {
            f.sampler->Sample(Row(y), f.out.Target(f.nextLine), f.plan.across.data(), f.plan.along);
            f.out.Done(f.nextLine);
            ++f.nextLine;
        }
    }
}

void FittedSink::WholeDone(Orientation orientation) {
    area_ = FittedArea(whole_.Width(), whole_.Height(), orientation, W_, H_);
    DrawFitted(whole_, *frame_, W_, H_, orientation);
    whole_.Clear();
}

void FittedSink::Release() {
    rows_.Release();
    whole_.Release();
    fit_.reset();
}

}  // namespace pelumir
