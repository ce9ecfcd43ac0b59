#pragma once
// One colour channel of a masked 16- or 32-bit pixel, shared by the fitting
// and the conversion to 32 bits so both read a picture the same way.
#include <cstdint>

#include "platform/Bitmap.h"

namespace pelumir {

// The layout of 16 bits per pixel that carries no masks.
inline constexpr ColorMasks kMasks555{0x7C00, 0x03E0, 0x001F};

// The channel is the lowest run of set bits in its mask (a mask with gaps
// reads only that run, never garbage), widened to 8 bits by repeating its
// top bits, so a full channel stays full (31 -> 255).
struct MaskChannel {
    int shift = 0;
    int bits = 0;

    explicit MaskChannel(uint32_t mask) {
        if (mask == 0) return;
        while (((mask >> shift) & 1) == 0) ++shift;
        while (bits < 32 - shift && ((mask >> (shift + bits)) & 1) != 0) ++bits;
    }
    uint32_t Extract(uint32_t pixel) const {
        if (bits == 0) return 0;
        const uint32_t v = (pixel >> shift) & (bits >= 32 ? ~0u : (1u << bits) - 1);
        if (bits >= 8) return v >> (bits - 8);
        uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
        return (out >> ((8 + bits - 1) / bits * bits - 8)) & 0xFF;
    }
};

}  // namespace pelumir
