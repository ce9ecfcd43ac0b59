// The TIFF decoder on arbitrary bytes, at once and in small pieces: a whole
// picture, the same both ways, or failure with an empty bitmap.
#include <chrono>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "image/ExifOrientation.h"
#include "image/TiffLoader.h"
#include "platform/Bitmap.h"
#include "viewer/StretchDraw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The orientation is read from the same bytes before the pixels.
    (void)pelumir::ReadExifOrientation({data, size});
    pelumir::Bitmap whole;
    const bool ok = pelumir::DecodeTiff(data, size, whole);
    FUZZ_CHECK(ok != whole.Empty());

    pelumir::Bitmap stepped;
    pelumir::PictureSink sink(stepped);
    pelumir::TiffDecoder decoder;
    decoder.Start({data, size}, sink, 13);
    pelumir::Decoder::State state;
    while ((state = decoder.Step(std::chrono::steady_clock::now())) == pelumir::Decoder::State::Working) {}
    FUZZ_CHECK((state == pelumir::Decoder::State::Done) == ok);
    if (!ok) return 0;
    FUZZ_CHECK(stepped.Width() == whole.Width() && stepped.Height() == whole.Height());
    for (int y = 0; y < whole.Height(); ++y)
        FUZZ_CHECK(std::memcmp(stepped.Row(y), whole.Row(y), size_t(whole.Width()) * 3) == 0);
    pelumir::Bitmap canvas;
    canvas.Allocate(64, 48, 32);
    FUZZ_CHECK(pelumir::DrawFitted(whole, canvas, 64, 48));
    return 0;
}
