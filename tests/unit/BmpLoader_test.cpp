#include "image/BmpLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <vector>

#include <sys/stat.h>

#include "tests/unit/ImageFixtures.h"
#include "tests/unit/PeakMemory.h"
#include "tests/unit/TempDir.h"
#include "viewer/BitmapUtils.h"
#include "image/ImageFile.h"
#include "viewer/StretchDraw.h"

namespace pelumir {
namespace {

// ---- fixtures, from hand-written headers ----

using Rows = std::vector<std::vector<uint8_t>>;

using testutil::BmpSpec;
using testutil::BuildBmpRows;

// A 3 x 2 picture, narrow enough that every depth pads its rows. Palette
// index i is the colour at (i % 3, i / 3).
const uint32_t kColours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};

Rows IndexRows(int bits) {
    Rows rows(2, std::vector<uint8_t>(4, 0));
    for (int i = 0; i < 6; ++i) {
        const int x = i % 3;
        if (bits == 8) rows[size_t(i / 3)][size_t(x)] = uint8_t(i);
        else rows[size_t(i / 3)][size_t(x / 2)] |= uint8_t(i << (x % 2 ? 0 : 4));  // high nibble first
    }
    return rows;
}

Rows TrueColourRows(int bits) {
    Rows rows(2);
    for (int i = 0; i < 6; ++i) {
        const uint32_t c = kColours[i];
        auto& row = rows[size_t(i / 3)];
        if (bits == 16) {  // 5-5-5
            const uint32_t v = (c >> 19 & 31) << 10 | (c >> 11 & 31) << 5 | (c >> 3 & 31);
            row.insert(row.end(), {uint8_t(v), uint8_t(v >> 8)});
        } else {
            row.insert(row.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
            if (bits == 32) row.push_back(0);
        }
    }
    for (auto& row : rows) row.resize((row.size() + 3) / 4 * 4, 0);
    return rows;
}

std::vector<uint32_t> Palette(size_t entries) {
    std::vector<uint32_t> palette(kColours, kColours + 6);
    palette.resize(entries, 0);
    return palette;
}

// The colour a decoded pixel shows, whatever the layout.
uint32_t ColourAt(const Bitmap& b, int x, int y) {
    const uint8_t* row = b.Row(y);
    if (b.BitsPerPixel() == 32) return uint32_t(row[4 * x + 2]) << 16 | row[4 * x + 1] << 8 | row[4 * x];
    const unsigned index = b.BitsPerPixel() == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
    EXPECT_LT(index, b.Palette().size());
    return index < b.Palette().size() ? b.Palette()[index] & 0xFFFFFF : 0xDEADBEEF;
}

void ExpectTheSixColours(const Bitmap& b) {
    ASSERT_EQ(b.Width(), 3);
    ASSERT_EQ(b.Height(), 2);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ColourAt(b, i % 3, i / 3) & 0xF8F8F8, kColours[i] & 0xF8F8F8) << i;
}

bool Decode(const std::vector<uint8_t>& bytes, Bitmap& out) { return DecodeBmp(bytes.data(), bytes.size(), out); }

// ---- tests ----

TEST(BmpLoader, EveryDepthMapsToItsLayout) {
    const struct {
        BmpSpec layout;
        Rows rows;
        PixelFormat format;
    } cases[] = {
        {{3, 2, 4, 40, 0, {}, Palette(16)}, IndexRows(4), PixelFormat::Bit8},
        {{3, 2, 8, 40, 0, {}, Palette(256)}, IndexRows(8), PixelFormat::Bit8},
        {{3, 2, 16}, TrueColourRows(16), PixelFormat::Bit32},
        {{3, 2, 24}, TrueColourRows(24), PixelFormat::Bit32},
        {{3, -2, 24}, TrueColourRows(24), PixelFormat::Bit32},
        {{3, 2, 24, 12}, TrueColourRows(24), PixelFormat::Bit32},
        {{3, 2, 32}, TrueColourRows(32), PixelFormat::Bit32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.layout.bits) + " bits, height " + std::to_string(c.layout.height));
        Bitmap out;
        ASSERT_TRUE(Decode(BuildBmpRows(c.layout, c.rows), out));
        EXPECT_EQ(out.Format(), c.format);
        ExpectTheSixColours(out);
    }
    // 1 bit stays 1 bit; the palette comes white first, and is reordered lighter colour first.
    Bitmap out;
    ASSERT_TRUE(Decode(BuildBmpRows({10, 2, 1, 40, 0, {}, {0xFFFFFF, 0}}, {{0x55, 0x40, 0, 0}, {0xAA, 0x80, 0, 0}}), out));
    EXPECT_EQ(out.Format(), PixelFormat::Bit1);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(ColourAt(out, x, 0), x % 2 ? 0u : 0xFFFFFFu) << x;
        EXPECT_EQ(ColourAt(out, x, 1), x % 2 ? 0xFFFFFFu : 0u) << x;
    }
    // Run-length 8-bit: three of index 4, end of line, three of index 2, end.
    ASSERT_TRUE(Decode(BuildBmpRows({3, 2, 8, 40, 1, {}, Palette(256)}, {{3, 2, 0, 1}, {3, 4, 0, 0}}), out));
    EXPECT_EQ(ColourAt(out, 1, 1), kColours[4]);  // the first run is the bottom row
    EXPECT_EQ(ColourAt(out, 1, 0), kColours[2]);
}

TEST(BmpLoader, WhatIsNotAWholeBmpFails) {
    const std::vector<uint8_t> good = BuildBmpRows({3, 2, 24}, TrueColourRows(24));
    std::vector<uint8_t> truncated = good, sevenBits = good;
    truncated.resize(good.size() - 3);  // a short last row would show stale memory
    sevenBits[28] = 7;
    const std::vector<uint8_t> broken[] = {
        {},
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0},  // JPEG data
        std::vector<uint8_t>(good.begin(), good.begin() + 54),
        truncated,
        sevenBits,
        BuildBmpRows({0, 2, 24}, {}),
        BuildBmpRows({3, 0, 24}, {}),
    };
    Bitmap out;
    for (const auto& bytes : broken) {
        ASSERT_TRUE(Decode(good, out));
        EXPECT_FALSE(Decode(bytes, out)) << &bytes - broken;
        EXPECT_TRUE(out.Empty());
    }
}

TEST(BmpLoader, AbsurdSizesFailBeforeTouchingMemory) {
    if (!testutil::ResetPeak()) GTEST_SKIP() << "the peak memory cannot be reset here";
    const long before = testutil::StatusKiB("VmRSS:");
    // Run-length files cannot be checked against the file size: only the
    // bitmap's limit stops those.
    const BmpSpec layouts[] = {
        {65535, 65535, 24}, {1, INT32_MAX, 24}, {1, INT32_MIN, 24}, {INT32_MAX, 1, 32},
        {65535, 65535, 8, 40, 1, {}, Palette(256)}, {46341, -46341, 8, 40, 1, {}, Palette(256)},
    };
    for (const BmpSpec& layout : layouts) {
        Bitmap out;
        EXPECT_FALSE(Decode(BuildBmpRows(layout, Rows(4, std::vector<uint8_t>(64, 0x7F))), out)) << layout.width << " x " << layout.height;
        EXPECT_TRUE(out.Empty());
    }
    EXPECT_LT(testutil::PeakRiseMiB(before), 64);
}

TEST(BmpLoader, PaletteIndexesPastTheTableShowBlack) {
    // Four colours; indexes 0 to 3 in the top row, far past them below.
    const std::vector<uint32_t> four = Palette(4);
    const Rows rows8 = {{0, 1, 3, 0}, {4, 200, 255, 0}};
    const Rows rows4 = {{0x01, 0x30, 0, 0}, {0x4F, 0x90, 0, 0}};
    for (int bits : {4, 8}) {
        SCOPED_TRACE(bits);
        Bitmap out;
        if (!Decode(BuildBmpRows({3, 2, bits, 40, 0, {}, four}, bits == 8 ? rows8 : rows4), out)) {
            EXPECT_TRUE(out.Empty());  // refusing the file would do as well
            continue;
        }
        Bitmap canvas;
        canvas.Allocate(3, 2, 32);
        ASSERT_TRUE(DrawFitted(out, canvas, 3, 2));
        EXPECT_EQ(ColourAt(canvas, 0, 0), kColours[0]);
        EXPECT_EQ(ColourAt(canvas, 2, 0), kColours[3]);
        // Whatever the table was padded with, no colour comes from past it.
        for (int x = 0; x < 3; ++x) {
            const uint32_t c = ColourAt(canvas, x, 1);
            EXPECT_TRUE(c == 0 || std::count(four.begin(), four.end(), c) == 1) << x << ": " << std::hex << c;
        }
        ConvertToBit32(out);
        for (int x = 0; x < 3; ++x) EXPECT_EQ(ColourAt(out, x, 1), ColourAt(canvas, x, 1)) << x;
    }
}

TEST(BmpLoader, RunLengthDataThatOverrunsStaysInsideTheImage) {
    // Pixel data of a 4 x 3 image. Escapes are 0 followed by 0 (end of
    // line), 1 (end of bitmap), 2 (move by x, y) or a count of literals.
    const struct {
        const char* name;
        uint32_t compression;
        std::vector<uint8_t> data;
    } cases[] = {
        {"run past the row", 1, {255, 1, 255, 2, 0, 1}},
        {"literals past the row", 1, {0, 9, 1, 2, 3, 4, 5, 1, 2, 3, 4, 0, 0, 1}},
        {"literals past the data", 1, {0, 200, 1, 2}},
        {"move past the right", 1, {0, 2, 250, 0, 3, 1, 0, 1}},
        {"move past the bottom", 1, {0, 2, 0, 250, 3, 1, 0, 1}},
        {"more lines than rows", 1, {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1}},
        {"no end of bitmap", 1, {4, 3}},
        {"escape cut short", 1, {4, 3, 0}},
        {"4-bit run past the row", 2, {255, 0x12, 255, 0x34, 0, 1}},
        {"4-bit odd literals past the data", 2, {0, 255, 0x12}},
        {"4-bit move past both ends", 2, {0, 2, 255, 255, 3, 0x11, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap out;
        ASSERT_TRUE(Decode(BuildBmpRows({3, 2, 24}, TrueColourRows(24)), out));
        if (Decode(BuildBmpRows({4, 3, c.compression == 1 ? 8 : 4, 40, c.compression, {}, Palette(6)}, {c.data}), out)) {
            ASSERT_EQ(out.Width(), 4);
            ASSERT_EQ(out.Height(), 3);
            // Only table colours, or the black of pixels no run reached.
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x) EXPECT_LT(out.Row(y)[x], 6) << x << "," << y;
        } else {
            EXPECT_TRUE(out.Empty());
        }
    }
}

TEST(BmpLoader, ImpossibleHeadersFail) {
    auto put32 = [](std::vector<uint8_t> bmp, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + size_t(i)] = uint8_t(v >> (8 * i));
        return bmp;
    };
    const std::vector<uint8_t> good = BuildBmpRows({3, 2, 24}, TrueColourRows(24));
    const std::vector<uint8_t> rle = BuildBmpRows({3, 2, 8, 40, 1, {}, Palette(8)}, {{3, 1, 0, 1}});
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"pixels start past the end", put32(good, 10, 0xFFFFFFF0u)},
        {"2^32 - 1 colours", put32(BuildBmpRows({3, 2, 8, 40, 0, {}, Palette(8)}, IndexRows(8)), 46, 0xFFFFFFFFu)},
        {"run-length data starting at the end", put32(rle, 10, uint32_t(rle.size()))},
        {"info header larger than the file", put32(good, 14, 0x7FFFFFFFu)},
        {"zero by zero", BuildBmpRows({0, 0, 8, 40, 0, {}, Palette(8)}, {})},
        {"no rows, run-length", BuildBmpRows({3, 0, 8, 40, 1, {}, Palette(8)}, {{0, 1}})},
    };
    Bitmap out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Decode(good, out));
        EXPECT_FALSE(Decode(c.bytes, out));
        EXPECT_TRUE(out.Empty());
    }
}

TEST(BmpLoader, LargeRunLengthClaimsCostOnlyWhatIsWritten) {
    if (!testutil::ResetPeak()) GTEST_SKIP() << "the peak memory cannot be reset here";
    const long before = testutil::StatusKiB("VmRSS:");
    // 20,000 x 20,000 is within the limit and legal: one short run, then
    // the end of the bitmap. The rest is background that nothing writes.
    Bitmap out;
    const bool ok = Decode(BuildBmpRows({20000, 20000, 8, 40, 1, {}, Palette(256)}, {{200, 3, 0, 1}}), out);
    EXPECT_LT(testutil::PeakRiseMiB(before), 64);
    if (!ok) return;
    EXPECT_EQ(out.Width(), 20000);
    EXPECT_EQ(out.Row(19999)[199], 3);
    EXPECT_EQ(out.Row(19999)[200], 0);
    EXPECT_EQ(out.Row(0)[0], 0);
}

TEST(BmpLoader, LoadsFilesByTheBytesOfTheirName) {
    const testutil::TempDir dir;
    const std::string path = dir / "\x82\xa0.BMP";  // Shift-JIS, not valid UTF-8
    const std::vector<uint8_t> bmp = BuildBmpRows({3, 2, 24}, TrueColourRows(24));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
    Bitmap out;
    FileBytes fileBytes;
    EXPECT_TRUE(LoadImageFile(path, fileBytes, out));
    const uint8_t* storage = out.Bits();
    EXPECT_TRUE(LoadImageFile(path, fileBytes, out));
    EXPECT_EQ(out.Bits(), storage);  // the next image of this size reuses the pixels
    ExpectTheSixColours(out);
    EXPECT_FALSE(LoadImageFile(dir / "missing.bmp", fileBytes, out));
    EXPECT_TRUE(out.Empty());
    EXPECT_FALSE(LoadImageFile(dir.path(), fileBytes, out));
    ASSERT_EQ(mkfifo((dir / "fifo.bmp").c_str(), 0600), 0);
    EXPECT_FALSE(LoadImageFile(dir / "fifo.bmp", fileBytes, out));  // opening it must not wait for a writer
}

}  // namespace
}  // namespace pelumir
