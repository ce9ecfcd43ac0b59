// The rarer BMP kinds that browsers and image libraries show: 2-bit
// palettes, any bit-field masks, the 16-, 52- and 56-byte headers and
// palettes shorter or longer than the header says. Expected colours are
// worked out by hand from the channel widths, not by the loader's formula.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/unit/ImageFixtures.h"
#include "viewer/BitmapUtils.h"
#include "image/BmpLoader.h"
#include "viewer/StretchDraw.h"

namespace pelumir {
namespace {

using Kind = testutil::BmpSpec;
using testutil::BuildBmp;

uint32_t ColourAt(const Bitmap& b, int x, int y) {
    const uint8_t* row = b.Row(y);
    if (b.BitsPerPixel() == 32) return uint32_t(row[4 * x + 2]) << 16 | row[4 * x + 1] << 8 | row[4 * x];
    const unsigned index = b.BitsPerPixel() == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
    return index < b.Palette().size() ? b.Palette()[index] & 0xFFFFFF : 0xDEADBEEF;
}

void ExpectColours(const Bitmap& b, int width, const std::vector<uint32_t>& expected) {
    ASSERT_EQ(b.Width(), width);
    ASSERT_EQ(b.Height(), int(expected.size()) / width);
    for (size_t i = 0; i < expected.size(); ++i) {
        const int x = int(i) % width, y = int(i) / width;
        EXPECT_EQ(ColourAt(b, x, y), expected[i]) << "pixel " << x << "," << y << std::hex << " got " << ColourAt(b, x, y);
    }
}

const std::vector<uint32_t> kGrey4 = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
const std::vector<uint32_t> kColour4 = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF};

TEST(BmpLoaderKinds, TwoBitPalettesBecomeEightBitIndexes) {
    // Five pixels a row: the second byte of each row is half used.
    const std::vector<uint32_t> indexes = {0, 1, 2, 3, 1, 3, 2, 1, 0, 2};
    for (const auto& palette : {kGrey4, kColour4}) {
        for (int32_t height : {2, -2}) {
            SCOPED_TRACE(std::to_string(palette[0]) + ", height " + std::to_string(height));
            Bitmap out;
            const auto bytes = BuildBmp({5, height, 2, 40, 0, {}, palette}, indexes);
            ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), out));
            EXPECT_EQ(out.Format(), PixelFormat::Bit8);
            std::vector<uint32_t> expected;
            for (uint32_t i : indexes) expected.push_back(palette[i]);
            ExpectColours(out, 5, expected);
        }
    }
}

TEST(BmpLoaderKinds, BitFieldsScaleEachChannelToEightBits) {
    const struct {
        const char* name;
        Kind kind;
        std::vector<uint32_t> pixels, expected;
    } cases[] = {
        // Narrow channels spread over 0-255: 1 of 3 is 85, 4 of 7 is 146.
        {"2-3-1", {3, 1, 16, 40, 3, {0x30, 0x0E, 0x01}}, {0x3F, 0x10 | 0x08, 0x01}, {0xFFFFFF, 0x559200, 0x0000FF}},
        // 5 of 7 is 182; ten bits keep their top eight: 0x200 is 128.
        {"3-10-3", {2, 1, 16, 40, 3, {0xE000, 0x1FF8, 0x0007}}, {0xA000 | 0x200 << 3 | 2, 0xFFFF}, {0xB68049, 0xFFFFFF}},
        {"11-11-10", {2, 1, 32, 40, 3, {0xFFE00000, 0x001FFC00, 0x3FF}},
         {0x400u << 21 | 0x3FFu << 10 | 0x100, 0xFFFFFFFF}, {0x807F40, 0xFFFFFF}},
        // 64 of 127 is 128.5, so 129; 0x20000 of 18 bits is 128; 1 of 127 is 2.
        {"7-18-7", {2, 1, 32, 40, 3, {0xFE000000, 0x01FFFF80, 0x7F}}, {0x40u << 25 | 0x20000u << 7 | 1, 0}, {0x818002, 0}},
        // The alpha channel, whatever it holds, changes nothing.
        {"10-10-10-2", {2, 1, 32, 56, 3, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
         {0xC0000000u | 0x3FFu << 20 | 0x155, 0x3FFu << 10}, {0xFF0055, 0x00FF00}},
        {"4-4-4-4", {2, 1, 16, 56, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}}, {0xF8C3, 0x0FFF}, {0x88CC33, 0xFFFFFF}},
        {"5-5-5-1", {2, 1, 16, 56, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}}, {0xFC00, 0x7FFF}, {0xFF0000, 0xFFFFFF}},
        // Nine bits of green keep their top eight: 0x100 is 128; 2 of 3 is 170.
        {"1-9-2-4", {2, 1, 16, 56, 3, {0x8000, 0x7FC0, 0x0030, 0x000F}}, {0x8000 | 0x100 << 6 | 2 << 4 | 0xF, 0x0F}, {0xFF80AA, 0}},
        {"8-8-8 in a 52-byte header", {2, 1, 32, 52, 3, {0xFF0000, 0xFF00, 0xFF}}, {0x123456, 0xFF00FF}, {0x123456, 0xFF00FF}},
        {"5-6-5 in a 56-byte header", {2, 1, 16, 56, 3, {0xF800, 0x07E0, 0x001F}}, {0xF800, 0x07E0 | 0x10}, {0xFF0000, 0x00FF84}},
        {"8-8-8-8 alpha bit fields", {2, 1, 32, 40, 6, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}}, {0x123456FF, 0xABCDEF00}, {0x123456, 0xABCDEF}},
        {"5-5-5 in a 52-byte header, no bit fields", {2, 1, 16, 52, 0, {}}, {0x7C00, 0x001F}, {0xFF0000, 0x0000FF}},
        // A short OS/2 header has no room for masks: the plain layouts, not black.
        {"5-5-5 in a 16-byte header", {2, 1, 16, 16, 0, {}}, {0x7C00, 0x001F}, {0xFF0000, 0x0000FF}},
        {"8-8-8 in a 24-byte header", {2, 1, 32, 24, 0, {}}, {0x123456, 0xFF00FF}, {0x123456, 0xFF00FF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = BuildBmp(c.kind, c.pixels);
        Bitmap out;
        ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), out));
        EXPECT_EQ(out.Format(), PixelFormat::Bit32);
        ExpectColours(out, c.kind.width, c.expected);
    }
}

TEST(BmpLoaderKinds, OddHeadersAndPaletteLengths) {
    const std::vector<uint32_t> idx = {0, 1, 2, 3};
    std::vector<uint32_t> long300 = kColour4;
    long300.resize(300, 0x123456);
    long300[255] = 0xABCDEF;
    std::vector<uint32_t> sixteen = kColour4;
    sixteen.resize(16, 0x777777);
    const struct {
        const char* name;
        Kind kind;
        std::vector<uint32_t> pixels, expected;
    } cases[] = {
        {"OS/2 2.x, 16 bytes, 24 bits", {2, 2, 24, 16}, {0xFF0000, 0x00FF00, 0x0000FF, 0x808080}, {0xFF0000, 0x00FF00, 0x0000FF, 0x808080}},
        {"OS/2 2.x, 16 bytes, 4 bits", {2, 2, 4, 16, 0, {}, sixteen}, {0, 3, 15, 1}, {kColour4[0], kColour4[3], 0x777777, kColour4[1]}},
        // The header claims 256 entries but the rows start after four:
        // those four colour the image, any other index is black.
        {"palette shorter than claimed", {2, 2, 8, 40, 0, {}, kColour4, 256}, {0, 3, 200, 1}, {kColour4[0], kColour4[3], 0, kColour4[1]}},
        {"palette count left zero, cut short", {2, 2, 8, 40, 0, {}, kColour4, 0}, {2, 3, 4, 1}, {kColour4[2], kColour4[3], 0, kColour4[1]}},
        {"1 bit, one entry of two", {2, 2, 1, 40, 0, {}, {0x00FF00}, 2}, {0, 1, 1, 0}, {0x00FF00, 0, 0, 0x00FF00}},
        // 300 entries for 8 bits: the first 256 count, the rows follow all 300.
        {"palette of 300", {2, 2, 8, 40, 0, {}, long300}, {0, 255, 3, 1}, {kColour4[0], 0xABCDEF, kColour4[3], kColour4[1]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = BuildBmp(c.kind, c.pixels);
        Bitmap out;
        ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), out));
        EXPECT_EQ(out.BitsPerPixel(), c.kind.bits == 1 ? 1 : c.kind.bits <= 8 ? 8 : 32);
        ExpectColours(out, c.kind.width, c.expected);
    }
}

TEST(BmpLoaderKinds, WhatStillCannotBeReadFails) {
    const std::vector<uint32_t> four = {1, 2, 3, 4};
    const auto good = BuildBmp({2, 2, 2, 40, 0, {}, kColour4}, {0, 1, 2, 3});
    auto truncated = good;
    truncated.pop_back();
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"overlapping masks", BuildBmp({2, 2, 16, 40, 3, {0xF800, 0x0FE0, 0x1F}}, four)},
        {"a mask in two pieces", BuildBmp({2, 2, 16, 40, 3, {0xF00F, 0x0FE0, 0x0010}}, four)},
        {"a mask wider than the pixel", BuildBmp({2, 2, 16, 40, 3, {0x1F800, 0x7E0, 0x1F}}, four)},
        {"no colour masks", BuildBmp({2, 2, 32, 56, 3, {0, 0, 0, 0xFF000000}}, four)},
        {"bit fields in a 44-byte header", BuildBmp({2, 2, 16, 44, 3, {0x30, 0x0E, 0x01}}, {0, 0, 0, 0})},
        {"bit fields on 24 bits", BuildBmp({2, 2, 24, 52, 3, {0xFF0000, 0xFF00, 0xFF}}, four)},
        {"2 bits, run-length", BuildBmp({2, 2, 2, 40, 1, {}, kColour4}, {0, 0, 0, 0})},
        {"OS/2 2.x, 1-D Huffman", BuildBmp({2, 2, 1, 24, 3, {}, {0, 0xFFFFFF}}, {0, 1, 1, 0})},
        {"300 entries claimed, rows among them", BuildBmp({2, 2, 8, 40, 0, {}, kColour4, 300}, {0, 1, 2, 3})},
        {"2 bits, a byte short", truncated},
        {"the 2-bit image cut at its header", std::vector<uint8_t>(good.begin(), good.begin() + 40)},
    };
    Bitmap out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(DecodeBmp(good.data(), good.size(), out));
        EXPECT_FALSE(DecodeBmp(c.bytes.data(), c.bytes.size(), out));
        EXPECT_TRUE(out.Empty());
    }
}

TEST(BmpLoaderKinds, FaultyDataNeverShowsWhatTheMemoryHeld) {
    // 4 x 2 run-length images; the indexes run top row first.
    const auto rle = [](uint32_t compression, std::vector<uint8_t> data) {
        return testutil::BuildBmpRows({4, 2, compression == 1 ? 8 : 4, 40, compression, {}, kColour4}, {std::move(data)});
    };
    const struct {
        const char* name;
        std::vector<uint8_t> bytes, indexes;
    } cases[] = {
        {"an 8-bit run cut off before its colour paints nothing", rle(1, {4, 2, 0, 0, 3}), {0, 0, 0, 0, 2, 2, 2, 2}},
        {"a 4-bit literal cut off repeats its last byte", rle(2, {0, 3, 0x12}), {0, 0, 0, 0, 1, 2, 1, 0}},
        {"a run past a row goes on into the row below, never past the bottom row", rle(1, {0, 0, 7, 3, 9, 1}),
         {3, 3, 3, 3, 3, 3, 3, 1}},
    };
    Bitmap out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(DecodeBmp(c.bytes.data(), c.bytes.size(), out));
        for (size_t i = 0; i < c.indexes.size(); ++i) EXPECT_EQ(out.Row(int(i / 4))[i % 4], c.indexes[i]) << i;
    }
    // Bit fields after a 64-byte header push the rows on, here past the end.
    auto os2 = BuildBmp({2, 2, 16, 64, 3, {0x7C00, 0x03E0, 0x001F}}, {1, 2, 3, 4});
    os2.resize(os2.size() + 4);
    EXPECT_FALSE(DecodeBmp(os2.data(), os2.size(), out));
    EXPECT_TRUE(out.Empty());
    // An alpha mask changes nothing: the reserved byte is 0xFF as in every 32-bit image.
    const auto v5 = BuildBmp({2, 1, 32, 124, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}, {0x80123456, 0x00ABCDEF});
    ASSERT_TRUE(DecodeBmp(v5.data(), v5.size(), out));
    const std::vector<uint8_t> bgrx = {0x56, 0x34, 0x12, 0xFF, 0xEF, 0xCD, 0xAB, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(out.Row(0), out.Row(0) + 8), bgrx);
}

TEST(BmpLoaderKinds, TheNewKindsTurnAndFitLikeAnyOther) {
    const std::vector<std::vector<uint8_t>> files = {
        BuildBmp({3, 2, 2, 40, 0, {}, kColour4}, {0, 1, 2, 3, 2, 1}),
        BuildBmp({3, 2, 16, 56, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}}, {0xF800, 0x00F0, 0x000F, 0x0FFF, 0x0888, 0x0000}),
        BuildBmp({3, 2, 32, 40, 3, {0x3FF00000, 0xFFC00, 0x3FF}}, {0x3FF00000, 0xFFC00, 0x3FF, 0, 0x3FFFFFFF, 0x20080200}),
        BuildBmp({3, 2, 1, 16, 0, {}, {0x0000FF, 0xFFFF00}}, {0, 1, 1, 0, 0, 1}),
    };
    for (const auto& bytes : files) {
        SCOPED_TRACE(&bytes - files.data());
        Bitmap image;
        ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), image));
        // As the viewer turns it: 32 bits first, then a quarter turn at a time.
        Bitmap upright = image;
        ConvertToBit32(upright);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(ColourAt(upright, x, y), ColourAt(image, x, y)) << x << "," << y;
        Bitmap turned = RotateBitmapRight(upright);
        ASSERT_EQ(turned.Width(), 2);
        ASSERT_EQ(turned.Height(), 3);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(ColourAt(turned, 1 - y, x), ColourAt(upright, x, y)) << x << "," << y;
        for (int i = 0; i < 3; ++i) turned = RotateBitmapRight(turned);
        ASSERT_EQ(turned.ByteSize(), upright.ByteSize());
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(ColourAt(turned, x, y), ColourAt(upright, x, y)) << x << "," << y;
        Bitmap canvas;
        canvas.Allocate(30, 20, 32);
        ASSERT_TRUE(DrawFitted(image, canvas, 30, 20));
        EXPECT_EQ(ColourAt(canvas, 13 + 2, 9 + 1), ColourAt(upright, 2, 1));  // unscaled, centred
    }
}

}  // namespace
}  // namespace pelumir
