#include "viewer/StretchDraw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "platform/Exception.h"
#include "tests/unit/ImageFixtures.h"

namespace pelumir {
namespace {

TEST(StretchDraw, FitsTheExamplesOfA1024x768Window) {
    auto fit = [](int64_t w, int64_t h) { return ComputeFittedRect(w, h, 1024, 768); };
    EXPECT_EQ(fit(800, 600), (FitRect{112, 84, 912, 684}));
    EXPECT_EQ(fit(640, 480), (FitRect{192, 144, 832, 624}));
    EXPECT_EQ(fit(2000, 1000), (FitRect{0, 128, 1024, 640}));
    EXPECT_EQ(fit(1000, 2000), (FitRect{320, 0, 704, 768}));
    EXPECT_EQ(fit(2048, 1536), (FitRect{0, 0, 1024, 768}));
    EXPECT_EQ(fit(3000, 2000), (FitRect{0, 43, 1024, 725}));
    EXPECT_EQ(fit(1023, 767), (FitRect{0, 0, 1023, 767}));
    EXPECT_EQ(fit(1024, 700), (FitRect{0, 34, 1024, 734}));
    // Extreme shapes shrink to nothing across, never to a negative size.
    EXPECT_EQ(fit(1, 10000), (FitRect{512, 0, 512, 768}));
    EXPECT_EQ(fit(10000, 1), (FitRect{0, 384, 1024, 384}));
    EXPECT_EQ(fit(100, 10000), (FitRect{508, 0, 515, 768}));
}

TEST(StretchDraw, FitsTinyAreasAndHugeSizesWithoutOverflow) {
    EXPECT_EQ(ComputeFittedRect(6000, 4000, 1, 1), (FitRect{0, 0, 1, 0}));
    EXPECT_EQ(ComputeFittedRect(1, 1, 1, 1), (FitRect{0, 0, 1, 1}));
    EXPECT_EQ(ComputeFittedRect(0, 600, 1024, 768), FitRect{});  // no division by zero
    EXPECT_EQ(ComputeFittedRect(800, 600, 0, 0), FitRect{});
    // gH * W and gW * H are past 2^31 here and must not wrap.
    EXPECT_EQ(ComputeFittedRect(4'000'000, 2'000'000, 1920, 1080), (FitRect{0, 60, 1920, 1020}));
    EXPECT_EQ(ComputeFittedRect(2'000'000, 4'000'000, 1920, 1080), (FitRect{690, 0, 1230, 1080}));
    const int64_t big = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(ComputeFittedRect(big, big - 1, big, big), (FitRect{0, 0, big, big - 1}));
}

// The reserved fourth byte too: the fitting must leave 0 there.
uint32_t CanvasPixel(const Bitmap& canvas, int x, int y) {
    return testutil::FramePixel(canvas, x, y) | uint32_t(canvas.Row(y)[4 * x + 3]) << 24;
}

// One source pixel as 0x00RRGGBB, read straight from the layout's definition.
uint32_t ReferencePixel(const Bitmap& b, int x, int y) {
    const uint8_t* row = b.Row(y);
    auto pal = [&](unsigned i) { return i < b.Palette().size() ? b.Palette()[i] & 0xFFFFFF : 0u; };
    auto widen = [](uint32_t v, int bits) {  // a channel's bits repeated to fill 8
        uint32_t r = 0;
        for (int i = 0; i < 8; ++i) r = (r << 1) | ((v >> (bits - 1 - i % bits)) & 1);
        return r;
    };
    const uint32_t v16 = b.BitsPerPixel() == 16 ? uint32_t(row[2 * x] | row[2 * x + 1] << 8) : 0;
    switch (b.Format()) {
    case PixelFormat::Bit1: return pal((row[x / 8] >> (7 - x % 8)) & 1);
    case PixelFormat::Bit4: return pal(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
    case PixelFormat::Bit8: return pal(row[x]);
    case PixelFormat::Bit15: return widen(v16 >> 10 & 31, 5) << 16 | widen(v16 >> 5 & 31, 5) << 8 | widen(v16 & 31, 5);
    case PixelFormat::Bit16: return widen(v16 >> 11, 5) << 16 | widen(v16 >> 5 & 63, 6) << 8 | widen(v16 & 31, 5);
    case PixelFormat::Bit24: return uint32_t(row[3 * x + 2]) << 16 | row[3 * x + 1] << 8 | row[3 * x];
    case PixelFormat::Bit32: return uint32_t(row[4 * x + 2]) << 16 | row[4 * x + 1] << 8 | row[4 * x];
    default: return 0xDEADBEEF;
    }
}

// Black, and inside the fitted rectangle the source pixel under the centre
// of each destination pixel, worked out pixel by pixel in floating point.
void ExpectMatchesReference(const Bitmap& picture, const Bitmap& canvas, int W, int H) {
    const FitRect r = ComputeFittedRect(picture.Width(), picture.Height(), W, H);
    int mismatches = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint32_t expected = 0;
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                expected = ReferencePixel(picture, int((x - r.left + 0.5) * picture.Width() / double(r.Width())),
                                          int((y - r.top + 0.5) * picture.Height() / double(r.Height())));
            if (CanvasPixel(canvas, x, y) != expected && ++mismatches <= 3)
                ADD_FAILURE() << "at " << x << "," << y << ": " << std::hex << CanvasPixel(canvas, x, y) << " != " << expected;
        }
    EXPECT_EQ(mismatches, 0);
}

using testutil::NoiseBitmap;

Bitmap Canvas(int w, int h) {
    Bitmap canvas;
    canvas.Allocate(w, h, 32);
    std::memset(canvas.Bits(), 0xAB, canvas.ByteSize());
    return canvas;
}

TEST(StretchDraw, SamplesEveryLayoutLikeTheReference) {
    const struct {
        int bpp;
        ColorMasks masks;
    } layouts[] = {{1, {}}, {4, {}}, {8, {}}, {16, {}}, {16, {0xF800, 0x07E0, 0x001F}}, {24, {}}, {32, {}}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.bpp);
        // Shrunk by an odd factor, and copied unscaled into the middle.
        const Bitmap large = NoiseBitmap(333, 211, layout.bpp, layout.masks);
        Bitmap canvas = Canvas(120, 90);
        EXPECT_TRUE(DrawFitted(large, canvas, 120, 90));
        ExpectMatchesReference(large, canvas, 120, 90);
        const Bitmap small = NoiseBitmap(37, 13, layout.bpp, layout.masks);
        canvas = Canvas(120, 90);
        EXPECT_TRUE(DrawFitted(small, canvas, 64, 48));
        ExpectMatchesReference(small, canvas, 64, 48);
        EXPECT_EQ(CanvasPixel(canvas, 64, 0), 0xABABABABu);  // outside the area: untouched
    }
    // The widening keeps full channels full: 5-5-5 white is 0xFFFFFF.
    Bitmap white;
    white.Allocate(1, 1, 16);
    white.Row(0)[0] = 0xFF;
    white.Row(0)[1] = 0x7F;
    Bitmap one = Canvas(1, 1);
    DrawFitted(white, one, 1, 1);
    EXPECT_EQ(CanvasPixel(one, 0, 0), 0x00FFFFFFu);
}

// In bands, each told once finished and not touched after: the frame
// DrawFitted makes, for every orientation and a picture fitted or not.
TEST(StretchDraw, InBandsByteForByte) {
    for (const Bitmap& picture : {NoiseBitmap(333, 211, 24), NoiseBitmap(37, 13, 8), NoiseBitmap(90, 400, 32)})
        for (int tag = 1; tag <= 8; ++tag) {
            SCOPED_TRACE(std::to_string(picture.Width()) + " orientation " + std::to_string(tag));
            Bitmap want = Canvas(200, 150), got = Canvas(200, 150);
            DrawFitted(picture, want, 200, 150, Orientation(tag));
            int next = 0;
            DrawFittedInBands(picture, got, 200, 150, Orientation(tag), [&](int top, int rows) {
                EXPECT_EQ(top, next);
                // What is done stays done: spoilt, it would show below.
                for (int y = top; y < top + rows; ++y)
                    EXPECT_EQ(std::memcmp(got.Row(y), want.Row(y), got.Stride()), 0) << y;
                next = top + rows;
            });
            EXPECT_EQ(next, 150);
            EXPECT_EQ(std::memcmp(got.Bits(), want.Bits(), got.ByteSize()), 0);
        }
}

TEST(StretchDraw, ThinPicturesAndOnePixelAreas) {
    Bitmap canvas = Canvas(1024, 768);
    for (const Bitmap& thin : {NoiseBitmap(1, 10000, 32), NoiseBitmap(10000, 1, 24), NoiseBitmap(3, 5000, 8)}) {
        EXPECT_TRUE(DrawFitted(thin, canvas, 1024, 768));
        ExpectMatchesReference(thin, canvas, 1024, 768);
    }
    Bitmap one = Canvas(1, 1);
    const Bitmap square = NoiseBitmap(640, 640, 24);
    EXPECT_TRUE(DrawFitted(square, one, 1, 1));
    EXPECT_EQ(CanvasPixel(one, 0, 0), ReferencePixel(square, 320, 320));
    EXPECT_TRUE(DrawFitted(NoiseBitmap(640, 480, 24), one, 1, 1));  // fits as 1 x 0: only black
    EXPECT_EQ(CanvasPixel(one, 0, 0), 0u);
}

TEST(StretchDraw, EmptyPictureOrUnfitCanvas) {
    Bitmap canvas = Canvas(8, 8);
    EXPECT_FALSE(DrawFitted(Bitmap(), canvas, 8, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(CanvasPixel(canvas, x, y), 0u);
    // Writing past the canvas would corrupt memory: refused.
    EXPECT_THROW(DrawFitted(NoiseBitmap(4, 4, 24), canvas, 9, 8), EInvalidGraphic);
    Bitmap canvas16;
    canvas16.Allocate(8, 8, 16);
    EXPECT_THROW(DrawFitted(NoiseBitmap(4, 4, 24), canvas16, 8, 8), EInvalidGraphic);
}

}  // namespace
}  // namespace pelumir
