#pragma once
// A picture's colours turned into the screen's, as a table the decoder
// process builds from the two profiles and both processes apply to the
// pixels a frame shows: the frame the decoder fits, and the frames the
// viewer fits again when it turns a picture. Applying it parses nothing,
// and any content, however made, only gives other colours.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"

namespace pelumir {

struct ColourTable {
    // Steps the screen's curve is sampled at, evenly in the square root of
    // light: fine enough that even a pure gamma curve's steep start stays
    // within half a level.
    static constexpr int kOutSteps = 8192;
    // Grid points along each side of a table for profiles with no curves
    // and matrix to read.
    static constexpr int kGridSide = 33;

    enum class Mode : uint32_t { Matrix = 1, Grid = 2 };
    Mode mode = Mode::Matrix;
    // Each channel's (R, G, B) coded value in light the middle step takes.
    std::array<std::array<float, 256>, 3> in{};
    // Matrix: screen light = matrix x picture light, row by row.
    std::array<float, 9> matrix{};
    // Grid: kGridSide^3 points of three values each, red slowest, sampled
    // at in[c][v] = v / 255 and interpolated between them.
    std::vector<float> grid;
    // Each channel's screen light to its coded value: step i holds light
    // (i / (kOutSteps - 1))^2.
    std::array<std::array<uint8_t, kOutSteps>, 3> out{};

    // Areas of this many pixels or more are turned by two threads.
    static constexpr int64_t kHalvedFrom = 256 * 1024;

    // The step of the screen's curve that `light` (any value, NaN
    // included) falls on, and the light a step stands for.
    static int OutStep(float light);
    static double StepLight(int step) {
        const double root = double(step) / (kOutSteps - 1);
        return root * root;
    }

    // Turns the pixels of `area` (left, top, right, bottom; right and
    // bottom exclusive, clipped to the bitmap) of a 24- or 32-bit bitmap.
    void Apply(Bitmap& bitmap, int left, int top, int right, int bottom) const;
    // The same on `count` pixels of `bytesPerPixel` (3 or 4) bytes, B G R first.
    void ApplyRow(uint8_t* pixels, size_t count, int bytesPerPixel) const;

    // Its bytes for another process and back: a fixed head and the grid.
    std::vector<uint8_t> Serialise() const;
    // False, leaving the table unusable, when the bytes are not a table.
    bool Deserialise(const uint8_t* bytes, size_t size);

private:
    struct Shares;
};

}  // namespace pelumir
