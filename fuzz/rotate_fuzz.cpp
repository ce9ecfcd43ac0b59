// Quarter turns and the 32-bit conversion on bitmaps of every layout, size,
// palette and mask the input describes. Checked against independent
// answers: four turns give the source back, and turning commutes with the
// conversion.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

#include "FuzzCheck.h"
#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "viewer/BitmapUtils.h"
#include "viewer/StretchDraw.h"

namespace {

using pelumir::Bitmap;
using pelumir::PixelFormat;

const int kDepths[] = {1, 4, 8, 16, 24, 32, 2, 48};

Bitmap Describe(FuzzedDataProvider& in) {
    Bitmap b;
    const int bits = kDepths[in.ConsumeIntegralInRange<size_t>(0, std::size(kDepths) - 1)];
    // Mostly small, sometimes one long thin side.
    int w = in.ConsumeIntegralInRange(0, 40);
    int h = in.ConsumeIntegralInRange(0, 40);
    if (in.ConsumeBool()) (in.ConsumeBool() ? w : h) = in.ConsumeIntegralInRange(0, 700);
    b.Allocate(w, h, bits, Bitmap::Init::Zero);
    if (in.ConsumeBool()) {
        // Masks: the 5-6-5 layout, none, or whatever the input says.
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: b.SetMasks({0xF800, 0x07E0, 0x001F}); break;
        case 1: b.SetMasks({in.ConsumeIntegral<uint32_t>(), 0x07E0, in.ConsumeIntegral<uint32_t>()}); break;
        default:
            b.SetMasks({in.ConsumeIntegral<uint32_t>(), in.ConsumeIntegral<uint32_t>(), in.ConsumeIntegral<uint32_t>()});
        }
    }
    b.Palette().resize(in.ConsumeIntegralInRange<size_t>(0, 300));
    for (uint32_t& entry : b.Palette()) entry = in.ConsumeIntegral<uint32_t>();
    b.SetDevice(in.ConsumeBool());
    const std::vector<uint8_t> pixels = in.ConsumeRemainingBytes<uint8_t>();
    if (!pixels.empty())
        for (size_t i = 0; i < b.ByteSize(); ++i) b.Bits()[i] = pixels[i % pixels.size()];
    return b;
}

// Pixel (x, y) as its raw bits.
uint64_t RawPixel(const Bitmap& b, int x, int y) {
    const uint8_t* row = b.Row(y);
    const int bits = b.BitsPerPixel();
    if (bits < 8) {
        const size_t bit = size_t(x) * size_t(bits);
        return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    uint64_t v = 0;
    std::memcpy(&v, row + size_t(x) * size_t(bits / 8), size_t(bits / 8));
    return v;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (RawPixel(a, x, y) != RawPixel(b, x, y)) return false;
    return true;
}

bool Turnable(PixelFormat f) { return f != PixelFormat::Custom; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Bitmap source = Describe(in);
    const Bitmap original = source;

    Bitmap turned;
    try {
        turned = pelumir::RotateBitmapRight(source);
    } catch (const pelumir::ERotateError&) {
        FUZZ_CHECK(original.Empty());
        return 0;
    } catch (const pelumir::EInvalidGraphic&) {
        FUZZ_CHECK(!original.Empty());
        FUZZ_CHECK(source.Format() == PixelFormat::Custom);
        FUZZ_CHECK(SamePixels(source, original));
        return 0;
    }
    FUZZ_CHECK(!original.Empty() && Turnable(source.Format()));
    FUZZ_CHECK(SamePixels(source, original));
    FUZZ_CHECK(turned.Width() == original.Height() && turned.Height() == original.Width());
    FUZZ_CHECK(turned.Palette() == original.Palette());
    FUZZ_CHECK(turned.Format() == source.Format());
    // The top-left pixel lands at the top right.
    FUZZ_CHECK(RawPixel(turned, turned.Width() - 1, 0) == RawPixel(original, 0, 0));

    Bitmap back = turned;
    for (int i = 0; i < 3; ++i) back = pelumir::RotateBitmapRight(back);
    FUZZ_CHECK(SamePixels(back, source));

    // Converting then turning equals turning then converting.
    Bitmap a = source, b = turned;
    pelumir::ConvertToBit32(a);
    pelumir::ConvertToBit32(b);
    FUZZ_CHECK(a.Format() == PixelFormat::Bit32 && b.Format() == PixelFormat::Bit32);
    FUZZ_CHECK(SamePixels(pelumir::RotateBitmapRight(a), b));

    Bitmap canvas;
    canvas.Allocate(50, 30, 32);
    FUZZ_CHECK(pelumir::DrawFitted(b, canvas, 50, 30));
    return 0;
}
