#pragma once
// What a picture says of its colours, as its decoder finds it: an embedded
// ICC profile, or a coded description (primaries and a transfer curve),
// or nothing, which is read as sRGB.
#include <array>
#include <cstdint>
#include <vector>

namespace pelumir {

struct ColourSource {
    // How coded values become light.
    enum class Transfer : uint8_t {
        Srgb,    // IEC 61966-2-1
        Gamma,   // value ^ gamma
        Linear,  // gamma 1
        Bt709,   // BT.709 / BT.601 / BT.2020 camera curve
        Pq,      // SMPTE ST 2084, absolute light up to 10000 cd/m2
        Hlg,     // ARIB STD-B67
    };
    // An embedded ICC profile; when present the description below is unused.
    std::vector<uint8_t> icc;
    // A coded description, when `described`: CIE xy of red, green, blue and
    // white, in that order, and the transfer curve.
    bool described = false;
    std::array<double, 8> xy{};
    Transfer transfer = Transfer::Srgb;
    double gamma = 2.2;  // the decoding exponent, for Transfer::Gamma

    // Whether the picture says nothing of its colours (shown as sRGB).
    bool Untagged() const { return icc.empty() && !described; }
    bool operator==(const ColourSource&) const = default;
};

// sRGB's (and BT.709's) primaries and D65 white.
inline constexpr std::array<double, 8> kSrgbPrimaries{0.640, 0.330, 0.300, 0.600, 0.150, 0.060, 0.3127, 0.3290};

}  // namespace pelumir
