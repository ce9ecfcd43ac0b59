// Every kind of file the image readers accept, cut at every length below its
// full size. Each cut is copied into a buffer of exactly its length, so a
// reader that looks one byte too far reads outside the allocation: the
// sanitizer run of these tests stops there. A new decoder adds its rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "image/BmpLoader.h"
#include "image/JpegLoader.h"
#include "image/JxlLoader.h"
#include "image/GifLoader.h"
#include "image/HeifLoader.h"
#include "image/TiffLoader.h"
#include "image/PngLoader.h"
#include "image/WebpLoader.h"
#include "tests/unit/ImageFixtures.h"
#include "tests/unit/GifFixture.h"
#include "tests/unit/JxlFixture.h"
#include "tests/unit/HeifFixture.h"
#include "tests/unit/TiffFixture.h"
#include "tests/unit/PngFixture.h"
#include "tests/unit/WebpFixture.h"

namespace pelumir {
namespace {

using Decode = std::function<bool(std::span<const uint8_t>, Bitmap&)>;

bool Bmp(std::span<const uint8_t> b, Bitmap& out) { return DecodeBmp(b.data(), b.size(), out); }

// A decoder given the whole file at once, the orientation read from the
// same bytes before the pixels.
template <DecodeFn decode>
bool Whole(std::span<const uint8_t> b, Bitmap& out) {
    return DecodeWhole(decode, b, out);
}

// A decoder giving its library the bytes a few at a time.
template <DecodeFn decode>
bool InPieces(std::span<const uint8_t> b, Bitmap& out) {
    PictureSink sink(out);
    FileInput in(b, true, 7);
    if (decode(in, sink)) return true;
    sink.Abandon();  // as the load does: a failure leaves no picture
    return false;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Where the first scan's header starts: every cut up to there is all tables.
size_t FirstScan(const std::vector<uint8_t>& jpeg) {
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) at += 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    return at;
}

struct Kind {
    std::string name;
    std::vector<uint8_t> bytes;
    Decode decode;
    size_t failsBelow;  // every cut shorter than this fails
};

// An uncompressed bitmap is the whole image or nothing.
Kind BmpKind(const std::string& name, const testutil::BmpSpec& spec) {
    const int n = spec.width * (spec.height < 0 ? -spec.height : spec.height);
    std::vector<uint32_t> pixels(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) pixels[size_t(i)] = uint32_t(i) * 0x9E3779B1u >> (spec.bits < 32 ? 32 - spec.bits : 0);
    std::vector<uint8_t> bytes = testutil::BuildBmp(spec, pixels);
    const size_t size = bytes.size();
    return {name, std::move(bytes), Bmp, size};
}

// Run-length rows are read once their first byte is there.
Kind RleKind(const std::string& name, const testutil::BmpSpec& spec, std::vector<uint8_t> runs) {
    std::vector<uint8_t> bytes = testutil::BuildBmpRows(spec, {std::move(runs)});
    const size_t pixelStart = Le32(bytes, 10);
    return {name, std::move(bytes), Bmp, pixelStart + 1};
}

// Nothing shows until the end of the picture's data has been read.
Kind WholeOrNothing(const std::string& name, std::vector<uint8_t> bytes, Decode decode) {
    const size_t size = bytes.size();
    return {name, std::move(bytes), std::move(decode), size};
}

// The last bytes of a WebP (a chunk's padding, the coder's final bits) may
// be missing without a pixel lost.
Kind WebpKind(const std::string& name, std::vector<uint8_t> bytes, Decode decode) {
    const size_t size = bytes.size();
    return {name, std::move(bytes), std::move(decode), size - 2};
}

Kind JpegKind(const std::string& name, std::vector<uint8_t> bytes, Decode decode = Whole<DecodeJpeg>) {
    const size_t firstScan = FirstScan(bytes);
    return {name, std::move(bytes), std::move(decode), firstScan + 1};
}

std::vector<uint32_t> Greys(uint32_t n) {
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < n; ++i) palette.push_back(i * 255 / (n - 1) * 0x010101);
    return palette;
}

std::vector<Kind> Kinds() {
    using testutil::JpegRecipe;
    using testutil::NoisyJpeg;
    using testutil::OrientedJpeg;
    testutil::PngSpec png, palette, interlaced, rgba16;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.bitDepth = 4;
    palette.transparentIndices = true;
    interlaced.interlaced = true;
    rgba16.colorType = PNG_COLOR_TYPE_RGBA;
    rgba16.bitDepth = 16;
    JpegRecipe grey, cmyk, ycck, bareCmyk, progressive, arithmetic, subsampled;
    grey.input = grey.stored = JCS_GRAYSCALE;
    cmyk.input = cmyk.stored = bareCmyk.input = bareCmyk.stored = ycck.input = JCS_CMYK;
    ycck.stored = JCS_YCCK;
    bareCmyk.adobeMarker = false;
    progressive.progressive = true;
    arithmetic.arithmetic = true;
    subsampled.subsampled = true;
    for (JpegRecipe* r : {&grey, &cmyk, &ycck, &bareCmyk, &progressive, &arithmetic, &subsampled})
        r->width = r->height = 8;
    JpegRecipe baseline = subsampled;
    baseline.subsampled = false;

    const uint32_t masks565[] = {0xF800, 0x07E0, 0x001F};
    return {
        BmpKind("OS/2 1.x header, 1 bit", {3, 2, 1, 12, 0, {}, Greys(2)}),
        BmpKind("OS/2 1.x header, 24 bits", {3, 2, 24, 12}),
        BmpKind("OS/2 2.x header of 16 bytes, 4 bits", {3, 2, 4, 16, 0, {}, Greys(16)}),
        BmpKind("OS/2 2.x header of 24 bytes, 32 bits", {3, 2, 32, 24}),
        BmpKind("OS/2 2.x header of 64 bytes, 8 bits", {3, 2, 8, 64, 0, {}, Greys(256)}),
        BmpKind("40-byte header, 1 bit", {3, 2, 1, 40, 0, {}, Greys(2)}),
        BmpKind("40-byte header, 2 bits", {3, 2, 2, 40, 0, {}, Greys(4)}),
        BmpKind("40-byte header, 4 bits", {3, -2, 4, 40, 0, {}, Greys(16)}),
        BmpKind("40-byte header, 8 bits, short palette", {3, 2, 8, 40, 0, {}, Greys(4)}),
        BmpKind("40-byte header, 16 bits", {3, 2, 16, 40}),
        BmpKind("40-byte header, 24 bits", {3, 2, 24, 40}),
        BmpKind("40-byte header, 32 bits", {3, 2, 32, 40}),
        BmpKind("40-byte header, 5-6-5 bit fields after it", {3, 2, 16, 40, 3, {std::begin(masks565), std::end(masks565)}}),
        BmpKind("40-byte header, 2-3-1 bit fields after it", {3, 2, 16, 40, 3, {0x30, 0x0E, 0x01}}),
        BmpKind("40-byte header, alpha bit fields after it", {3, 2, 32, 40, 6, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}}),
        BmpKind("52-byte header, bit fields", {3, 2, 32, 52, 3, {0xFF0000, 0xFF00, 0xFF}}),
        BmpKind("56-byte header, 4-4-4-4 bit fields", {3, 2, 16, 56, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}}),
        BmpKind("108-byte header, bit fields", {3, 2, 32, 108, 3, {0xFF0000, 0xFF00, 0xFF}}),
        BmpKind("124-byte header, 24 bits", {3, 2, 24, 124}),
        RleKind("run-length, 8 bits", {3, 2, 8, 40, 1, {}, Greys(256)}, {3, 1, 0, 0, 3, 2, 0, 1}),
        RleKind("run-length, 4 bits", {3, 2, 4, 40, 2, {}, Greys(16)}, {3, 0x12, 0, 0, 3, 0x34, 0, 1}),
        JpegKind("baseline JPEG", NoisyJpeg(baseline)),
        JpegKind("baseline JPEG, 2 x 2 chroma", NoisyJpeg(subsampled)),
        JpegKind("greyscale JPEG", NoisyJpeg(grey)),
        JpegKind("progressive JPEG", NoisyJpeg(progressive)),
        JpegKind("arithmetic-coded JPEG", NoisyJpeg(arithmetic)),
        JpegKind("Adobe CMYK JPEG", NoisyJpeg(cmyk)),
        JpegKind("Adobe YCCK JPEG", NoisyJpeg(ycck)),
        JpegKind("CMYK JPEG without the Adobe marker", NoisyJpeg(bareCmyk)),
        JpegKind("JPEG with big-endian EXIF", OrientedJpeg(NoisyJpeg(baseline), 6)),
        JpegKind("JPEG with little-endian EXIF", OrientedJpeg(NoisyJpeg(baseline), 8, false)),
        WholeOrNothing("PNG", testutil::BuildPng(png), Whole<DecodePng>),
        WholeOrNothing("PNG, palette and tRNS", testutil::BuildPng(palette), Whole<DecodePng>),
        WholeOrNothing("PNG, 16-bit RGBA", testutil::BuildPng(rgba16), Whole<DecodePng>),
        WholeOrNothing("PNG, interlaced, in pieces", testutil::BuildPng(interlaced), InPieces<DecodePng>),
        WebpKind("WebP, lossless", testutil::BuildWebp({.alpha = true}), Whole<DecodeWebp>),
        WebpKind("WebP, lossy, in pieces", testutil::BuildWebp({.lossless = false}), InPieces<DecodeWebp>),
        WebpKind("WebP, lossy with alpha", testutil::BuildWebp({.lossless = false, .alpha = true}), Whole<DecodeWebp>),
        WebpKind("WebP, animated", testutil::BuildWebp({.animated = true}), Whole<DecodeWebp>),
        // The trailer after the picture is never read.
        {"GIF", testutil::BuildGif({}), Whole<DecodeGif>, testutil::BuildGif({}).size() - 1},
        {"GIF, interlaced, in pieces", testutil::BuildGif({.height = 19, .frameHeight = 19, .interlaced = true}),
         InPieces<DecodeGif>, testutil::BuildGif({.height = 19, .frameHeight = 19, .interlaced = true}).size() - 1},
        // The directory comes after the pixels: no cut leaves it whole.
        {"TIFF, oriented", testutil::BuildTiff({.orientation = 8}), InPieces<DecodeTiff>,
         testutil::BuildTiff({.orientation = 8}).size()},
        {"TIFF, 16-bit tiles, LZW, in pieces",
         testutil::BuildTiff({.width = 20, .height = 20, .bits = 16, .tile = 16, .compression = COMPRESSION_LZW}),
         InPieces<DecodeTiff>,
         testutil::BuildTiff({.width = 20, .height = 20, .bits = 16, .tile = 16, .compression = COMPRESSION_LZW})
             .size()},
        WholeOrNothing("JPEG XL, lossless with alpha", testutil::BuildJxl({.alpha = true}), Whole<DecodeJxl>),
        WholeOrNothing("JPEG XL, lossy, in the box container, in pieces",
                       testutil::BuildJxl({.width = 40, .height = 30, .lossless = false, .container = true}),
                       InPieces<DecodeJxl>),
        WholeOrNothing("JPEG XL, grey, 16 bits, turned", testutil::BuildJxl({.grey = true, .sixteen = true, .orientation = 7}),
                       Whole<DecodeJxl>),
        // The item locations point past any cut.
        WholeOrNothing("HEIC", testutil::BuildHeif({}), Whole<DecodeHeif>),
        WholeOrNothing("AVIF with alpha, turned, in pieces",
                       testutil::BuildHeif({.av1 = true, .alpha = true, .orientation = 6}), InPieces<DecodeHeif>),
    };
}

TEST(HeaderCuts, EveryKindCutShortReadsOnlyItsOwnBytes) {
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        Bitmap whole, out;
        ASSERT_TRUE(kind.decode(kind.bytes, whole));
        for (size_t cut = 0; cut < kind.bytes.size(); ++cut) {
            // Exactly `cut` bytes on the heap; none at all for the empty file.
            const std::unique_ptr<uint8_t[]> copy(cut == 0 ? nullptr : new uint8_t[cut]);
            std::copy_n(kind.bytes.begin(), cut, copy.get());
            const bool ok = kind.decode({copy.get(), cut}, out);
            EXPECT_TRUE(cut >= kind.failsBelow || !ok) << "cut at " << cut;
            EXPECT_TRUE(ok ? out.Width() == whole.Width() && out.Height() == whole.Height() : out.Empty())
                << "cut at " << cut;
        }
    }
}

}  // namespace
}  // namespace pelumir
