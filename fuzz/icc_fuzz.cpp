// Colour profiles on arbitrary bytes, as a picture's and as the screen's:
// a table is made or refused, never a crash, and any table turns pixels
// the same after crossing to the viewer as before.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "image/ColourTransform.h"
#include "viewer/ColourTable.h"

namespace {

void Check(const pelumir::ColourSource& source, std::span<const uint8_t> screen) {
    const auto table = pelumir::ColourTableFor(source, screen);
    if (table == nullptr) return;
    pelumir::Bitmap pixels;
    pixels.Allocate(256, 2, 32);
    for (int x = 0; x < 256; ++x) {
        uint8_t* p = pixels.Row(0) + 4 * x;
        p[0] = p[1] = p[2] = uint8_t(x);  // every grey, then every colour of a coarse cube
        uint8_t* q = pixels.Row(1) + 4 * x;
        q[0] = uint8_t((x & 3) * 85), q[1] = uint8_t((x >> 2 & 7) * 36), q[2] = uint8_t((x >> 5) * 36);
    }
    pelumir::Bitmap copy = pixels;
    table->Apply(pixels, 0, 0, 256, 2);
    pelumir::ColourTable crossed;
    const std::vector<uint8_t> bytes = table->Serialise();
    FUZZ_CHECK(crossed.Deserialise(bytes.data(), bytes.size()));
    crossed.Apply(copy, 0, 0, 256, 2);
    FUZZ_CHECK(std::equal(pixels.Bits(), pixels.Bits() + pixels.ByteSize(), copy.Bits()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pelumir::ColourSource picture;
    picture.icc.assign(data, data + size);
    Check(picture, {});
    Check({}, {data, size});
    return 0;
}
