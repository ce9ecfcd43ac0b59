#pragma once
// Transparent pixels are shown on the viewer's black: one rule for every
// format that carries alpha.
#include <cstdint>

namespace pelumir {

// A row of B, G, R, A as B, G, R composed onto black.
inline void ComposeOnBlack(const uint8_t* bgra, uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, bgra += 4, bgr += 3) {
        const unsigned a = bgra[3];
        if (a == 255) {
            bgr[0] = bgra[0], bgr[1] = bgra[1], bgr[2] = bgra[2];
        } else {
            for (int c = 0; c < 3; ++c) bgr[c] = uint8_t((bgra[c] * a + 127) / 255);
        }
    }
}

}  // namespace pelumir
