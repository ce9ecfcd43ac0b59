#include "viewer/BmpLoader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelumir {
namespace {

// ---- fixtures: BMP files from hand-written headers ----

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

struct BmpSpec {
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top-down
    int bitCount = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    bool coreHeader = false;        // the 12-byte OS/2 header with 3-byte palette entries
};

// `rows` are the pixel rows top to bottom, each already padded to 32 bits;
// they are stored bottom-up unless the height is negative.
std::vector<uint8_t> MakeBmp(const BmpSpec& spec, const std::vector<std::vector<uint8_t>>& rows) {
    const uint32_t infoSize = spec.coreHeader ? 12 : 40;
    const uint32_t entry = spec.coreHeader ? 3 : 4;
    const uint32_t offBits = 14 + infoSize + uint32_t(spec.palette.size()) * entry;
    std::vector<uint8_t> bmp(offBits, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    Put32(bmp, 10, offBits);
    Put32(bmp, 14, infoSize);
    if (spec.coreHeader) {
        Put16(bmp, 18, uint32_t(spec.width));
        Put16(bmp, 20, uint32_t(spec.height));
        Put16(bmp, 22, 1);
        Put16(bmp, 24, uint32_t(spec.bitCount));
    } else {
        Put32(bmp, 18, uint32_t(spec.width));
        Put32(bmp, 22, uint32_t(spec.height));
        Put16(bmp, 26, 1);
        Put16(bmp, 28, uint32_t(spec.bitCount));
        Put32(bmp, 30, spec.compression);
        Put32(bmp, 46, uint32_t(spec.palette.size()));
    }
    for (size_t i = 0; i < spec.palette.size(); ++i) {
        const uint32_t c = spec.palette[i];
        bmp[14 + infoSize + i * entry] = uint8_t(c);
        bmp[14 + infoSize + i * entry + 1] = uint8_t(c >> 8);
        bmp[14 + infoSize + i * entry + 2] = uint8_t(c >> 16);
    }
    const bool topDown = spec.height < 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[topDown ? i : rows.size() - 1 - i];
        bmp.insert(bmp.end(), row.begin(), row.end());
    }
    Put32(bmp, 2, uint32_t(bmp.size()));
    return bmp;
}

// The colour a decoded pixel shows, 0xRRGGBB, whatever the layout.
uint32_t ColourAt(const Bitmap& b, int x, int y) {
    const uint8_t* row = b.Row(y);
    auto pal = [&](unsigned i) {
        EXPECT_LT(i, b.Palette().size());
        return i < b.Palette().size() ? b.Palette()[i] & 0xFFFFFF : 0xDEADBEEF;
    };
    switch (b.BitsPerPixel()) {
    case 1: return pal((row[x / 8] >> (7 - x % 8)) & 1);
    case 8: return pal(row[x]);
    case 32: return uint32_t(row[4 * x + 2]) << 16 | row[4 * x + 1] << 8 | row[4 * x];
    }
    ADD_FAILURE() << "unexpected layout " << b.BitsPerPixel();
    return 0;
}

bool Decode(const std::vector<uint8_t>& bytes, Bitmap& out) { return DecodeBmp(bytes.data(), bytes.size(), out); }

Bitmap Occupied() {
    Bitmap b;
    b.Allocate(16, 16, 32);
    return b;
}

// A 3 x 2 picture, wide enough to need row padding in every depth:
//   red   green  blue
//   white black  grey
const uint32_t kColours[2][3] = {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFFFFF, 0x000000, 0x808080}};

void ExpectTheSixColours(const Bitmap& b) {
    ASSERT_EQ(b.Width(), 3);
    ASSERT_EQ(b.Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(ColourAt(b, x, y), kColours[y][x]) << x << "," << y;
}

std::vector<std::vector<uint8_t>> IndexRows(int bits) {
    // Palette index i is kColours[i / 3][i % 3].
    std::vector<std::vector<uint8_t>> rows(2, std::vector<uint8_t>(4, 0));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const int index = 3 * y + x;
            if (bits == 8) rows[y][x] = uint8_t(index);
            else rows[y][x / 2] |= uint8_t(index << (x % 2 ? 0 : 4));
        }
    return rows;
}

std::vector<uint32_t> SixColourPalette(size_t entries) {
    std::vector<uint32_t> palette(entries, 0);
    for (int i = 0; i < 6; ++i) palette[size_t(i)] = kColours[i / 3][i % 3];
    return palette;
}

std::vector<std::vector<uint8_t>> TrueColourRows(int bits) {
    std::vector<std::vector<uint8_t>> rows;
    for (const auto& line : kColours) {
        std::vector<uint8_t> row;
        for (uint32_t c : line) {
            const uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
            if (bits == 16) {  // 5-5-5
                const uint16_t v = uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
                row.insert(row.end(), {uint8_t(v), uint8_t(v >> 8)});
            } else {
                row.insert(row.end(), {b, g, r});
                if (bits == 32) row.push_back(0);
            }
        }
        row.resize((row.size() + 3) / 4 * 4, 0);
        rows.push_back(row);
    }
    return rows;
}

// ---- decoding ----

TEST(BmpLoader, IndexedFilesKeepTheirPalette) {
    for (int bits : {4, 8}) {
        SCOPED_TRACE(bits);
        Bitmap out;
        ASSERT_TRUE(Decode(MakeBmp({3, 2, bits, 0, SixColourPalette(size_t(1) << bits)}, IndexRows(bits)), out));
        EXPECT_EQ(out.Format(), PixelFormat::Bit8);
        ExpectTheSixColours(out);
    }
}

TEST(BmpLoader, OneBitFilesStayOneBit) {
    // 10 pixels: black, white alternating, in a row padded to 4 bytes; the
    // palette is given white first, which Qt reorders.
    std::vector<std::vector<uint8_t>> rows = {{0x55, 0x40, 0, 0}, {0xAA, 0x80, 0, 0}};
    Bitmap out;
    ASSERT_TRUE(Decode(MakeBmp({10, 2, 1, 0, {0xFFFFFF, 0x000000}}, rows), out));
    EXPECT_EQ(out.Format(), PixelFormat::Bit1);
    ASSERT_EQ(out.Palette().size(), 2u);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(ColourAt(out, x, 0), x % 2 ? 0x000000u : 0xFFFFFFu) << x;
        EXPECT_EQ(ColourAt(out, x, 1), x % 2 ? 0xFFFFFFu : 0x000000u) << x;
    }
}

TEST(BmpLoader, TrueColourFilesBecome32Bit) {
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        Bitmap out;
        ASSERT_TRUE(Decode(MakeBmp({3, 2, bits}, TrueColourRows(bits)), out));
        EXPECT_EQ(out.Format(), PixelFormat::Bit32);
        ExpectTheSixColours(out);
    }
    // 5-5-5 keeps the top five bits of each channel.
    Bitmap out;
    ASSERT_TRUE(Decode(MakeBmp({3, 2, 16}, TrueColourRows(16)), out));
    EXPECT_EQ(out.Format(), PixelFormat::Bit32);
    EXPECT_EQ(ColourAt(out, 0, 0) & 0xF8F8F8, 0xF80000u);
    EXPECT_EQ(ColourAt(out, 2, 1) & 0xF8F8F8, 0x808080u);
}

TEST(BmpLoader, RowOrderAndHeaderVariants) {
    Bitmap out;
    ASSERT_TRUE(Decode(MakeBmp({3, -2, 24}, TrueColourRows(24)), out));  // top-down
    ExpectTheSixColours(out);
    BmpSpec core{3, 2, 24};
    core.coreHeader = true;
    ASSERT_TRUE(Decode(MakeBmp(core, TrueColourRows(24)), out));
    ExpectTheSixColours(out);
    // Run-length encoded 8-bit, stored as: three of index 2, end of line,
    // three of index 5, end of bitmap. The first run is the bottom row.
    const std::vector<std::vector<uint8_t>> rle = {{3, 5, 0, 1}, {3, 2, 0, 0}};
    ASSERT_TRUE(Decode(MakeBmp({3, 2, 8, 1, SixColourPalette(256)}, rle), out));
    EXPECT_EQ(ColourAt(out, 1, 1), kColours[0][2]);
    EXPECT_EQ(ColourAt(out, 1, 0), kColours[1][2]);
}

TEST(BmpLoader, ReusesTheBitmapsStorageForTheNextImage) {
    const std::vector<uint8_t> bmp = MakeBmp({3, 2, 24}, TrueColourRows(24));
    Bitmap out;
    ASSERT_TRUE(Decode(bmp, out));
    const uint8_t* first = out.Bits();
    ASSERT_TRUE(Decode(bmp, out));
    EXPECT_EQ(out.Bits(), first);
    ExpectTheSixColours(out);
}

TEST(BmpLoader, WhatIsNotAWholeBmpFails) {
    const std::vector<uint8_t> good = MakeBmp({3, 2, 24}, TrueColourRows(24));
    const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    std::vector<uint8_t> truncated = good;
    truncated.resize(good.size() - 3);  // the last row is short
    std::vector<uint8_t> badDepth = good;
    Put16(badDepth, 28, 7);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"jpeg data", jpeg},
        {"headers only", std::vector<uint8_t>(good.begin(), good.begin() + 54)},
        {"truncated rows", truncated},
        {"7 bits per pixel", badDepth},
        {"zero width", MakeBmp({0, 2, 24}, {})},
        {"zero height", MakeBmp({3, 0, 24}, {})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap out = Occupied();
        EXPECT_FALSE(Decode(c.bytes, out));
        EXPECT_TRUE(out.Empty());
    }
}

long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    return -1;
}

TEST(BmpLoader, AbsurdSizesFailWithoutTouchingMemory) {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5" << std::flush;  // resets the peak resident size
    if (!refs) GTEST_SKIP() << "peak memory cannot be reset here";
    const long before = StatusKiB("VmRSS:");
    // Headers only, with a few rows of data: the sizes alone must be refused.
    const std::vector<std::vector<uint8_t>> someRows(4, std::vector<uint8_t>(64, 0x7F));
    const std::vector<uint32_t> palette = SixColourPalette(256);
    // Run-length encoded files cannot be measured against the file size, so
    // only the bitmap's limit stops those.
    const BmpSpec specs[] = {
        {65535, 65535, 24},        {1, INT32_MAX, 24},      {1, INT32_MIN, 24},
        {INT32_MAX, 1, 32},        {65535, 65535, 8, 1, palette}, {46341, -46341, 8, 1, palette},
        {INT32_MAX, 2, 8, 1, palette},
    };
    for (const BmpSpec& spec : specs) {
        SCOPED_TRACE(std::to_string(spec.width) + " x " + std::to_string(spec.height));
        Bitmap out = Occupied();
        EXPECT_FALSE(Decode(MakeBmp(spec, someRows), out));
        EXPECT_TRUE(out.Empty());
    }
    EXPECT_LT(StatusKiB("VmHWM:") - before, 64 * 1024);
}

// ---- files ----

TEST(BmpLoader, LoadsFilesByTheirBytes) {
    std::string dir = (std::filesystem::temp_directory_path() / "pelumir-bmp-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::string path = dir + "/\x82\xa0.bmp";  // not valid UTF-8
    const std::vector<uint8_t> bmp = MakeBmp({3, 2, 24}, TrueColourRows(24));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));

    Bitmap out;
    EXPECT_TRUE(LoadBmpFile(path, out));
    ExpectTheSixColours(out);
    EXPECT_FALSE(LoadBmpFile(dir + "/missing.bmp", out));
    EXPECT_TRUE(out.Empty());
    EXPECT_FALSE(LoadBmpFile(dir, out));  // a folder
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pelumir
