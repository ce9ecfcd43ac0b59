#include "image/ColourSource.h"

#include <cmath>

namespace pelumir {

namespace {

// A profile smaller than its header and tag count cannot describe anything;
// one larger than this is no real profile (the largest device links and
// printer profiles stay well below it) and would only cost memory.
constexpr size_t kMinIccBytes = 132;
constexpr size_t kMaxIccBytes = size_t(4) << 20;

bool Within(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

// Twice the signed area of the triangle a, b, c in the xy plane.
double Area(const std::array<double, 8>& p) {
    return (p[2] - p[0]) * (p[5] - p[1]) - (p[4] - p[0]) * (p[3] - p[1]);
}

}  // namespace

bool IccSizeUsable(size_t bytes) { return bytes >= kMinIccBytes && bytes <= kMaxIccBytes; }

ColourSource IccColour(std::span<const uint8_t> profile) {
    ColourSource colour;
    if (IccSizeUsable(profile.size())) colour.icc.assign(profile.begin(), profile.end());
    return colour;
}

bool NearPrimaries(const std::array<double, 8>& a, const std::array<double, 8>& b, double tolerance) {
    for (size_t i = 0; i < a.size(); ++i)
        if (!(std::fabs(a[i] - b[i]) <= tolerance)) return false;
    return true;
}

ColourSource DescribedColour(const std::array<double, 8>& xy, ColourSource::Transfer transfer, double gamma) {
    using Transfer = ColourSource::Transfer;
    // Values no real picture has would only make a transform that ruins it.
    for (size_t i = 0; i < xy.size(); ++i)
        if (!Within(xy[i], 0, 1) || (i % 2 == 1 && xy[i] == 0)) return {};
    if (std::fabs(Area(xy)) < 1e-4) return {};
    if (transfer == Transfer::Gamma && !Within(gamma, 0.1, 10)) return {};
    // What untagged pictures are taken to be already: a transform would
    // change nothing but cost time.
    if (transfer == Transfer::Srgb && NearPrimaries(xy, kSrgbPrimaries, 0.001)) return {};
    ColourSource colour;
    colour.described = true;
    colour.xy = xy;
    colour.transfer = transfer;
    if (transfer == Transfer::Gamma) colour.gamma = gamma;
    return colour;
}

}  // namespace pelumir
