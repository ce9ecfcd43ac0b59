#include "viewer/BmpLoader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

namespace pelumir {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// What the headers promise, checked before Qt's reader touches any pixel.
struct BmpLayout {
    int64_t width = 0;
    int64_t height = 0;  // rows; negative in the file for top-down images
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint64_t pixelStart = 0;  // where the rows begin
    uint64_t pixelBytes = 0;  // bytes of rows an uncompressed file needs

    bool Compressed() const { return compression == kRle4 || compression == kRle8; }
    // Qt hands 1-bit files out as 1-bit, 4- and 8-bit files as 8-bit
    // indexed images and everything else as 32-bit pixels.
    int TargetBits() const { return bitCount == 1 ? 1 : bitCount <= 8 ? 8 : 32; }
    QImage::Format TargetFormat() const {
        return bitCount == 1 ? QImage::Format_Mono : bitCount <= 8 ? QImage::Format_Indexed8 : QImage::Format_RGB32;
    }
};

bool ParseHeaders(const uint8_t* h, size_t available, uint64_t fileSize, BmpLayout& layout) {
    if (available < kFileHeaderSize + 4 || h[0] != 'B' || h[1] != 'M') return false;
    const uint32_t offBits = Le32(h + 10);
    const uint32_t infoSize = Le32(h + 14);
    const uint8_t* info = h + kFileHeaderSize;
    if (infoSize == kCoreHeaderSize) {
        if (available < kFileHeaderSize + kCoreHeaderSize) return false;
        layout.width = Le16(info + 4);
        layout.height = int16_t(Le16(info + 6));
        layout.bitCount = Le16(info + 10);
    } else if (infoSize >= kInfoHeaderSize) {
        if (available < kFileHeaderSize + kInfoHeaderSize) return false;
        layout.width = int32_t(Le32(info + 4));
        layout.height = int32_t(Le32(info + 8));
        layout.bitCount = Le16(info + 14);
        layout.compression = Le32(info + 16);
    } else {
        return false;
    }
    const int b = layout.bitCount;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return false;
    if (layout.width <= 0 || layout.height == 0) return false;

    // The rows start at the declared offset, or right after the headers and
    // the colour table when that offset points into them.
    const uint64_t colours = b <= 8 ? (infoSize >= kInfoHeaderSize && Le32(info + 32) != 0 ? Le32(info + 32) : 1u << b) : 0;
    const uint64_t masks = infoSize == kInfoHeaderSize && layout.compression == kBitfields ? 12 : 0;
    const uint64_t tableEnd = kFileHeaderSize + infoSize + masks + colours * (infoSize == kCoreHeaderSize ? 3 : 4);
    layout.pixelStart = std::max<uint64_t>(offBits, tableEnd);
    const uint64_t rows = uint64_t(layout.height < 0 ? -layout.height : layout.height);
    layout.pixelBytes = (uint64_t(layout.width) * uint64_t(b) + 31) / 32 * 4 * rows;
    if (layout.Compressed()) return layout.pixelStart < fileSize;
    // A short file would leave rows unread; the whole image or nothing.
    return layout.pixelBytes <= fileSize && layout.pixelStart <= fileSize - layout.pixelBytes;
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

bool ReadPixels(QIODevice& device, const BmpLayout& layout, Bitmap& out) {
    // Run-length files may skip pixels; those get index 0 rather than
    // whatever the memory held before.
    const auto init = layout.Compressed() ? Bitmap::Init::Zero : Bitmap::Init::Uninitialised;
    out.Allocate(int(layout.width), int(layout.height < 0 ? -layout.height : layout.height), layout.TargetBits(), init);
    out.SetDevice(false);
    out.SetMasks({});
    out.Palette().clear();

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

bool DecodeFrom(QIODevice& device, const uint8_t* header, size_t headerSize, uint64_t fileSize, Bitmap& out) {
    BmpLayout layout;
    bool ok = false;
    if (ParseHeaders(header, headerSize, fileSize, layout)) {
        try {
            ok = ReadPixels(device, layout, out);
        } catch (const std::exception&) {
            ok = false;  // the bitmap refused the size, or memory ran out
        }
    }
    if (!ok) out.Clear();
    return ok;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Bitmap& out) {
    if (data == nullptr || size == 0 || size > uint64_t(std::numeric_limits<qsizetype>::max())) {
        out.Clear();
        return false;
    }
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return DecodeFrom(buffer, data, size, size, out);
}

}  // namespace pelumir
