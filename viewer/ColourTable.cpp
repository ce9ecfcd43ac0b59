#include "viewer/ColourTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <system_error>
#include <thread>

namespace pelumir {

namespace {

// NaN and every other value outside 0-1 end inside it; written so each
// comparison becomes one instruction, not a branch.
inline float Unit(float v) {
    const float above = v > 0.0f ? v : 0.0f;
    return above < 1.0f ? above : 1.0f;
}

struct Head {
    uint32_t magic;
    uint32_t mode;
    uint32_t gridFloats;
};
constexpr uint32_t kMagic = 0x4c4f4350;  // "PCOL"

}  // namespace

#if defined(__SSE2__)
// Each coded value's share of the screen's three channels of light, one
// table per channel of the picture: a pixel's light is three loads and two
// additions, its three channels side by side, with no branch.
struct ColourTable::Shares {
    alignas(16) float of[3][256][4];  // picture channel R G B, value: screen R G B, 0

    // The screen's curves; one table for all three when they are the same
    // (as sRGB's are), so fewer lines of cache are touched.
    const uint8_t* out[3];

    explicit Shares(const ColourTable& t) {
        for (int c = 0; c < 3; ++c) out[c] = t.out[size_t(c)].data();
        for (int c = 1; c < 3; ++c)
            if (t.out[size_t(c)] == t.out[0]) out[c] = out[0];
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v) {
                const float light = t.in[size_t(c)][size_t(v)];
                for (int k = 0; k < 3; ++k) of[c][v][k] = t.matrix[size_t(k * 3 + c)] * light;
                of[c][v][3] = 0;
            }
    }
    void Turn(uint8_t* p, size_t count, int bytesPerPixel) const {
        const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), steps = _mm_set1_ps(float(kOutSteps - 1));
        for (size_t i = 0; i < count; ++i, p += bytesPerPixel) {
            __m128 light = _mm_add_ps(_mm_add_ps(_mm_load_ps(of[0][p[2]]), _mm_load_ps(of[1][p[1]])), _mm_load_ps(of[2][p[0]]));
            light = _mm_min_ps(_mm_max_ps(light, zero), one);  // NaN goes to 0
            alignas(16) int32_t step[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(step), _mm_cvtps_epi32(_mm_mul_ps(_mm_sqrt_ps(light), steps)));
            p[2] = out[0][step[0]];
            p[1] = out[1][step[1]];
            p[0] = out[2][step[2]];
        }
    }
};
#endif

int ColourTable::OutStep(float light) { return int(std::sqrt(Unit(light)) * float(kOutSteps - 1) + 0.5f); }

void ColourTable::ApplyRow(uint8_t* p, size_t count, int bytesPerPixel) const {
    // Tables are by channel R G B; pixels are stored B G R.
    const auto& inR = in[0];
    const auto& inG = in[1];
    const auto& inB = in[2];
    auto put = [&](uint8_t* px, float r, float g, float b) {
        px[2] = out[0][OutStep(r)];
        px[1] = out[1][OutStep(g)];
        px[0] = out[2][OutStep(b)];
    };
    if (mode == Mode::Matrix) {
#if defined(__SSE2__)
        std::make_unique<Shares>(*this)->Turn(p, count, bytesPerPixel);
#else
        const std::array<float, 9>& m = matrix;
        for (size_t i = 0; i < count; ++i, p += bytesPerPixel) {
            const float r = inR[p[2]], g = inG[p[1]], b = inB[p[0]];
            put(p, m[0] * r + m[1] * g + m[2] * b, m[3] * r + m[4] * g + m[5] * b, m[6] * r + m[7] * g + m[8] * b);
        }
#endif
        return;
    }
    constexpr int N = kGridSide;
    if (grid.size() != size_t(N) * N * N * 3) return;
    const float* G = grid.data();
    constexpr size_t sr = size_t(N) * N * 3, sg = size_t(N) * 3, sb = 3;
    for (size_t i = 0; i < count; ++i, p += bytesPerPixel) {
        // Tetrahedral interpolation: the cube around the pixel is cut into
        // six tetrahedra along its diagonal, and the one holding it used.
        const float fr = Unit(inR[p[2]]) * (N - 1), fg = Unit(inG[p[1]]) * (N - 1), fb = Unit(inB[p[0]]) * (N - 1);
        const int ir = std::min(int(fr), N - 2), ig = std::min(int(fg), N - 2), ib = std::min(int(fb), N - 2);
        const float x = fr - float(ir), y = fg - float(ig), z = fb - float(ib);
        const float* c0 = G + size_t(ir) * sr + size_t(ig) * sg + size_t(ib) * sb;
        size_t s1, s2;  // the tetrahedron's second and third corners
        float a, b, c;  // the largest, middle and smallest fraction
        if (x >= y) {
            if (y >= z) s1 = sr, s2 = sr + sg, a = x, b = y, c = z;
            else if (x >= z) s1 = sr, s2 = sr + sb, a = x, b = z, c = y;
            else s1 = sb, s2 = sr + sb, a = z, b = x, c = y;
        } else {
            if (x >= z) s1 = sg, s2 = sr + sg, a = y, b = x, c = z;
            else if (y >= z) s1 = sg, s2 = sg + sb, a = y, b = z, c = x;
            else s1 = sb, s2 = sg + sb, a = z, b = y, c = x;
        }
        const float* c1 = c0 + s1;
        const float* c2 = c0 + s2;
        const float* c3 = c0 + sr + sg + sb;
        float v[3];
        for (int k = 0; k < 3; ++k) v[k] = c0[k] + a * (c1[k] - c0[k]) + b * (c2[k] - c1[k]) + c * (c3[k] - c2[k]);
        put(p, v[0], v[1], v[2]);
    }
}

void ColourTable::Apply(Bitmap& bitmap, int left, int top, int right, int bottom) const {
    const int bpp = bitmap.BitsPerPixel();
    if (bpp != 24 && bpp != 32) return;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, bitmap.Width());
    bottom = std::min(bottom, bitmap.Height());
    if (left >= right || top >= bottom) return;
#if defined(__SSE2__)
    std::unique_ptr<Shares> shares;
    if (mode == Mode::Matrix) shares = std::make_unique<Shares>(*this);
#endif
    const auto rows = [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            uint8_t* p = bitmap.Row(y) + size_t(left) * (bpp / 8);
#if defined(__SSE2__)
            if (shares != nullptr) {
                shares->Turn(p, size_t(right - left), bpp / 8);
                continue;
            }
#endif
            ApplyRow(p, size_t(right - left), bpp / 8);
        }
    };
    // A screenful takes milliseconds: the other core, idle while a picture
    // is waited for, takes half.
    if (int64_t(right - left) * (bottom - top) < kHalvedFrom) return rows(top, bottom);
    const int middle = top + (bottom - top) / 2;
    std::thread other;
    try {
        other = std::thread(rows, middle, bottom);
    } catch (const std::system_error&) {
        return rows(top, bottom);  // no thread to be had: all here
    }
    rows(top, middle);
    other.join();
}

std::vector<uint8_t> ColourTable::Serialise() const {
    const Head head{kMagic, uint32_t(mode), uint32_t(grid.size())};
    std::vector<uint8_t> bytes(sizeof head + sizeof in + sizeof matrix + sizeof out + grid.size() * sizeof(float));
    uint8_t* p = bytes.data();
    auto put = [&](const void* from, size_t size) {
        std::memcpy(p, from, size);
        p += size;
    };
    put(&head, sizeof head);
    put(in.data(), sizeof in);
    put(matrix.data(), sizeof matrix);
    put(out.data(), sizeof out);
    if (!grid.empty()) put(grid.data(), grid.size() * sizeof(float));
    return bytes;
}

bool ColourTable::Deserialise(const uint8_t* bytes, size_t size) {
    grid.clear();
    mode = Mode::Grid;  // unusable until read: a grid of the wrong size turns nothing
    Head head{};
    const size_t fixed = sizeof head + sizeof in + sizeof matrix + sizeof out;
    if (bytes == nullptr || size < fixed) return false;
    std::memcpy(&head, bytes, sizeof head);
    const size_t gridFloats = size_t(kGridSide) * kGridSide * kGridSide * 3;
    const bool isMatrix = head.mode == uint32_t(Mode::Matrix) && head.gridFloats == 0;
    const bool isGrid = head.mode == uint32_t(Mode::Grid) && head.gridFloats == gridFloats;
    if (head.magic != kMagic || !(isMatrix || isGrid) || size != fixed + head.gridFloats * sizeof(float)) return false;
    const uint8_t* p = bytes + sizeof head;
    auto get = [&](void* to, size_t n) {
        std::memcpy(to, p, n);
        p += n;
    };
    get(in.data(), sizeof in);
    get(matrix.data(), sizeof matrix);
    get(out.data(), sizeof out);
    grid.resize(head.gridFloats);
    if (!grid.empty()) get(grid.data(), grid.size() * sizeof(float));
    mode = Mode(head.mode);
    return true;
}

}  // namespace pelumir
