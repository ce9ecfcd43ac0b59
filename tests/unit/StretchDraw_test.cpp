#include "viewer/StretchDraw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "platform/Exception.h"

namespace pelumir {
namespace {

FitRect Fit1024x768(int64_t w, int64_t h) { return ComputeFittedRect(w, h, 1024, 768); }

TEST(StretchDraw, FitsTheExamplesOfA1024x768Window) {
    // Smaller pictures are centred unscaled, the odd margin pixel right and bottom.
    EXPECT_EQ(Fit1024x768(800, 600), (FitRect{112, 84, 912, 684}));
    EXPECT_EQ(Fit1024x768(640, 480), (FitRect{192, 144, 832, 624}));
    EXPECT_EQ(Fit1024x768(1023, 767), (FitRect{0, 0, 1023, 767}));
    // Relatively wider, taller, and the same aspect.
    EXPECT_EQ(Fit1024x768(2000, 1000), (FitRect{0, 128, 1024, 640}));
    EXPECT_EQ(Fit1024x768(1000, 2000), (FitRect{320, 0, 704, 768}));
    EXPECT_EQ(Fit1024x768(2048, 1536), (FitRect{0, 0, 1024, 768}));
    // 682.67 rows truncate to 682.
    EXPECT_EQ(Fit1024x768(3000, 2000), (FitRect{0, 43, 1024, 725}));
    // As wide as the window: not strictly smaller, so scaled, yet unchanged.
    EXPECT_EQ(Fit1024x768(1024, 700), (FitRect{0, 34, 1024, 734}));
}

TEST(StretchDraw, FitsExtremeShapesAndAreas) {
    EXPECT_EQ(Fit1024x768(1, 10000), (FitRect{512, 0, 512, 768}));  // 0.0768 columns: nothing visible
    EXPECT_EQ(Fit1024x768(10000, 1), (FitRect{0, 384, 1024, 384}));
    EXPECT_EQ(Fit1024x768(100, 10000), (FitRect{508, 0, 515, 768}));
    EXPECT_EQ(ComputeFittedRect(6000, 4000, 1, 1), (FitRect{0, 0, 1, 0}));
    EXPECT_EQ(ComputeFittedRect(1, 1, 1, 1), (FitRect{0, 0, 1, 1}));
    // An empty picture or area has no rectangle rather than a division by zero.
    EXPECT_EQ(Fit1024x768(0, 600), FitRect{});
    EXPECT_EQ(Fit1024x768(800, 0), FitRect{});
    EXPECT_EQ(ComputeFittedRect(800, 600, 0, 0), FitRect{});
}

TEST(StretchDraw, LargeSizesDoNotOverflow) {
    EXPECT_EQ(ComputeFittedRect(65500, 65500, 1920, 1080), (FitRect{420, 0, 1500, 1080}));
    // gH * W and gW * H are past 2^31 here and must not wrap.
    EXPECT_EQ(ComputeFittedRect(4'000'000, 2'000'000, 1920, 1080), (FitRect{0, 60, 1920, 1020}));
    EXPECT_EQ(ComputeFittedRect(2'000'000, 4'000'000, 1920, 1080), (FitRect{690, 0, 1230, 1080}));
    const int64_t big = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(ComputeFittedRect(big, 1, 1920, 1080), (FitRect{0, 540, 1920, 540}));
    EXPECT_EQ(ComputeFittedRect(big, big - 1, big, big), (FitRect{0, 0, big, big - 1}));
    EXPECT_EQ(ComputeFittedRect(2, big, big, big), (FitRect{big / 2 - 1, 0, big / 2 + 1, big}));
}

// ---- drawing ----

Bitmap Canvas(int w, int h, uint8_t fill) {
    Bitmap canvas;
    canvas.Allocate(w, h, 32);
    std::memset(canvas.Bits(), fill, canvas.ByteSize());
    return canvas;
}

uint32_t CanvasPixel(const Bitmap& canvas, int x, int y) {
    uint32_t v;
    std::memcpy(&v, canvas.Row(y) + 4 * x, 4);
    return v;
}

// An independent reading of one source pixel as 0x00RRGGBB, straight from
// the layout's definition.
uint32_t ReferencePixel(const Bitmap& b, int x, int y) {
    const uint8_t* row = b.Row(y);
    auto pal = [&](unsigned i) { return i < b.Palette().size() ? b.Palette()[i] & 0xFFFFFF : 0u; };
    auto widen = [](uint32_t v, int bits) {  // top bits repeated into 8
        uint32_t r = 0;
        for (int i = 0; i < 8; ++i) r = (r << 1) | ((v >> (bits - 1 - i % bits)) & 1);
        return r;
    };
    switch (b.BitsPerPixel()) {
    case 1: return pal((row[x / 8] >> (7 - x % 8)) & 1);
    case 4: return pal(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
    case 8: return pal(row[x]);
    case 16: {
        const uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
        if (b.Format() == PixelFormat::Bit16)
            return widen(v >> 11, 5) << 16 | widen((v >> 5) & 63, 6) << 8 | widen(v & 31, 5);
        return widen((v >> 10) & 31, 5) << 16 | widen((v >> 5) & 31, 5) << 8 | widen(v & 31, 5);
    }
    case 24: return uint32_t(row[3 * x + 2]) << 16 | row[3 * x + 1] << 8 | row[3 * x];
    case 32: return uint32_t(row[4 * x + 2]) << 16 | row[4 * x + 1] << 8 | row[4 * x];
    }
    return 0xDEADBEEF;
}

// What the canvas must hold: black, and in the fitted rectangle the source
// pixel under the centre of each destination pixel.
void ExpectMatchesReference(const Bitmap& picture, const Bitmap& canvas, int W, int H) {
    const FitRect r = ComputeFittedRect(picture.Width(), picture.Height(), W, H);
    int mismatches = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            uint32_t expected = 0;
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
                const double cx = (x - r.left + 0.5) * picture.Width() / double(r.Width());
                const double cy = (y - r.top + 0.5) * picture.Height() / double(r.Height());
                expected = ReferencePixel(picture, int(cx), int(cy));
            }
            if (CanvasPixel(canvas, x, y) != expected && ++mismatches <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << CanvasPixel(canvas, x, y)
                              << ", expected " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Pseudo-random bytes, so every pixel differs from its neighbours.
Bitmap NoisePicture(int w, int h, int bpp, ColorMasks masks = {}) {
    Bitmap b;
    b.Allocate(w, h, bpp);
    b.SetMasks(masks);
    uint32_t state = 12345u + uint32_t(bpp);
    for (size_t i = 0; i < b.ByteSize(); ++i) {
        state = state * 1664525u + 1013904223u;
        b.Bits()[i] = uint8_t(state >> 24);
    }
    if (bpp <= 8) {
        for (int i = 0; i < (1 << bpp); ++i) b.Palette().push_back(0xFF000000u | uint32_t(i) * 0x010203u);
    }
    return b;
}

TEST(StretchDraw, SamplesEveryLayoutLikeTheReference) {
    struct Case {
        int bpp;
        ColorMasks masks;
        const char* name;
    };
    const Case cases[] = {
        {1, {}, "1-bit"},
        {4, {}, "4-bit"},
        {8, {}, "8-bit"},
        {16, {}, "5-5-5"},
        {16, {0xF800, 0x07E0, 0x001F}, "5-6-5"},
        {24, {}, "24-bit"},
        {32, {}, "32-bit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Odd sizes: shrinking by a non-integral factor, and an unscaled copy.
        const Bitmap shrunk = NoisePicture(333, 211, c.bpp, c.masks);
        Bitmap canvas = Canvas(120, 90, 0xAB);
        EXPECT_TRUE(DrawFitted(shrunk, canvas, 120, 90));
        ExpectMatchesReference(shrunk, canvas, 120, 90);

        const Bitmap small = NoisePicture(37, 13, c.bpp, c.masks);
        Bitmap canvas2 = Canvas(64, 48, 0xAB);
        EXPECT_TRUE(DrawFitted(small, canvas2, 64, 48));
        ExpectMatchesReference(small, canvas2, 64, 48);
    }
}

TEST(StretchDraw, ConvertsKnownColoursExactly) {
    Bitmap canvas = Canvas(2, 1, 0xAB);
    Bitmap rgb555;  // white and pure blue
    rgb555.Allocate(2, 1, 16);
    const uint8_t px555[] = {0xFF, 0x7F, 0x1F, 0x00};
    std::memcpy(rgb555.Row(0), px555, 4);
    DrawFitted(rgb555, canvas, 2, 1);
    EXPECT_EQ(CanvasPixel(canvas, 0, 0), 0x00FFFFFFu);
    EXPECT_EQ(CanvasPixel(canvas, 1, 0), 0x000000FFu);

    Bitmap rgb32;  // the reserved byte never reaches the canvas
    rgb32.Allocate(2, 1, 32);
    const uint8_t px32[] = {0x10, 0x20, 0x30, 0xFF, 0x01, 0x02, 0x03, 0x77};
    std::memcpy(rgb32.Row(0), px32, 8);
    DrawFitted(rgb32, canvas, 2, 1);
    EXPECT_EQ(CanvasPixel(canvas, 0, 0), 0x00302010u);
    EXPECT_EQ(CanvasPixel(canvas, 1, 0), 0x00030201u);

    Bitmap indexed;  // an index past the palette shows black
    indexed.Allocate(2, 1, 8);
    indexed.Palette() = {0x00123456};
    indexed.Row(0)[0] = 0;
    indexed.Row(0)[1] = 200;
    DrawFitted(indexed, canvas, 2, 1);
    EXPECT_EQ(CanvasPixel(canvas, 0, 0), 0x00123456u);
    EXPECT_EQ(CanvasPixel(canvas, 1, 0), 0u);
}

TEST(StretchDraw, FillsOnlyTheAreaAndCentres) {
    const Bitmap picture = NoisePicture(10, 4, 24);
    Bitmap canvas = Canvas(30, 20, 0xAB);
    EXPECT_TRUE(DrawFitted(picture, canvas, 21, 11));
    ExpectMatchesReference(picture, canvas, 21, 11);
    // Outside (0,0)-(W,H) the canvas is untouched.
    EXPECT_EQ(CanvasPixel(canvas, 21, 0), 0xABABABABu);
    EXPECT_EQ(CanvasPixel(canvas, 0, 11), 0xABABABABu);
}

TEST(StretchDraw, ThinPicturesAndTinyAreas) {
    // 1 x 10000 and 10000 x 1 into a 1024 x 768 area; then into one pixel.
    const Bitmap tall = NoisePicture(1, 10000, 32);
    const Bitmap wide = NoisePicture(10000, 1, 32);
    Bitmap canvas = Canvas(1024, 768, 0xAB);
    EXPECT_TRUE(DrawFitted(tall, canvas, 1024, 768));
    ExpectMatchesReference(tall, canvas, 1024, 768);
    EXPECT_TRUE(DrawFitted(wide, canvas, 1024, 768));
    ExpectMatchesReference(wide, canvas, 1024, 768);

    const Bitmap photo = NoisePicture(640, 480, 24);
    Bitmap one = Canvas(1, 1, 0xAB);
    EXPECT_TRUE(DrawFitted(photo, one, 1, 1));  // 1 x 0: only the black fill
    EXPECT_EQ(CanvasPixel(one, 0, 0), 0u);
    const Bitmap square = NoisePicture(640, 640, 24);
    EXPECT_TRUE(DrawFitted(square, one, 1, 1));
    EXPECT_EQ(CanvasPixel(one, 0, 0), ReferencePixel(square, 320, 320));
}

TEST(StretchDraw, EmptyPictureLeavesTheBlackFillAndFails) {
    Bitmap canvas = Canvas(8, 8, 0xAB);
    Bitmap empty;
    EXPECT_FALSE(DrawFitted(empty, canvas, 8, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(CanvasPixel(canvas, x, y), 0u);
}

TEST(StretchDraw, RefusesACanvasTooSmallForTheArea) {
    const Bitmap picture = NoisePicture(4, 4, 24);
    Bitmap canvas = Canvas(8, 8, 0xAB);
    EXPECT_THROW(DrawFitted(picture, canvas, 9, 8), EInvalidGraphic);
    Bitmap canvas24;
    canvas24.Allocate(8, 8, 24);
    EXPECT_THROW(DrawFitted(picture, canvas24, 8, 8), EInvalidGraphic);
}

}  // namespace
}  // namespace pelumir
