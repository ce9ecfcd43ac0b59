#pragma once
// One colour channel of a masked 16- or 32-bit pixel, shared by the fitting
// and the conversion to 32 bits so both read a picture the same way.
#include <cstdint>

#include "platform/Bitmap.h"

namespace pelumir {

// The layout of 16 bits per pixel that carries no masks.
inline constexpr ColorMasks kMasks555{0x7C00, 0x03E0, 0x001F};
// The other two layouts every reader knows.
inline constexpr ColorMasks kMasks565{0xF800, 0x07E0, 0x001F};
inline constexpr ColorMasks kMasks888{0xFF0000, 0x00FF00, 0x0000FF};

// The channel is the lowest run of set bits in its mask (a mask with gaps
// reads only that run, never garbage). Both ways of widening it to 8 bits
// keep a full channel full (31 -> 255) and keep the top eight bits of a wide
// one; they differ only in the narrow values between.
struct MaskChannel {
    int shift = 0;
    int bits = 0;

    explicit MaskChannel(uint32_t mask) {
        if (mask == 0) return;
        while (((mask >> shift) & 1) == 0) ++shift;
        while (bits < 32 - shift && ((mask >> (shift + bits)) & 1) != 0) ++bits;
        if (bits < 8) reciprocal_ = (uint64_t(1) << 32) / Top() + 1;
    }
    // The run's own value, not widened.
    uint32_t Value(uint32_t pixel) const {
        return bits == 0 ? 0 : (pixel >> shift) & (bits >= 32 ? ~0u : (1u << bits) - 1);
    }
    // Repeats the run's bits: the rule the fitting and the conversions were
    // built on, which the screen's pixels must keep.
    uint32_t Extract(uint32_t pixel) const {
        if (bits == 0) return 0;
        const uint32_t v = Value(pixel);
        if (bits >= 8) return v >> (bits - 8);
        uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
        return (out >> ((8 + bits - 1) / bits * bits - 8)) & 0xFF;
    }
    // v * 255 / (2^bits - 1) rounded to the nearest, as image libraries read
    // a file's bit fields. A multiply by the reciprocal stands in for the
    // divide per pixel; the numerator stays below 2^15, where it is exact.
    uint8_t Scaled(uint32_t pixel) const {
        const uint32_t v = Value(pixel);
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        return uint8_t((uint64_t(v * 255 + Top() / 2) * reciprocal_) >> 32);
    }

private:
    uint32_t Top() const { return (1u << bits) - 1; }
    uint64_t reciprocal_ = 0;
};

}  // namespace pelumir
