#include "viewer/BitmapUtils.h"
#include "viewer/StretchDraw.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/ImageFixtures.h"

namespace pelumir {
namespace {

struct Layout {
    int bpp;
    ColorMasks masks;
};
const ColorMasks k565{0xF800, 0x07E0, 0x001F};
const Layout kLayouts[] = {{1, {}}, {4, {}}, {8, {}}, {16, {}}, {16, k565}, {24, {}}, {32, {}}};

Bitmap Make(int w, int h, Layout layout) {
    Bitmap b;
    b.SetMasks(layout.masks);
    b.Allocate(w, h, layout.bpp);
    return b;
}

// Pixel access straight from the layout table, independent of the code under test.
uint32_t Get(const Bitmap& b, int x, int y) {
    const int bpp = b.BitsPerPixel();
    const uint8_t* row = b.Row(y);
    if (bpp < 8) return (row[x * bpp / 8] >> (8 - bpp * (x % (8 / bpp) + 1))) & ((1u << bpp) - 1);
    uint32_t v = 0;
    for (int i = bpp / 8 - 1; i >= 0; --i) v = v << 8 | row[x * bpp / 8 + i];
    return v;
}

void Set(Bitmap& b, int x, int y, uint32_t v) {
    const int bpp = b.BitsPerPixel();
    uint8_t* row = b.Row(y);
    if (bpp < 8) {
        const int shift = 8 - bpp * (x % (8 / bpp) + 1);
        uint8_t& byte = row[x * bpp / 8];
        byte = uint8_t((byte & ~(((1u << bpp) - 1) << shift)) | v << shift);
        return;
    }
    for (int i = 0; i < bpp / 8; ++i) row[x * bpp / 8 + i] = uint8_t(v >> (8 * i));
}

Bitmap RandomBitmap(int w, int h, Layout layout, testutil::Noise& rng) {
    Bitmap b = Make(w, h, layout);
    if (layout.bpp <= 8) b.Palette().assign(size_t(1) << layout.bpp, 0);
    for (auto& entry : b.Palette()) entry = rng() & 0xFFFFFF;
    const uint32_t mask = layout.bpp == 32 ? 0xFFFFFFFF : (1u << layout.bpp) - 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) Set(b, x, y, rng() & mask);
    return b;
}

// The naive turn, a pixel at a time: row x, column h - 1 - y of the result.
Bitmap NaiveTurn(const Bitmap& s) {
    Bitmap d = Make(s.Height(), s.Width(), {s.BitsPerPixel(), s.Masks()});
    d.Palette() = s.Palette();
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) Set(d, s.Height() - 1 - y, x, Get(s, x, y));
    return d;
}

// Whole buffers, so the padding and the bits past each row's width count too.
void ExpectSame(const Bitmap& a, const Bitmap& b) {
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    ASSERT_EQ(a.BitsPerPixel(), b.BitsPerPixel());
    EXPECT_EQ(a.Masks(), b.Masks());
    EXPECT_EQ(a.Palette(), b.Palette());
    EXPECT_EQ(std::memcmp(a.Bits(), b.Bits(), a.ByteSize()), 0);
}

template <class E>
auto Fails(const char* message) {
    return testing::ThrowsMessage<E>(testing::StrEq(message));
}

TEST(BitmapUtils, TurnsClockwise) {
    // p q r over s t u gives rows s p, t q, u r.
    Bitmap s = Make(3, 2, {32, {}});
    for (int i = 0; i < 6; ++i) Set(s, i % 3, i / 3, 0x01010101u * uint32_t(i + 1));
    const Bitmap d = RotateBitmapRight(s);
    ASSERT_EQ(d.Width(), 2);
    ASSERT_EQ(d.Height(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Get(d, 0, row), Get(s, row, 1));
        EXPECT_EQ(Get(d, 1, row), Get(s, row, 0));
    }
    // 24 bits: each pixel's three bytes stay in their order.
    Bitmap s24 = Make(2, 1, {24, {}});
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
    std::memcpy(s24.Row(0), bytes, 6);
    const Bitmap d24 = RotateBitmapRight(s24);
    EXPECT_EQ(std::memcmp(d24.Row(0), bytes, 3), 0);
    EXPECT_EQ(std::memcmp(d24.Row(1), bytes + 3, 3), 0);
}

TEST(BitmapUtils, OneBitRowsReadBottomToTop) {
    testutil::Noise rng{5};
    Bitmap s = RandomBitmap(9, 3, {1, {}}, rng);
    const Bitmap d = RotateBitmapRight(s);
    ASSERT_EQ(d.Width(), 3);
    ASSERT_EQ(d.Height(), 9);
    EXPECT_EQ(d.Palette(), s.Palette());
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(d.Row(x)[0], Get(s, x, 2) << 7 | Get(s, x, 1) << 6 | Get(s, x, 0) << 5) << "row " << x;
}

TEST(BitmapUtils, BitsPastTheRowAreNeverWritten) {
    // All ones: whole-byte writes would leak ones past each result row.
    Bitmap ones1 = Make(9, 3, {1, {}}), ones4 = Make(5, 3, {4, {}});
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 9; ++x) Set(ones1, x, y, 1);
        for (int x = 0; x < 5; ++x) Set(ones4, x, y, 0xF);
    }
    const Bitmap d1 = RotateBitmapRight(ones1), d4 = RotateBitmapRight(ones4);
    const uint8_t row1[] = {0xE0, 0, 0, 0}, row4[] = {0xFF, 0xF0, 0, 0};
    for (int y = 0; y < 9; ++y) EXPECT_EQ(std::memcmp(d1.Row(y), row1, 4), 0) << "row " << y;
    for (int y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(d4.Row(y), row4, 4), 0) << "row " << y;
}

TEST(BitmapUtils, MatchesNaiveTurnInEveryLayout) {
    // Sizes around the copy's tiles and four-pixel blocks, odd ones for the nibbles.
    const int sizes[][2] = {{1, 1}, {1, 300}, {300, 1}, {5, 3}, {13, 7}, {129, 131}, {259, 6}, {7, 261}};
    testutil::Noise rng{7};
    for (const Layout& layout : kLayouts) {
        for (const auto& size : sizes) {
            SCOPED_TRACE(testing::Message() << layout.bpp << " bit " << size[0] << "x" << size[1]);
            Bitmap s = RandomBitmap(size[0], size[1], layout, rng);
            const Bitmap before = s;
            ExpectSame(RotateBitmapRight(s), NaiveTurn(s));
            ExpectSame(s, before);
        }
    }
}

TEST(BitmapUtils, FourTurnsRestoreTheSource) {
    testutil::Noise rng{11};
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(testing::Message() << layout.bpp << " bit");
        const Bitmap s = RandomBitmap(11, 5, layout, rng);
        Bitmap b = s;
        for (int turn = 0; turn < 4; ++turn) b = RotateBitmapRight(b);
        ExpectSame(b, s);
    }
}

TEST(BitmapUtils, RefusesEmptyAndCustomSources) {
    for (const auto& size : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        Bitmap s = Make(size.first, size.second, {32, {}});
        s.SetDevice(true);
        EXPECT_THAT([&] { RotateBitmapRight(s); }, Fails<ERotateError>("Bitmap Size Error"));
        EXPECT_TRUE(s.IsDevice());  // checked before anything is done to the source
    }
    const Layout custom[] = {{16, {0x7C00, 0x03E0, 0x001F}}, {32, {0xFF0000, 0xFF00, 0xFF}}, {2, {}}};
    for (const Layout& layout : custom) {
        Bitmap s = Make(3, 3, layout);
        EXPECT_THAT([&] { RotateBitmapRight(s); }, Fails<EInvalidGraphic>("画像フォーマットが不正です"));
        EXPECT_THAT([&] { ConvertToBit32(s); }, Fails<EInvalidGraphic>("画像フォーマットが不正です"));
        EXPECT_EQ(s.BitsPerPixel(), layout.bpp);
        EXPECT_EQ(s.Masks(), layout.masks);
    }
}

TEST(BitmapUtils, DeviceSourceIsConvertedInPlace) {
    testutil::Noise rng{3};
    Bitmap s = RandomBitmap(3, 2, {32, {}}, rng);
    const Bitmap plain = s;
    s.SetDevice(true);
    const Bitmap d = RotateBitmapRight(s);
    EXPECT_FALSE(s.IsDevice());
    EXPECT_FALSE(d.IsDevice());
    ExpectSame(s, plain);
    ExpectSame(d, NaiveTurn(plain));
}

TEST(BitmapUtils, ConvertToBit32ExpandsEveryLayout) {
    auto convert = [](Layout layout, uint32_t value, std::vector<uint32_t> palette = {}) {
        Bitmap b = Make(3, 1, layout);
        b.Palette() = palette;
        Set(b, 2, 0, value);
        ConvertToBit32(b);
        EXPECT_EQ(b.Format(), PixelFormat::Bit32);
        EXPECT_TRUE(b.Palette().empty());
        return Get(b, 2, 0);
    };
    const std::vector<uint32_t> palette{0x000000, 0x123456, 0xABCDEF};
    EXPECT_EQ(convert({1, {}}, 1, palette), 0x123456u);
    EXPECT_EQ(convert({4, {}}, 2, palette), 0xABCDEFu);
    EXPECT_EQ(convert({8, {}}, 2, palette), 0xABCDEFu);
    EXPECT_EQ(convert({8, {}}, 200, palette), 0u);  // past the colour table
    // 5-5-5 and 5-6-5, widened by repeating the top bits: 10000 -> 0x84, 01000 -> 0x42,
    // 100000 -> 0x82.
    EXPECT_EQ(convert({16, {}}, 0x7FFF), 0xFFFFFFu);
    EXPECT_EQ(convert({16, {}}, 0x4000 | 0x0100 | 0x0001), 0x844208u);
    EXPECT_EQ(convert({16, k565}, 0x8000 | 0x0400 | 0x001F), 0x8482FFu);
    EXPECT_EQ(convert({24, {}}, 0x00ABCDEF), 0xABCDEFu);

    Bitmap device = Make(2, 2, {32, {}});
    Set(device, 1, 1, 0x00ABCDEF);
    device.SetDevice(true);
    ConvertToBit32(device);
    EXPECT_FALSE(device.IsDevice());
    EXPECT_EQ(Get(device, 1, 1), 0xABCDEFu);

    Bitmap empty = Make(0, 3, {8, {}});
    ConvertToBit32(empty);
    EXPECT_EQ(empty.Format(), PixelFormat::Bit32);
}

// Rotation converts to 32 bits first, so a turned picture must show the
// colours the unturned one was drawn with, whatever its masks, gaps included.
TEST(BitmapUtils, ConversionReadsMasksAsTheFittingDoes) {
    const ColorMasks masks[] = {{}, k565, {0xD800, 0x07E0, 0x0015}, {0x0003, 0x07E0, 0xF000}};
    for (const ColorMasks& m : masks) {
        SCOPED_TRACE(m.red);
        Bitmap b = Make(17, 5, {16, m});
        uint32_t state = 99;
        for (size_t i = 0; i < b.ByteSize(); ++i) b.Bits()[i] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
        Bitmap drawn = Make(17, 5, {32, {}});
        ASSERT_TRUE(DrawFitted(b, drawn, 17, 5));
        ConvertToBit32(b);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 17; ++x) ASSERT_EQ(Get(b, x, y) & 0xFFFFFF, Get(drawn, x, y) & 0xFFFFFF) << x << "," << y;
    }
}

}  // namespace
}  // namespace pelumir
