#include "image/BmpLoader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/MaskChannel.h"

namespace pelumir {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr uint32_t kOs2HeaderSize = 16;   // OS/2 2.x, cut short after the bit count
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2FullHeaderSize = 64;
constexpr uint32_t kV4HeaderSize = 108;  // the masks in the header itself, then colour space fields
constexpr uint32_t kV5HeaderSize = 124;
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// What the headers promise, checked before any pixel is touched.
struct BmpLayout {
    int64_t width = 0;
    int64_t height = 0;  // rows; negative in the file for top-down images
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint64_t pixelStart = 0;  // where the rows begin
    uint64_t pixelBytes = 0;  // bytes of rows an uncompressed file needs
    // The rarer kinds (see BmpLoader.h) take the lenient loop; these fields
    // are for that loop only.
    bool rare = false;
    uint64_t paletteStart = 0;
    uint32_t paletteEntries = 0;  // usable entries, at most 2^bitCount
    uint32_t paletteEntrySize = 4;
    ColorMasks masks;  // an alpha mask is never read

    bool Compressed() const { return compression == kRle4 || compression == kRle8; }
    int64_t Rows() const { return height < 0 ? -height : height; }
    // 1-bit files stay 1-bit, 2- to 8-bit files become 8-bit indexed images
    // and everything else 32-bit pixels.
    int TargetBits() const { return bitCount == 1 ? 1 : bitCount <= 8 ? 8 : 32; }
};

// The three layouts every reader knows.
bool CommonMasks(int bits, const ColorMasks& m) {
    if (bits == 16) return m == kMasks555 || m == kMasks565;
    return m == kMasks888;
}

// Masks we can read: within the pixel, each one run of bits, no two
// overlapping, and at least one colour.
bool UsableMasks(int bits, const ColorMasks& masks) {
    const uint32_t m[3] = {masks.red, masks.green, masks.blue};
    const uint64_t limit = (uint64_t(1) << bits) - 1;
    if ((m[0] | m[1] | m[2]) == 0) return false;
    for (int i = 0; i < 3; ++i) {
        if (m[i] > limit || (m[i] & m[(i + 1) % 3]) != 0) return false;
        const uint64_t mask = m[i];
        const uint64_t run = mask >> std::countr_zero(mask | (uint64_t(1) << 32));
        if ((run & (run + 1)) != 0) return false;
    }
    return true;
}

// What 16 and 32 bits per pixel mean when the file gives no masks.
ColorMasks PlainMasks(int bits) { return bits == 16 ? kMasks555 : bits == 32 ? kMasks888 : ColorMasks{}; }

// Reads the sizes, depth, compression and colour masks of the info header.
// OS/2 2.x headers may stop after any field; those missing are zero.
bool ParseInfoHeader(const uint8_t* info, uint32_t infoSize, size_t available, BmpLayout& layout, uint32_t& colourCount,
                     uint32_t& masksAfter) {
    colourCount = 0;
    masksAfter = 0;
    if (infoSize == kCoreHeaderSize) {
        if (available < kCoreHeaderSize) return false;
        layout.width = Le16(info + 4);
        layout.height = int16_t(Le16(info + 6));
        layout.bitCount = Le16(info + 10);
        layout.paletteEntrySize = 3;
        return true;
    }
    if (infoSize < kOs2HeaderSize || available < std::min(infoSize, kInfoHeaderSize)) return false;
    layout.width = int32_t(Le32(info + 4));
    layout.height = int32_t(Le32(info + 8));
    layout.bitCount = Le16(info + 14);
    // Short OS/2 headers stop before any masks; without these such pixels read black.
    layout.masks = PlainMasks(layout.bitCount);
    if (infoSize >= 20) layout.compression = Le32(info + 16);
    if (infoSize >= 36) colourCount = Le32(info + 32);
    if (infoSize < kInfoHeaderSize) {
        layout.rare = true;  // OS/2 2.x, cut short
        return layout.compression == kRgb;
    }
    // The 52- and 56-byte headers hold the masks at the end of the header.
    if (infoSize == 52 || infoSize == 56) layout.rare = true;
    if (layout.compression == kBitfields || layout.compression == kAlphaBitfields) {
        if (layout.bitCount != 16 && layout.bitCount != 32) return false;
        const uint8_t* m = info + kInfoHeaderSize;
        if (infoSize == kInfoHeaderSize) masksAfter = layout.compression == kAlphaBitfields ? 16 : 12;
        if (available < kInfoHeaderSize + 12) return false;
        layout.masks = {Le32(m), Le32(m + 4), Le32(m + 8)};
        if (layout.compression == kAlphaBitfields || !CommonMasks(layout.bitCount, layout.masks)) layout.rare = true;
        // Masks that would run past a header of another size are not masks.
        if (layout.rare && infoSize > kInfoHeaderSize && infoSize < 52) return false;
        if (layout.rare && !UsableMasks(layout.bitCount, layout.masks)) return false;
    }
    return true;
}

bool ParseHeaders(const uint8_t* h, size_t fileSize, BmpLayout& layout) {
    if (fileSize < kFileHeaderSize + 4 || h[0] != 'B' || h[1] != 'M') return false;
    const uint32_t offBits = Le32(h + 10);
    const uint32_t infoSize = Le32(h + 14);
    uint32_t colourCount = 0, masksAfter = 0;
    if (!ParseInfoHeader(h + kFileHeaderSize, infoSize, fileSize - kFileHeaderSize, layout, colourCount, masksAfter))
        return false;
    const int b = layout.bitCount;
    if (b != 1 && b != 2 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return false;
    if (layout.width <= 0 || layout.height == 0) return false;
    if (b == 2) layout.rare = true;
    if (layout.rare && layout.compression != kRgb && layout.compression != kBitfields &&
        layout.compression != kAlphaBitfields)
        return false;

    // The rows start at the declared offset, or right after the headers and
    // the colour table when that offset points into them. A table that the
    // offset cuts short keeps the entries before it, and one longer than the
    // depth can index keeps those it can.
    const uint64_t headerEnd = kFileHeaderSize + uint64_t(infoSize) + masksAfter;
    const uint64_t depthColours = b <= 8 ? uint64_t(1) << b : 0;
    const uint64_t colours = b <= 8 ? (colourCount != 0 ? colourCount : depthColours) : 0;
    const uint64_t tableEnd = headerEnd + colours * layout.paletteEntrySize;
    uint64_t entries = colours;
    if (!layout.Compressed() && offBits > headerEnd && offBits < tableEnd) {
        if (colours > depthColours) return false;  // both figures wrong: trust neither
        entries = (offBits - headerEnd) / layout.paletteEntrySize;
        layout.rare = true;
        layout.pixelStart = offBits;
    } else {
        layout.pixelStart = std::max<uint64_t>(offBits, tableEnd);
        if (colours > depthColours && !layout.Compressed()) layout.rare = true;
    }
    layout.paletteStart = headerEnd;
    layout.paletteEntries = uint32_t(std::min(entries, depthColours));
    const uint64_t rows = uint64_t(layout.Rows());
    layout.pixelBytes = (uint64_t(layout.width) * uint64_t(b) + 31) / 32 * 4 * rows;
    if (layout.Compressed()) return layout.pixelStart < fileSize;
    // A short file would leave rows unread; the whole image or nothing.
    return layout.pixelBytes <= fileSize && layout.pixelStart <= fileSize - layout.pixelBytes;
}

// ---- the rarer kinds ----

void DecodeIndexedRow(const uint8_t* src, int bits, int width, uint8_t* dst) {
    if (bits == 1 || bits == 8) {
        std::memcpy(dst, src, size_t((int64_t(width) * bits + 7) / 8));
        return;
    }
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < width; ++x) {
        const int slot = x % perByte;  // the leftmost pixel sits in the high bits
        dst[x] = uint8_t(src[x / perByte] >> (8 - bits * (slot + 1)) & mask);
    }
}

void DecodeTrueColourRow(const uint8_t* src, int bits, int width, const MaskChannel (&c)[3], uint8_t* dst) {
    for (int x = 0; x < width; ++x, dst += 4) {
        if (bits == 24) {
            std::memcpy(dst, src + 3 * x, 3);
        } else {
            const uint32_t p = bits == 16 ? Le16(src + 2 * x) : Le32(src + 4 * x);
            dst[0] = c[2].Scaled(p), dst[1] = c[1].Scaled(p), dst[2] = c[0].Scaled(p);
        }
        dst[3] = 0xFF;  // as in the classic 32-bit images
    }
}

bool DecodeRare(const uint8_t* file, uint64_t fileSize, const BmpLayout& layout, Bitmap& out) {
    const int bits = layout.bitCount;
    const int width = int(layout.width);
    const int rows = int(layout.Rows());
    out.Allocate(width, rows, layout.TargetBits(), Bitmap::Init::Uninitialised);
    auto& palette = out.Palette();
    if (bits <= 8) {
        // Every index the depth allows has an entry; those the file lacks are black.
        palette.assign(size_t(1) << bits, 0);
        const uint64_t need = layout.paletteStart + uint64_t(layout.paletteEntries) * layout.paletteEntrySize;
        const uint32_t entries = need <= fileSize ? layout.paletteEntries : 0;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* e = file + layout.paletteStart + uint64_t(i) * layout.paletteEntrySize;
            palette[i] = uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
        }
    }
    // A file's bit fields widen as other readers widen them, so these
    // images look the same here as in other viewers.
    const MaskChannel channels[3] = {MaskChannel(layout.masks.red), MaskChannel(layout.masks.green),
                                     MaskChannel(layout.masks.blue)};
    const uint64_t srcStride = layout.pixelBytes / uint64_t(rows);
    // The padding after each row's pixels is cleared, so that no byte of
    // the bitmap is left as the memory held it.
    const size_t used = (size_t(width) * size_t(out.BitsPerPixel()) + 7) / 8;
    for (int y = 0; y < rows; ++y) {
        const int fileRow = layout.height < 0 ? y : rows - 1 - y;
        const uint8_t* src = file + layout.pixelStart + uint64_t(fileRow) * srcStride;
        if (bits <= 8) DecodeIndexedRow(src, bits, width, out.Row(y));
        else DecodeTrueColourRow(src, bits, width, channels, out.Row(y));
        std::memset(out.Row(y) + used, 0, out.Stride() - used);
    }
    return true;
}

// ---- the classic kinds ----
//
// 12-, 40-, 64-, 108- and 124-byte headers with 1, 4, 8, 16, 24 or 32 bits
// are read by the rules of Qt's BMP reader: its limits, its colour table as
// long as the header says, its widening of bit fields and its way with
// faulty run-length data, so that every such file shows as it does there.
// Where that reader shows memory it never wrote, we fail the file or paint
// nothing instead.

// One channel of a true-colour pixel: shifted down to the mask's lowest
// bit, then multiplied up so that its top bit lands on the top of a byte.
struct ClassicChannel {
    int shift = 0;
    uint32_t mask = 0, scale = 0;
    // A mask of all 32 bits is refused before: it has no scale.
    explicit ClassicChannel(uint32_t m)
        : shift(m == 0 ? 0 : std::countr_zero(m)), mask(m), scale(256 / ((m >> shift) + 1)) {}
    uint32_t operator()(uint32_t pixel) const { return ((pixel & mask) >> shift) * scale & 0xFF; }
};

struct ClassicLayout {
    uint32_t colours = 0;  // colour table entries, all of them kept
    uint64_t pixelStart = 0;
    ColorMasks masks;
};

// The further checks the classic kinds have always been held to, and where
// their colour table, masks and rows are.
bool ParseClassic(const uint8_t* file, size_t fileSize, const BmpLayout& layout, ClassicLayout& c) {
    const uint8_t* info = file + kFileHeaderSize;
    const uint32_t infoSize = Le32(info);
    const bool core = infoSize == kCoreHeaderSize;
    if (!core && infoSize != kInfoHeaderSize && infoSize != kOs2FullHeaderSize && infoSize != kV4HeaderSize &&
        infoSize != kV5HeaderSize)
        return false;
    if (Le16(info + (core ? 8 : 12)) != 1) return false;  // planes
    const int bits = layout.bitCount;
    const uint32_t compression = layout.compression;
    const bool bitfields = compression == kBitfields;
    if (!(compression == kRgb || (compression == kRle4 && bits == 4) || (compression == kRle8 && bits == 8) ||
          (bitfields && (bits == 16 || bits == 32))))
        return false;
    // Sizes: the core header's are signed, the pixels at most 16384 x 16384,
    // and a row of the bitmap under 2^31 bits.
    if (core && layout.width > INT16_MAX) return false;
    if (uint64_t(layout.width) * uint64_t(layout.Rows()) > uint64_t(16384) * 16384) return false;
    if (uint64_t(layout.width) * uint64_t(layout.TargetBits()) > uint64_t(INT_MAX) - 31) return false;

    uint64_t tableEnd = kFileHeaderSize + uint64_t(infoSize);
    if (bits <= 8) {
        const uint32_t colourCount = core ? 0 : Le32(info + 32);
        c.colours = colourCount != 0 ? colourCount : 1u << bits;
        if (c.colours > 256) return false;
    } else if (bitfields) {
        // Masks in the header from 108 bytes on, else right after it.
        uint32_t alpha = 0;
        if (infoSize >= kV4HeaderSize) {
            c.masks = {Le32(info + 40), Le32(info + 44), Le32(info + 48)};
            alpha = Le32(info + 52);
        } else {
            if (fileSize - tableEnd < 12) return false;
            const uint8_t* m = file + tableEnd;
            c.masks = {Le32(m), Le32(m + 4), Le32(m + 8)};
            tableEnd += 12;
        }
        // A mask of all 32 bits cannot be widened.
        for (uint32_t m : {c.masks.red, c.masks.green, c.masks.blue, alpha})
            if (m == UINT32_MAX) return false;
    } else {
        c.masks = PlainMasks(bits == 24 ? 32 : bits);
    }
    // Masks read after a 64-byte header may push the rows further on.
    c.pixelStart = std::max(layout.pixelStart, tableEnd);
    if (layout.Compressed()) return true;
    return c.pixelStart <= fileSize - layout.pixelBytes;
}

// A 32-bit pixel as its bytes lie in the bitmap.
using Pixel32 = std::array<uint8_t, 4>;

// 24 or 32 bits in the plain layout: the colour bytes as stored, 0xFF in
// the fourth.
void PlainRow(const uint8_t* s, size_t bytesPerPixel, int width, uint8_t* d) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four bytes at a time; the last pixel on its own, as its fourth
        // byte may lie past the end of the file.
        for (; x + 1 < width; ++x) {
            uint32_t v;
            std::memcpy(&v, s + size_t(x) * bytesPerPixel, 4);
            v |= 0xFF000000;
            std::memcpy(d + size_t(x) * 4, &v, 4);
        }
    }
    for (; x < width; ++x) {
        const uint8_t* p = s + size_t(x) * bytesPerPixel;
        uint8_t* q = d + size_t(x) * 4;
        q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = 0xFF;
    }
}

void DecodeClassicTrueColour(const uint8_t* src, uint64_t srcStride, const BmpLayout& layout, const ColorMasks& masks,
                             Bitmap& out) {
    const int width = int(layout.width);
    const int rows = int(layout.Rows());
    const int bits = layout.bitCount;
    const ClassicChannel red(masks.red), green(masks.green), blue(masks.blue);
    const bool plain = bits == 24 || masks == kMasks888;
    // A large 16-bit image looks every pixel value up in a table of all 65536.
    std::vector<Pixel32> table;
    if (bits == 16 && uint64_t(width) * uint64_t(rows) >= 65536) {
        table.resize(65536);
        for (uint32_t p = 0; p < 65536; ++p) table[p] = {uint8_t(blue(p)), uint8_t(green(p)), uint8_t(red(p)), 0xFF};
    }
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = src + uint64_t(layout.height < 0 ? y : rows - 1 - y) * srcStride;
        uint8_t* d = out.Row(y);
        if (plain) {
            PlainRow(s, size_t(bits / 8), width, d);
            continue;
        }
        if (!table.empty()) {
            for (int x = 0; x < width; ++x) std::memcpy(d + size_t(x) * 4, &table[Le16(s + 2 * size_t(x))], 4);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const uint32_t p = bits == 16 ? Le16(s + 2 * size_t(x)) : Le32(s + 4 * size_t(x));
            const Pixel32 px = {uint8_t(blue(p)), uint8_t(green(p)), uint8_t(red(p)), 0xFF};
            std::memcpy(d + size_t(x) * 4, &px, 4);
        }
    }
}

// Run-length data, decoded bottom row first. A run or a literal stops only
// at the end of the bottom row's pixels: on any other row one that overruns
// goes on into the next row in memory, the one below it. A move never
// leaves the image, literals that the data cuts short fail an 8-bit file,
// and data that ends early leaves the rest of the image at index 0.
bool DecodeRle(const uint8_t* s, const uint8_t* end, bool nibbles, size_t width, size_t rows, size_t stride,
               uint8_t* bits) {
    size_t at = (rows - 1) * stride;
    const size_t last = at + width;
    size_t x = 0, y = 0;
    // 4-bit pixels come in pairs, the left one in the high bits.
    auto pairs = [&](uint8_t byte, size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i) bits[at + i] = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    };
    while (y < rows && s != end) {
        const uint8_t count = *s++;
        if (count != 0) {  // a run of one colour, or of one pair of 4-bit pixels
            const size_t n = std::min<size_t>(count, last - at);
            if (nibbles) {
                // Cut off before its colour, the run repeats its own length, as in Qt.
                pairs(s != end ? *s++ : uint8_t(n), 0, n);
            } else {
                if (s == end) break;  // cut off before its colour: nothing to paint
                std::memset(bits + at, *s++, n);
            }
            at += n;
            x += n;
            continue;
        }
        if (s == end) break;
        const uint8_t code = *s++;
        if (code == 1) break;  // end of the bitmap
        if (code == 0) {       // end of the line
            x = 0;
            if (++y < rows) at = (rows - 1 - y) * stride;
        } else if (code == 2) {  // move right and up
            if (end - s < 2) break;
            x = std::min<size_t>(x + s[0], width - 1);
            y = std::min<size_t>(y + s[1], rows - 1);
            s += 2;
            at = (rows - 1 - y) * stride + x;
        } else {  // literal pixels, padded to a 16-bit boundary
            const size_t n = std::min<size_t>(code, last - at);
            size_t bytes = n;
            if (nibbles) {
                // Bytes cut off repeat the last one read (the length, first), as in Qt.
                bytes = (n + 1) / 2;
                uint8_t byte = uint8_t(n);
                for (size_t i = 0; i < n; i += 2) {
                    if (s != end) byte = *s++;
                    pairs(byte, i, std::min<size_t>(2, n - i));
                }
            } else {
                if (size_t(end - s) < n) return false;
                std::memcpy(bits + at, s, n);
                s += n;
            }
            if (bytes % 2 != 0 && s != end) ++s;
            at += n;
            x += n;
        }
    }
    return true;
}

bool DecodeClassic(const uint8_t* file, size_t fileSize, const BmpLayout& layout, Bitmap& out) {
    ClassicLayout c;
    if (!ParseClassic(file, fileSize, layout, c)) return false;
    const int bits = layout.bitCount;
    const int width = int(layout.width);
    const int rows = int(layout.Rows());
    // Run-length files may skip pixels; those get index 0 rather than
    // whatever the memory held before.
    out.Allocate(width, rows, layout.TargetBits(),
                 layout.Compressed() ? Bitmap::Init::Zero : Bitmap::Init::Uninitialised);
    auto& palette = out.Palette();
    palette.resize(c.colours);
    for (uint32_t i = 0; i < c.colours; ++i) {
        const uint8_t* e = file + layout.paletteStart + uint64_t(i) * layout.paletteEntrySize;
        palette[i] = uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
    }
    const uint8_t* src = file + c.pixelStart;
    const size_t stride = out.Stride();
    if (layout.Compressed()) {
        if (!DecodeRle(src, file + fileSize, bits == 4, size_t(width), size_t(rows), stride, out.Bits())) return false;
        if (layout.height < 0) {
            // Top-down run-length data is decoded bottom-up like any other, then turned over.
            for (int y = 0; y < rows / 2; ++y) std::swap_ranges(out.Row(y), out.Row(y) + stride, out.Row(rows - 1 - y));
        }
        return true;
    }
    const uint64_t srcStride = layout.pixelBytes / uint64_t(rows);
    if (bits > 8) {
        DecodeClassicTrueColour(src, srcStride, layout, c.masks, out);
        return true;
    }
    // A two-colour image is shown with its lighter colour first: the
    // palette's two entries change places and every bit flips, padding too.
    auto grey = [](uint32_t rgb) { return ((rgb >> 16 & 0xFF) * 11 + (rgb >> 8 & 0xFF) * 16 + (rgb & 0xFF) * 5) / 32; };
    const bool swap = bits == 1 && c.colours == 2 && grey(palette[0]) < grey(palette[1]);
    if (swap) std::swap(palette[0], palette[1]);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = src + uint64_t(layout.height < 0 ? y : rows - 1 - y) * srcStride;
        uint8_t* d = out.Row(y);
        if (bits == 4) {
            for (int x = 0; x + 1 < width; x += 2, ++s) d[x] = *s >> 4, d[x + 1] = *s & 0x0F;
            if (width % 2 != 0) d[width - 1] = *s >> 4;
            std::memset(d + width, 0, stride - size_t(width));
        } else if (swap) {
            size_t i = 0;
            for (; i + 8 <= stride; i += 8) {
                uint64_t v;
                std::memcpy(&v, s + i, 8);
                v = ~v;
                std::memcpy(d + i, &v, 8);
            }
            for (; i < stride; ++i) d[i] = uint8_t(~s[i]);
        } else {
            std::memcpy(d, s, stride);  // the row as the file has it, padding too
        }
    }
    return true;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Bitmap& out) {
    BmpLayout layout;
    bool ok = false;
    if (data != nullptr && ParseHeaders(data, size, layout)) {
        try {
            out.SetDevice(false);
            out.SetMasks({});
            out.Palette().clear();
            ok = layout.rare ? DecodeRare(data, size, layout, out) : DecodeClassic(data, size, layout, out);
        } catch (const std::exception&) {
            ok = false;  // the bitmap refused the size, or memory ran out
        }
    }
    if (!ok) out.Clear();
    return ok;
}

ColourSource BmpColourProfile(std::span<const uint8_t> file) {
    constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
    if (file.size() < kFileHeaderSize + kV5HeaderSize || file[0] != 'B' || file[1] != 'M') return {};
    const uint8_t* info = file.data() + kFileHeaderSize;
    if (Le32(info) != kV5HeaderSize || Le32(info + 56) != kProfileEmbedded) return {};
    // The profile's place counts from the start of the info header.
    const uint64_t at = kFileHeaderSize + uint64_t(Le32(info + 112)), size = Le32(info + 116);
    if (at > file.size() || size > file.size() - at) return {};
    return IccColour(file.subspan(size_t(at), size_t(size)));
}

}  // namespace pelumir
