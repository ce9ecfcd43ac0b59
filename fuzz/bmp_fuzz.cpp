// The BMP loader on arbitrary bytes: a whole image in one of its three
// layouts, or failure with an empty bitmap; what it gives can be drawn.
#include <cstdint>
#include <cstdlib>

#include "FuzzCheck.h"
#include "platform/Bitmap.h"
#include "image/BmpLoader.h"
#include "viewer/StretchDraw.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Run-length files may claim far more pixels than they hold; big ones are
// legal but only slow here, so they are skipped unless the loader must
// refuse them outright.
bool BigCompressed(const uint8_t* d, size_t size) {
    if (size < 54 || Le32(d + 14) < 40) return false;
    const uint32_t compression = Le32(d + 30);
    if (compression != 1 && compression != 2) return false;
    const int64_t w = int32_t(Le32(d + 18)), h = int32_t(Le32(d + 22));
    const uint64_t pixels = uint64_t(std::llabs(w)) * uint64_t(std::llabs(h));
    return pixels > (uint64_t(1) << 22) && pixels <= pelumir::kMaxBitmapBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (BigCompressed(data, size)) return -1;
    pelumir::Bitmap out;
    out.Allocate(8, 8, 32);
    const bool ok = pelumir::DecodeBmp(data, size, out);
    if (!ok) {
        FUZZ_CHECK(out.Empty());
        return 0;
    }
    FUZZ_CHECK(!out.Empty());
    const int bits = out.BitsPerPixel();
    FUZZ_CHECK(bits == 1 || bits == 8 || bits == 32);
    FUZZ_CHECK(out.Format() == (bits == 1 ? pelumir::PixelFormat::Bit1
                                : bits == 8 ? pelumir::PixelFormat::Bit8
                                            : pelumir::PixelFormat::Bit32));
    pelumir::Bitmap canvas;
    canvas.Allocate(64, 48, 32);
    FUZZ_CHECK(pelumir::DrawFitted(out, canvas, 64, 48));
    return 0;
}
