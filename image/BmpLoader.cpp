#include "image/BmpLoader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <limits>

#include "platform/MaskChannel.h"

namespace pelumir {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr uint32_t kOs2HeaderSize = 16;   // OS/2 2.x, cut short after the bit count
constexpr uint32_t kInfoHeaderSize = 40;
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
    // The kinds Qt's reader refuses or shows wrongly are decoded by our own
    // loop; these fields are for that loop only.
    bool ownDecoder = false;
    uint64_t paletteStart = 0;
    uint32_t paletteEntries = 0;  // usable entries, at most 2^bitCount
    uint32_t paletteEntrySize = 4;
    ColorMasks masks;  // an alpha mask is never read

    bool Compressed() const { return compression == kRle4 || compression == kRle8; }
    // 1-bit files stay 1-bit, 2- to 8-bit files become 8-bit indexed images
    // and everything else 32-bit pixels.
    int TargetBits() const { return bitCount == 1 ? 1 : bitCount <= 8 ? 8 : 32; }
    QImage::Format TargetFormat() const {
        return bitCount == 1 ? QImage::Format_Mono : bitCount <= 8 ? QImage::Format_Indexed8 : QImage::Format_RGB32;
    }
};

// The three layouts every reader knows; Qt shows these itself.
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
        layout.ownDecoder = true;  // Qt knows no OS/2 2.x header
        return layout.compression == kRgb;
    }
    // The 52- and 56-byte headers hold the masks; Qt knows neither size.
    if (infoSize == 52 || infoSize == 56) layout.ownDecoder = true;
    if (layout.compression == kBitfields || layout.compression == kAlphaBitfields) {
        if (layout.bitCount != 16 && layout.bitCount != 32) return false;
        const uint8_t* m = info + kInfoHeaderSize;
        if (infoSize == kInfoHeaderSize) masksAfter = layout.compression == kAlphaBitfields ? 16 : 12;
        if (available < kInfoHeaderSize + 12) return false;
        layout.masks = {Le32(m), Le32(m + 4), Le32(m + 8)};
        if (layout.compression == kAlphaBitfields || !CommonMasks(layout.bitCount, layout.masks)) layout.ownDecoder = true;
        // Masks that would run past a header of another size are not masks.
        if (layout.ownDecoder && infoSize > kInfoHeaderSize && infoSize < 52) return false;
        if (layout.ownDecoder && !UsableMasks(layout.bitCount, layout.masks)) return false;
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
    if (b == 2) layout.ownDecoder = true;
    if (layout.ownDecoder && layout.compression != kRgb && layout.compression != kBitfields &&
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
        layout.ownDecoder = true;
        layout.pixelStart = offBits;
    } else {
        layout.pixelStart = std::max<uint64_t>(offBits, tableEnd);
        if (colours > depthColours && !layout.Compressed()) layout.ownDecoder = true;
    }
    layout.paletteStart = headerEnd;
    layout.paletteEntries = uint32_t(std::min(entries, depthColours));
    const uint64_t rows = uint64_t(layout.height < 0 ? -layout.height : layout.height);
    layout.pixelBytes = (uint64_t(layout.width) * uint64_t(b) + 31) / 32 * 4 * rows;
    if (layout.Compressed()) return layout.pixelStart < fileSize;
    // A short file would leave rows unread; the whole image or nothing.
    return layout.pixelBytes <= fileSize && layout.pixelStart <= fileSize - layout.pixelBytes;
}

// ---- our own loop, for the kinds Qt's reader refuses ----

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
        dst[3] = 0xFF;  // as Qt leaves it in the other 32-bit images
    }
}

bool DecodeOwn(const uint8_t* file, uint64_t fileSize, const BmpLayout& layout, Bitmap& out) {
    const int bits = layout.bitCount;
    const int width = int(layout.width);
    const int rows = int(layout.height < 0 ? -layout.height : layout.height);
    out.Allocate(width, rows, layout.TargetBits(), Bitmap::Init::Uninitialised);
    out.SetDevice(false);
    out.SetMasks({});
    auto& palette = out.Palette();
    palette.clear();
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
    for (int y = 0; y < rows; ++y) {
        const int fileRow = layout.height < 0 ? y : rows - 1 - y;
        const uint8_t* src = file + layout.pixelStart + uint64_t(fileRow) * srcStride;
        if (bits <= 8) DecodeIndexedRow(src, bits, width, out.Row(y));
        else DecodeTrueColourRow(src, bits, width, channels, out.Row(y));
    }
    return true;
}

// 0x00RRGGBB entries; Qt keeps an opaque alpha in the top byte.
void CopyColourTable(const QImage& image, Bitmap& out) {
    const QList<QRgb> table = image.colorTable();
    auto& palette = out.Palette();
    palette.resize(size_t(table.size()));
    for (qsizetype i = 0; i < table.size(); ++i) palette[size_t(i)] = table[i] & 0x00FFFFFF;
}

// Qt decoded into an image of its own (it does when the file turns out to
// need a layout other than the one we predicted): copy it across. A file
// with an alpha channel keeps its colours as stored; the alpha is dropped.
bool CopyFromQtImage(QImage image, const BmpLayout& layout, Bitmap& out) {
    const bool raw32 = layout.TargetBits() == 32 &&
                       (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32);
    if (!raw32 && image.format() != layout.TargetFormat()) image = image.convertToFormat(layout.TargetFormat());
    if (image.isNull() || image.width() != out.Width() || image.height() != out.Height()) return false;
    const size_t rowBytes = std::min(out.Stride(), size_t(image.bytesPerLine()));
    for (int y = 0; y < out.Height(); ++y) std::memcpy(out.Row(y), image.constScanLine(y), rowBytes);
    return true;
}

bool ReadPixels(const uint8_t* file, size_t fileSize, const BmpLayout& layout, Bitmap& out) {
    // Run-length files may skip pixels; those get index 0 rather than
    // whatever the memory held before.
    const auto init = layout.Compressed() ? Bitmap::Init::Zero : Bitmap::Init::Uninitialised;
    out.Allocate(int(layout.width), int(layout.height < 0 ? -layout.height : layout.height), layout.TargetBits(), init);
    out.SetDevice(false);
    out.SetMasks({});
    out.Palette().clear();

    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file), qsizetype(fileSize));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device, "bmp");
    reader.setAutoDetectImageFormat(false);  // BMP or nothing, whatever the bytes
    // Qt decodes straight into our rows when the image it is given already
    // has the right size and format, which saves a copy of the whole image.
    QImage image(out.Bits(), out.Width(), out.Height(), qsizetype(out.Stride()), layout.TargetFormat());
    if (!reader.read(&image)) return false;
    if (image.constBits() != out.Bits() && !CopyFromQtImage(image, layout, out)) return false;
    // 32-bit pixels keep Qt's opaque alpha in their reserved fourth byte:
    // the drawing ignores it, and clearing it would cost another pass over
    // the whole image.
    if (layout.TargetBits() <= 8) CopyColourTable(image, out);
    return true;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Bitmap& out) {
    BmpLayout layout;
    bool ok = false;
    if (data != nullptr && size <= uint64_t(std::numeric_limits<qsizetype>::max()) && ParseHeaders(data, size, layout)) {
        try {
            ok = layout.ownDecoder ? DecodeOwn(data, size, layout, out) : ReadPixels(data, size, layout, out);
        } catch (const std::exception&) {
            ok = false;  // the bitmap refused the size, or memory ran out
        }
    }
    if (!ok) out.Clear();
    return ok;
}

}  // namespace pelumir
