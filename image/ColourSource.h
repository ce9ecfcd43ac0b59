#pragma once
// What a picture says of its colours, as its decoder finds it: an embedded
// ICC profile, or a coded description (primaries and a transfer curve),
// or nothing, which is read as sRGB.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
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

// The profile a file embeds, as every decoder reports it: untagged when it
// is too small to be a profile or larger than 4 MiB.
ColourSource IccColour(std::span<const uint8_t> profile);
// The same rule, for a decoder that learns the size before the bytes.
bool IccSizeUsable(size_t bytes);

// A coded description, or untagged when its values are absurd (a
// coordinate outside 0..1, a flat triangle, a gamma outside 0.1..10) or
// when it says sRGB itself.
ColourSource DescribedColour(const std::array<double, 8>& xy, ColourSource::Transfer transfer, double gamma = 2.2);

// Whether every coordinate of `a` lies within `tolerance` of `b`'s.
bool NearPrimaries(const std::array<double, 8>& a, const std::array<double, 8>& b, double tolerance);

}  // namespace pelumir
