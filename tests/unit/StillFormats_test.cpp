// Every format beyond JPEG and BMP, decoded from small files made here by
// its own library, compared pixel by pixel with what the file holds
// composed onto black. Each is decoded with its bytes given at once and
// in tiny pieces, which must give the same picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <zlib.h>

#include "image/Decoder.h"
#include "image/ImageFile.h"
#include "image/PngLoader.h"
#include "image/GifLoader.h"
#include "image/JxlLoader.h"
#include "image/HeifLoader.h"
#include "image/TiffLoader.h"
#include "image/WebpLoader.h"
#include "tests/unit/PngFixture.h"
#include "tests/unit/GifFixture.h"
#include "tests/unit/JxlFixture.h"
#include "tests/unit/HeifFixture.h"
#include "tests/unit/ImageFixtures.h"
#include "tests/unit/TempDir.h"
#include "tests/unit/TiffFixture.h"
#include "tests/unit/WebpFixture.h"
#include "viewer/BitmapUtils.h"

namespace pelumir {
namespace {

struct Kind {
    std::string name;
    std::vector<uint8_t> bytes;
    DecodeFn decode;
    int width, height;
    std::function<uint32_t(int x, int y)> shown;  // 0x00RRGGBB
    int tolerance = 0;  // per channel, for lossy files
    Orientation orientation = Orientation::Normal;  // what the decode gives
};

Kind Png(const std::string& name, const testutil::PngSpec& spec) {
    return {"PNG " + name, testutil::BuildPng(spec), DecodePng, spec.width,
            spec.height, [spec](int x, int y) { return testutil::PngShown(spec, x, y); }};
}

Kind Webp(const std::string& name, const testutil::WebpSpec& spec) {
    return {"WebP " + name,  testutil::BuildWebp(spec), DecodeWebp,
            spec.width,      spec.height, [spec](int x, int y) { return testutil::WebpShown(spec, x, y); },
            spec.lossless ? 0 : 16};
}

Kind Gif(const std::string& name, const testutil::GifSpec& spec) {
    // A picture reaching past the canvas widens it.
    return {"GIF " + name, testutil::BuildGif(spec), DecodeGif,
            std::max(spec.width, spec.left + spec.frameWidth), std::max(spec.height, spec.top + spec.frameHeight),
            [spec](int x, int y) { return testutil::GifShown(spec, x, y); }};
}

Kind Tiff(const std::string& name, const testutil::TiffSpec& spec, int tolerance = 0) {
    return {"TIFF " + name, testutil::BuildTiff(spec), DecodeTiff, spec.width,
            spec.height, [spec](int x, int y) { return testutil::TiffShown(spec, x, y); }, tolerance,
            OrientationFromExif(uint32_t(spec.orientation))};
}

Kind Jxl(const std::string& name, const testutil::JxlSpec& spec) {
    // A turned picture keeps its rows as stored: the turn goes with it.
    return {"JPEG XL " + name,
            testutil::BuildJxl(spec),
            DecodeJxl,
            spec.width,
            spec.height,
            [spec](int x, int y) { return testutil::JxlShown(spec, x, y); },
            spec.lossless ? 0 : 12,
            OrientationFromExif(uint32_t(spec.orientation))};
}

Kind Heif(const std::string& name, const testutil::HeifSpec& spec) {
    // Lossy coders, and the reduction of 10 bits to 8, move a value a little.
    return {(spec.av1 ? "AVIF " : "HEIC ") + name, testutil::BuildHeif(spec),
            DecodeHeif, testutil::HeifShownWidth(spec),
            testutil::HeifShownHeight(spec), [spec](int x, int y) { return testutil::HeifShown(spec, x, y); },
            spec.lossless ? spec.bits > 8 ? 1 : 0 : spec.halfChroma ? 32 : 12};
}

std::vector<Kind> Kinds() {
    using testutil::PngSpec;
    PngSpec tall, rgb, rgba, grey, grey1, greyAlpha, palette, clearPalette, rgb16, rgba16, interlaced, animated;
    PngSpec interlacedRgb16, interlacedClearPalette;
    rgba.colorType = rgba16.colorType = interlaced.colorType = PNG_COLOR_TYPE_RGBA;
    grey.colorType = grey1.colorType = PNG_COLOR_TYPE_GRAY;
    grey1.bitDepth = 1;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    palette.colorType = clearPalette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.bitDepth = clearPalette.bitDepth = 4;
    clearPalette.transparentIndices = true;
    rgb16.bitDepth = rgba16.bitDepth = 16;
    interlaced.interlaced = true;
    interlaced.width = 11, interlaced.height = 37;
    tall.width = 64, tall.height = 150;  // many pieces, rows handed on between them
    animated.animated = true;
    // Opaque, so rows are gathered as they are shown; see-through, with an alpha added.
    interlacedRgb16 = rgb16, interlacedClearPalette = clearPalette;
    interlacedRgb16.interlaced = interlacedClearPalette.interlaced = true;
    interlacedRgb16.height = interlacedClearPalette.height = 19;
    std::vector<Kind> kinds{
        Png("RGB", rgb),
        Png("RGB, tall", tall),
        Png("RGBA", rgba),
        Png("grey", grey),
        Png("grey, 1 bit", grey1),
        Png("grey and alpha", greyAlpha),
        Png("palette, 4 bits", palette),
        Png("palette with see-through entries", clearPalette),
        Png("RGB, 16 bits", rgb16),
        Png("RGBA, 16 bits", rgba16),
        Png("interlaced RGBA", interlaced),
        Png("interlaced RGB, 16 bits", interlacedRgb16),
        Png("interlaced palette with see-through entries", interlacedClearPalette),
        Png("interlaced, one pixel", {.width = 1, .height = 1, .interlaced = true}),
        Png("interlaced, one row", {.width = 9, .height = 1, .interlaced = true}),
        Png("interlaced, one column", {.width = 1, .height = 10, .interlaced = true}),
        Png("interlaced, 2 x 2", {.width = 2, .height = 2, .interlaced = true}),
        Png("animated, its default picture", animated),
        Webp("lossless", {}),
        Webp("lossless with alpha", {.alpha = true}),
        Webp("lossless, tall", {.width = 40, .height = 60}),
        Webp("lossy", {.lossless = false}),
        Webp("lossy with alpha", {.lossless = false, .alpha = true}),
        Webp("animated, its first frame", {.alpha = true, .animated = true}),
        Gif("", {}),
        Gif("interlaced", {.height = 19, .frameHeight = 19, .interlaced = true}),
        Gif("tall", {.height = 50, .frameHeight = 50}),
        Gif("smaller picture with its own colours, one see-through",
            {.width = 9, .height = 8, .left = 2, .top = 3, .frameWidth = 4, .frameHeight = 3, .localMap = true,
             .transparent = 5}),
        Gif("picture past the canvas", {.width = 4, .height = 3, .left = 1, .top = 1}),
        Gif("interlaced picture inside a larger canvas",
            {.width = 9, .height = 30, .left = 1, .top = 6, .frameWidth = 5, .frameHeight = 17, .interlaced = true}),
        Gif("animated, its first frame", {.transparent = 0, .animated = true}),
        Tiff("RGB", {}),
        Tiff("RGB, one strip", {.rowsPerStrip = 5}),
        Tiff("RGBA", {.samples = 4}),
        Tiff("RGBA, premultiplied", {.samples = 4, .associated = true}),
        Tiff("grey", {.samples = 1}),
        Tiff("grey and alpha", {.samples = 2}),
        Tiff("grey, white as 0, in one LZW strip", {.samples = 1, .minIsWhite = true, .rowsPerStrip = 5,
                                                    .compression = COMPRESSION_LZW}),
        Tiff("grey and alpha, white as 0", {.samples = 2, .minIsWhite = true}),
        Tiff("grey and alpha, 16 bits, white as 0", {.samples = 2, .bits = 16, .minIsWhite = true}),
        Tiff("RGBA, premultiplied, in one Deflate strip",
             {.samples = 4, .associated = true, .rowsPerStrip = 5, .compression = COMPRESSION_ADOBE_DEFLATE}),
        Tiff("palette", {.palette = true}),
        Tiff("RGB, 16 bits", {.bits = 16}),
        Tiff("RGBA, 16 bits, big-endian", {.samples = 4, .bits = 16, .bigEndian = true}),
        Tiff("RGBA, 16 bits, LZW", {.samples = 4, .bits = 16, .compression = COMPRESSION_LZW}),
        Tiff("grey, 16 bits, Deflate", {.samples = 1, .bits = 16, .compression = COMPRESSION_ADOBE_DEFLATE}),
        Tiff("RGB, tiles", {.width = 40, .height = 37, .tile = 16}),
        Tiff("RGB, JPEG", {.width = 16, .height = 16, .rowsPerStrip = 8, .compression = COMPRESSION_JPEG}, 24),
        Tiff("RGB, rows kept as stored, its Orientation going with them", {.orientation = 6}),
        Tiff("two pages, the first", {.twoPages = true}),
        Jxl("lossless", {}),
        Jxl("lossless with alpha", {.alpha = true}),
        Jxl("lossless, 16 bits with alpha", {.alpha = true, .sixteen = true}),
        Jxl("grey", {.grey = true}),
        Jxl("grey and alpha, 16 bits", {.grey = true, .alpha = true, .sixteen = true}),
        Jxl("lossy", {.width = 40, .height = 30, .lossless = false}),
        Jxl("lossy with alpha", {.width = 40, .height = 30, .lossless = false, .alpha = true}),
        Jxl("lossy, in linear light, shown in sRGB", {.width = 40, .height = 30, .lossless = false, .linear = true}),
        Jxl("in the box container", {.container = true}),
        Jxl("animated, its first frame", {.alpha = true, .animated = true}),
        Jxl("still, a second frame replacing a part of the first", {.layered = true}),
        Jxl("turned, rows as stored", {.orientation = 6}),
        Jxl("mirrored and turned, an Exif box saying otherwise", {.orientation = 5, .exifOrientation = 3}),
        // Groups of 256 x 256 pixels: rows come in pieces and out of order.
        Jxl("lossless, several groups", {.width = 300, .height = 270}),
        Jxl("lossy, groups stored from the middle out",
            {.width = 530, .height = 800, .lossless = false, .centreFirst = true}),
        Heif("lossy", {}),
        Heif("lossy, colour at half resolution", {.width = 17, .height = 11, .halfChroma = true}),
        Heif("lossless", {.lossless = true}),
        Heif("lossless with alpha", {.lossless = true, .alpha = true}),
        Heif("lossy with alpha, tall", {.width = 21, .height = 70, .alpha = true}),
        Heif("10 bits", {.lossless = true, .bits = 10}),
        Heif("10 bits, turned a quarter", {.bits = 10, .orientation = 8}),
        Heif("turned and mirrored", {.lossless = true, .orientation = 5}),
        Heif("mirrored", {.orientation = 2}),
        Heif("lossy", {.av1 = true}),
        Heif("lossy, colour at half resolution", {.av1 = true, .halfChroma = true}),
        Heif("lossless with alpha", {.av1 = true, .lossless = true, .alpha = true}),
        Heif("lossy with alpha", {.av1 = true, .alpha = true}),
        Heif("turned and mirrored", {.av1 = true, .orientation = 7}),
        Heif("upside down", {.av1 = true, .lossless = true, .orientation = 3}),
    };
    // A TIFF's own Orientation tag goes with it as EXIF's would, the rows as
    // stored on either of libtiff's roads (tiles take its RGBA reader).
    for (int tag = 1; tag <= 8; ++tag)
        for (const int t : {0, 16})
            kinds.push_back(Tiff("tag " + std::to_string(tag) + (t ? ", tiled" : ""), {.tile = t, .orientation = tag}));
    return kinds;
}

// A decode with the bytes given `piece` at a time (0: at once).
std::optional<Decoded> Decode(DecodeFn decode, const std::vector<uint8_t>& bytes, RowSink& sink, size_t piece) {
    FileInput in(bytes, true, piece);
    return decode(in, sink);
}

bool Decode(DecodeFn decode, const std::vector<uint8_t>& bytes, Bitmap& out, size_t piece) {
    PictureSink sink(out);
    return Decode(decode, bytes, sink, piece).has_value();
}

TEST(StillFormats, EveryKindShowsItsPixelsOnBlack) {
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        for (size_t piece : {size_t(0), size_t(7)}) {
            Bitmap out;
            PictureSink sink(out);
            const std::optional<Decoded> decoded = Decode(kind.decode, kind.bytes, sink, piece);
            ASSERT_TRUE(decoded) << "piece " << piece;
            EXPECT_EQ(decoded->orientation, kind.orientation);
            ASSERT_EQ(out.Width(), kind.width);
            ASSERT_EQ(out.Height(), kind.height);
            ASSERT_EQ(out.BitsPerPixel(), 24);
            for (int y = 0; y < kind.height; ++y)
                for (int x = 0; x < kind.width; ++x) {
                    const uint8_t* p = out.Row(y) + x * 3;
                    const uint32_t want = kind.shown(x, y);
                    for (int c = 0; c < 3; ++c)
                        EXPECT_NEAR(p[c], want >> (8 * c) & 0xFF, kind.tolerance)
                            << "at " << x << "," << y << ", channel " << c << ", piece " << piece;
                }
        }
        // No longer wanted, it ends without a picture before its first
        // rows; still wanted, it is asked about as its rows come.
        Bitmap out;
        PictureSink dropped(out);
        int asked = 0;
        dropped.WatchWanted([&] { return ++asked, false; });
        EXPECT_FALSE(Decode(kind.decode, kind.bytes, dropped, 7));
        EXPECT_TRUE(dropped.Dropped());
        EXPECT_EQ(asked, 1);
    }
}

// A TIFF whose whole picture is one compressed strip, as some programs
// save, is still read a few rows at a time: the decode can be dropped
// between them.
TEST(StillFormats, ATiffInOneStripIsReadAFewRowsAtATime) {
    for (const int samples : {1, 3}) {
        SCOPED_TRACE(samples);
        const auto bytes = testutil::BuildTiff(
            {.width = 20, .height = 400, .samples = samples, .rowsPerStrip = 400, .compression = COMPRESSION_LZW});
        Bitmap out;
        PictureSink sink(out);
        int asked = 0;
        sink.WatchWanted([&] { return ++asked, true; });
        ASSERT_TRUE(Decode(DecodeTiff, bytes, sink, 0));
        EXPECT_GE(asked, 400 / 16);
    }
}

// The turn a JPEG XL carries, applied where its rows are sampled, gives
// what libjxl itself makes of the file when it turns the picture.
TEST(StillFormats, JpegXlTurnsAsItsLibraryDoes) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const auto file = testutil::BuildJxl({.width = 7, .height = 4, .orientation = orientation});
        Bitmap stored;
        Orientation turn;
        ASSERT_TRUE(DecodeWhole(DecodeJxl, file, stored, &turn));
        ConvertToBit32(stored);
        const Bitmap shown = TurnUpright(stored, turn);

        JxlDecoderPtr dec = JxlDecoderMake(nullptr);
        JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
        JxlDecoderSetInput(dec.get(), file.data(), file.size());
        JxlDecoderCloseInput(dec.get());
        const JxlPixelFormat rgb{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        std::vector<uint8_t> turned;
        JxlBasicInfo info{};
        for (JxlDecoderStatus s; (s = JxlDecoderProcessInput(dec.get())) != JXL_DEC_FULL_IMAGE;) {
            ASSERT_TRUE(s == JXL_DEC_BASIC_INFO || s == JXL_DEC_NEED_IMAGE_OUT_BUFFER) << s;
            if (s == JXL_DEC_BASIC_INFO) JxlDecoderGetBasicInfo(dec.get(), &info);
            if (s != JXL_DEC_NEED_IMAGE_OUT_BUFFER) continue;
            turned.resize(size_t(info.xsize) * info.ysize * 3);
            ASSERT_EQ(JxlDecoderSetImageOutBuffer(dec.get(), &rgb, turned.data(), turned.size()), JXL_DEC_SUCCESS);
        }
        const int w = orientation >= 5 ? 4 : 7;
        ASSERT_EQ(shown.Width(), w);
        ASSERT_EQ(shown.Height(), orientation >= 5 ? 7 : 4);
        for (int y = 0; y < shown.Height(); ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(shown.Row(y)[x * 4 + c], turned[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(2 - c)])
                        << "at " << x << "," << y;
    }
}

// A PNG whose compressed image data ends, properly closed, before its last
// row: libpng's progressive reader then reaches the end without a word, and
// rows never made must not be shown (they would be whatever memory held).
TEST(StillFormats, APngWhoseImageDataEndsEarlyFails) {
    const auto chunk = [](std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
        for (int i = 0; i < 4; ++i) png.push_back(uint8_t(data.size() >> (24 - 8 * i)));
        const size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        const uLong crc = crc32(0, png.data() + start, uInt(png.size() - start));
        for (int i = 0; i < 4; ++i) png.push_back(uint8_t(crc >> (24 - 8 * i)));
    };
    // 5 x 4 RGB: 64 bytes of rows with their filter bytes as stored, 68
    // interlaced; each cut leaves rows or passes out.
    for (const auto& [interlaced, full] : {std::pair{false, 64}, std::pair{true, 68}})
        for (int made : {full / 2, full - 1, full}) {
            SCOPED_TRACE(std::to_string(made) + (interlaced ? " bytes, interlaced" : " bytes"));
            std::vector<uint8_t> rows(size_t(made), 0), packed(200);
            uLongf size = packed.size();
            ASSERT_EQ(compress(packed.data(), &size, rows.data(), uLong(rows.size())), Z_OK);
            packed.resize(size);
            std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
            chunk(png, "IHDR", {0, 0, 0, 5, 0, 0, 0, 4, 8, 2, 0, 0, uint8_t(interlaced)});
            chunk(png, "IDAT", packed);
            chunk(png, "IEND", {});
            for (size_t piece : {size_t(0), size_t(7)}) {
                Bitmap out;
                EXPECT_EQ(Decode(DecodePng, png, out, piece), made == full) << "piece " << piece;
            }
        }
}

// A header alone that claims more than any bitmap may hold fails at once:
// nothing of that size is asked for.
TEST(StillFormats, HugeHeadersFailBeforeAnyPixel) {
    testutil::PngSpec huge;
    huge.width = 1;
    huge.height = 1;
    std::vector<uint8_t> png = testutil::BuildPng(huge);
    // The IHDR's width and height, and its CRC made right again.
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) png[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    };
    for (bool interlaced : {false, true}) {
        put32(16, 30000);
        put32(20, 30000);
        png[28] = interlaced ? 1 : 0;
        put32(29, uint32_t(crc32(0, png.data() + 12, 17)));
        Bitmap out;
        EXPECT_FALSE(DecodeWhole(DecodePng, png, out)) << interlaced;
        EXPECT_TRUE(out.Empty());
    }
    // A TIFF whose 24-bit picture would fit but whose 4-byte RGBA one would not.
    std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 5, 0};
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        for (uint32_t v : {uint32_t(tag), uint32_t(type)}) tiff.insert(tiff.end(), {uint8_t(v), uint8_t(v >> 8)});
        for (uint32_t v : {uint32_t(1), value})
            tiff.insert(tiff.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    };
    entry(256, 4, 30000);                // width
    entry(257, 4, 10000);                // height
    entry(262, 3, 1);                    // grey
    entry(273, 4, 8);                    // the one strip
    entry(279, 4, 300000000);            // its bytes
    tiff.insert(tiff.end(), 4, 0);
    // The strip's bytes are missing too, so only a sink that was never
    // begun shows the refusal came first. Where the sink is asked, it
    // refuses, and no row comes.
    struct Refusing final : RowSink {
        explicit Refusing(bool mayBegin) : mayBegin(mayBegin) {}
        bool mayBegin;
        Bitmap none;
        std::vector<uint32_t> palette;
        int64_t asked = 0;
        void Begin(int w, int h, int bits, Orientation) override {
            if (!mayBegin) {
                ADD_FAILURE() << "begun";
                throw std::runtime_error("begun");  // no rows to write into
            }
            asked = int64_t(w) * h;
            Bitmap::CheckSize(w, h, bits);
        }
        std::vector<uint32_t>& Palette() override { return palette; }
        uint8_t* Row(int) override { return nullptr; }
        void RowsDone(int, int) override { ADD_FAILURE() << "rows"; }
        Bitmap& Whole() override { return none; }
        void WholeDone(Orientation) override {}
        void Abandon() override {}
    } sink(false), refusing(true);
    const auto fails = [](DecodeFn decode, const std::vector<uint8_t>& bytes, RowSink& sink) {
        try {
            return !Decode(decode, bytes, sink, 0);
        } catch (const std::exception&) {
            return true;  // the sink's refusal, let through
        }
    };
    EXPECT_TRUE(fails(DecodeTiff, tiff, sink));

    // A JPEG XL codestream's header alone, naming 30000 x 30000 pixels: the
    // sink is asked first and refuses.
    const std::vector<uint8_t> jxl = {0xFF, 0x0A, 0x7E, 0xA9, 0x03, 0x00, 0xF0, 0x4B, 0x1D, 0x00, 0x10};
    EXPECT_TRUE(fails(DecodeJxl, jxl, refusing));
    EXPECT_EQ(refusing.asked, int64_t(30000) * 30000);
    // A HEIC whose picture says it is 20000 x 20000, within libheif's own
    // limits but past ours: the coded 9 x 6 one is never handed on.
    std::vector<uint8_t> heic = testutil::BuildHeif({});
    const uint8_t kIspe[] = {'i', 's', 'p', 'e', 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 6};  // no tile's
    const auto ispe = std::search(heic.begin(), heic.end(), kIspe, kIspe + sizeof kIspe);
    ASSERT_NE(ispe, heic.end());
    for (ptrdiff_t at : {8, 12})  // width, height
        for (int i = 0; i < 4; ++i) ispe[at + i] = uint8_t(20000 >> (24 - 8 * i));
    EXPECT_TRUE(fails(DecodeHeif, heic, sink));
}

// A HEIF's turns and mirrors are part of its picture: applied by libheif
// whatever the EXIF setting, and its EXIF orientation (the same turn, as
// phones write it) never applied on top.
TEST(StillFormats, HeifTurnsAreAppliedOnceWhateverTheExifSetting) {
    const std::vector<uint8_t> tiff = testutil::ExifPayload({{testutil::OrientationEntry(6)}, true});
    const testutil::HeifSpec spec{.lossless = true, .orientation = 6, .exif = {tiff.begin() + 6, tiff.end()}};
    const std::vector<uint8_t> heic = testutil::BuildHeif(spec);
    testutil::TempDir dir;
    const std::string path = dir.Touch("turned.heic", std::string(heic.begin(), heic.end()));
    for (bool exif : {true, false}) {
        Bitmap out;
        PictureSink sink(out);
        FileBytes bytes;
        const LoadResult loaded = LoadImage(path, bytes, sink, {.otherFormats = true, .exifOrientation = exif});
        ASSERT_EQ(loaded.state, LoadResult::State::Loaded) << exif;
        EXPECT_EQ(loaded.orientation, Orientation::Normal) << exif;
        ASSERT_EQ(out.Width(), testutil::HeifShownWidth(spec));
        ASSERT_EQ(out.Height(), testutil::HeifShownHeight(spec));
        for (int y = 0; y < out.Height(); ++y)
            for (int x = 0; x < out.Width(); ++x) {
                const uint8_t* p = out.Row(y) + x * 3;
                EXPECT_EQ(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0], testutil::HeifShown(spec, x, y))
                    << x << "," << y << " " << exif;
            }
    }
}

}  // namespace
}  // namespace pelumir
