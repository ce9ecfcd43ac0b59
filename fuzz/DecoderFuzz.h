#pragma once
// The property every stepped decoder's fuzz target checks: decoded at once
// and in small pieces, the bytes give the same picture or fail both ways,
// failure leaves an empty bitmap, and the picture can be fitted.
#include <chrono>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "image/Decoder.h"
#include "platform/Bitmap.h"
#include "viewer/StretchDraw.h"

template <class StepDecoder>
int CheckWholeAndStepped(const uint8_t* data, size_t size) {
    pelumir::Bitmap whole;
    StepDecoder once;
    const bool ok = pelumir::DecodeWhole(once, {data, size}, whole);
    FUZZ_CHECK(ok != whole.Empty());

    pelumir::Bitmap stepped;
    pelumir::PictureSink sink(stepped);
    StepDecoder decoder;
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
