#pragma once
// How a stored picture is to be turned for display, numbered as EXIF numbers
// it (tag 0x0112), so the value read from a file is the value used here.
#include <cstdint>

namespace pelumir {

enum class Orientation : uint8_t { Normal = 1, FlipX, Rotate180, FlipY, Transpose, Rotate90, Transverse, Rotate270 };

// Whether the picture shows with its width and height exchanged.
inline constexpr bool SwapsSides(Orientation o) { return uint8_t(o) >= uint8_t(Orientation::Transpose); }

// An EXIF value as an orientation; anything outside 1-8 is shown as stored.
inline constexpr Orientation OrientationFromExif(uint32_t value) {
    return value >= 1 && value <= 8 ? Orientation(value) : Orientation::Normal;
}

}  // namespace pelumir
