#pragma once
// Inputs that look like photographs to an entropy coder, made at bench time.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace bench {

// Smooth lighting, large shapes with hard edges, a mid-frequency texture and
// fine sensor noise: flat colour would make the decode unrealistically cheap.
class PhotoLikeRows {
public:
    PhotoLikeRows(int width, int height) : width_(width), height_(height) {
        uint32_t state = 0x2545F491;
        auto random = [&state] {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return state;
        };
        // Value noise summed over three octaves, tiled every 256 pixels.
        for (int octave = 0, cell = 64, amplitude = 40; octave < 3; ++octave, cell /= 4, amplitude /= 2) {
            const int n = kTile / cell + 1;
            std::vector<int> grid(size_t(n * n));
            for (int& g : grid) g = int(random() % uint32_t(2 * amplitude + 1)) - amplitude;
            for (int y = 0; y < kTile; ++y)
                for (int x = 0; x < kTile; ++x) {
                    const int gx = x / cell, gy = y / cell, fx = x % cell, fy = y % cell;
                    const int a = grid[size_t(gy * n + gx)], b = grid[size_t(gy * n + gx + 1)];
                    const int c = grid[size_t((gy + 1) * n + gx)], d = grid[size_t((gy + 1) * n + gx + 1)];
                    const int top = a * (cell - fx) + b * fx, bottom = c * (cell - fx) + d * fx;
                    texture_[size_t(y * kTile + x)] += (top * (cell - fy) + bottom * fy) / (cell * cell);
                }
        }
        noise_.resize(size_t(width) * 3 + 4096);
        for (auto& v : noise_) v = int8_t(int(random() % 25) - 12);
    }

    void Row(int y, uint8_t* rgb) const {
        const int shapeRow = y * 5 / height_;
        for (int x = 0; x < width_; ++x) {
            const int shape = ((x * 7 / width_) + shapeRow) % 4;
            const int light = 60 + 100 * x / width_ + 40 * y / height_;
            const int t = texture_[size_t((y % kTile) * kTile + (x % kTile))];
            const int8_t* n = &noise_[size_t(3 * x + (y * 97) % 4096)];
            const int base[3] = {light + kShapeTint[shape][0], light + kShapeTint[shape][1], light + kShapeTint[shape][2]};
            for (int c = 0; c < 3; ++c) rgb[3 * x + c] = uint8_t(std::clamp(base[c] + t + n[c], 0, 255));
        }
    }

private:
    static constexpr int kTile = 256;
    static constexpr int kShapeTint[4][3] = {{30, 0, -30}, {-20, 10, 40}, {0, 25, -10}, {-40, -35, -30}};
    int width_, height_;
    std::array<int, kTile * kTile> texture_{};
    std::vector<int8_t> noise_;
};

}  // namespace bench
