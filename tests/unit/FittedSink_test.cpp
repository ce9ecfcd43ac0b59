#include "viewer/StretchDraw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "tests/unit/ImageFixtures.h"

namespace pelumir {
namespace {

// The rows handed over in batches of up to `batch`, as a decoder hands
// them; passing over the rows the sink does not want when `skip`. Returns
// how many rows were handed over.
int Stream(const Bitmap& picture, FittedSink& sink, int batch, bool skip, Orientation orientation) {
    sink.Begin(picture.Width(), picture.Height(), picture.BitsPerPixel(), orientation);
    sink.Palette() = picture.Palette();
    int handed = 0;
    for (int first = 0; first < picture.Height();) {
        if (skip && (first = sink.NextRowWanted(first)) >= picture.Height()) break;
        const int limit = std::min(batch, picture.Height() - first);
        int count = 1;
        while (count < limit && (!skip || sink.NextRowWanted(first + count) == first + count)) ++count;
        for (int y = first; y < first + count; ++y) std::memcpy(sink.Row(y), picture.Row(y), picture.Stride());
        sink.RowsDone(first, count);
        first += count;
        handed += count;
    }
    return handed;
}

TEST(FittedSink, RowsFittedAsTheyComeGiveTheFrameOfTheWholePicture) {
    constexpr int W = 64, H = 48;
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {63, 47}, {64, 48}, {65, 48}, {64, 49}, {65, 49}, {128, 96}, {129, 97},
                 {640, 47}, {47, 640}, {200, 150}, {1000, 3}, {3, 1000}, {64, 1}};
    FittedSink sink;
    // Frames of 32 bits, or of 24 bits with rows padded to 4 bytes.
    for (const auto& [bits, frameBits, frameW] : {std::tuple{1, 32, W}, {4, 24, W - 1}, {8, 32, W}, {16, 24, W - 1},
                                                 {24, 24, W - 1}, {24, 32, W}, {32, 24, W - 1}}) {
        for (const auto& size : sizes) {
            const Bitmap picture = testutil::NoiseBitmap(size.w, size.h, bits);
            // Turned or mirrored, the rows still come top to bottom as stored.
            for (int tag = 1; tag <= 8; ++tag) {
                const Orientation orientation = Orientation(tag);
                Bitmap whole;
                whole.Allocate(frameW, H, frameBits);
                std::memset(whole.Bits(), 0xAB, whole.ByteSize());
                DrawFitted(picture, whole, frameW, H, orientation);
                for (int batch : {1, 3, RowSink::kMaxBatch}) {
                    for (bool skip : {false, true}) {
                        SCOPED_TRACE(std::to_string(bits) + " bits into " + std::to_string(frameBits) + ", " + std::to_string(size.w) + " x " +
                                     std::to_string(size.h) + ", orientation " + std::to_string(tag) +
                                     ", in batches of " + std::to_string(batch) + (skip ? ", wanted rows only" : ""));
                        Bitmap frame;
                        frame.Allocate(frameW, H, frameBits);
                        std::memset(frame.Bits(), 0xCD, frame.ByteSize());  // what the frame held before
                        sink.Aim(frame, frameW, H);
                        const int handed = Stream(picture, sink, batch, skip, orientation);
                        testutil::ExpectSameBitmap(frame, whole);
                        // One row at most for each frame line.
                        if (skip) {
                            EXPECT_LE(handed, W);
                        }
                    }
                }
            }
        }
    }
    // A picture too large for any bitmap is refused before a row comes.
    Bitmap frame;
    frame.Allocate(W, H, 32);
    sink.Aim(frame, W, H);
    EXPECT_ANY_THROW(sink.Begin(65500, 65500, 24, Orientation::Normal));
}

}  // namespace
}  // namespace pelumir
