#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "image/Orientation.h"
#include "viewer/BitmapUtils.h"
#include "viewer/StretchDraw.h"
#include "tests/unit/ImageFixtures.h"

namespace pelumir {
namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// 6 x 4 in quarters: red top left, green top right, blue bottom left, white bottom right.
Bitmap Quarters(int bits) {
    Bitmap b;
    b.Allocate(6, 4, bits);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const uint32_t c = y < 2 ? (x < 3 ? kRed : kGreen) : (x < 3 ? kBlue : kWhite);
            for (int i = 0; i < bits / 8; ++i) b.Row(y)[x * bits / 8 + i] = uint8_t(c >> 8 * i);
        }
    return b;
}

uint32_t Pixel(const Bitmap& b, int64_t x, int64_t y) {
    uint32_t v;
    std::memcpy(&v, b.Row(int(y)) + 4 * x, 4);
    return v & 0xFFFFFF;
}

struct Corners {
    uint32_t topLeft, topRight, bottomLeft, bottomRight;
    bool operator==(const Corners&) const = default;
};

Corners CornersOf(const Bitmap& b, const FitRect& r) {
    return {Pixel(b, r.left, r.top), Pixel(b, r.right - 1, r.top), Pixel(b, r.left, r.bottom - 1),
            Pixel(b, r.right - 1, r.bottom - 1)};
}

// Where each quarter shows under each tag, as the tag's meaning says.
const struct {
    Orientation o;
    Corners shown;
} kMeanings[] = {
    {Orientation::Normal, {kRed, kGreen, kBlue, kWhite}},     {Orientation::FlipX, {kGreen, kRed, kWhite, kBlue}},
    {Orientation::Rotate180, {kWhite, kBlue, kGreen, kRed}},  {Orientation::FlipY, {kBlue, kWhite, kRed, kGreen}},
    {Orientation::Transpose, {kRed, kBlue, kGreen, kWhite}},  {Orientation::Rotate90, {kBlue, kRed, kWhite, kGreen}},
    {Orientation::Transverse, {kWhite, kGreen, kBlue, kRed}}, {Orientation::Rotate270, {kGreen, kWhite, kRed, kBlue}},
};

TEST(Orientation, EachTagShowsThePictureAsItsMeaningSaysInTheFittedFrame) {
    const Bitmap picture = Quarters(24);
    Bitmap picture32 = picture;
    ConvertToBit32(picture32);
    for (const auto& m : kMeanings) {
        const bool turned = SwapsSides(m.o);
        for (int area : {64, 5}) {  // shown as stored, and shrunk
            SCOPED_TRACE("orientation " + std::to_string(int(m.o)) + " in " + std::to_string(area));
            Bitmap frame;
            frame.Allocate(area, area, 32);
            std::memset(frame.Bits(), 0x77, frame.ByteSize());
            ASSERT_TRUE(DrawFitted(picture, frame, area, area, m.o));
            const FitRect r = ComputeFittedRect(turned ? 4 : 6, turned ? 6 : 4, area, area);
            EXPECT_EQ(CornersOf(frame, r), m.shown);
            if (r.left > 0) {
                EXPECT_EQ(Pixel(frame, r.left - 1, r.top), 0u);
            }
            if (r.top > 0) {
                EXPECT_EQ(Pixel(frame, r.left, r.top - 1), 0u);
            }
            // The picture turned for good, as a turn in the show begins with.
            const Bitmap upright = TurnUpright(picture32, m.o);
            ASSERT_EQ(upright.Width(), turned ? 4 : 6);
            EXPECT_EQ(CornersOf(upright, {0, 0, upright.Width(), upright.Height()}), m.shown);
        }
    }
}

// Sampling through a tag gives the frame of the picture turned for good, at
// any size: the turned picture is the independent answer.
TEST(Orientation, SamplingThroughATagEqualsFittingThePictureTurnedForGood) {
    constexpr int W = 50, H = 40;
    for (const auto& size : {std::pair{7, 5}, {97, 31}, {31, 97}, {200, 199}, {1, 300}}) {
        Bitmap picture;
        picture.Allocate(size.first, size.second, 32);
        uint32_t state = 0x2545F491;
        for (size_t i = 0; i < picture.ByteSize(); ++i) picture.Bits()[i] = uint8_t(testutil::NextNoise(state));
        for (const auto& m : kMeanings) {
            SCOPED_TRACE(std::to_string(size.first) + " x " + std::to_string(size.second) + ", orientation " +
                         std::to_string(int(m.o)));
            Bitmap sampled, reference;
            sampled.Allocate(W, H, 32);
            reference.Allocate(W, H, 32);
            DrawFitted(picture, sampled, W, H, m.o);
            DrawFitted(TurnUpright(picture, m.o), reference, W, H);
            testutil::ExpectSameBitmap(sampled, reference);
        }
    }
}

}  // namespace
}  // namespace pelumir
