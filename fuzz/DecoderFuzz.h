#pragma once
// The property every stepped decoder's fuzz target checks: decoded at once
// and in small pieces, the bytes give the same picture or fail both ways,
// failure leaves an empty bitmap, and the picture can be fitted, as well
// row by row while it is decoded as afterwards.
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
    FUZZ_CHECK(pelumir::DrawFitted(whole, canvas, 64, 48, sink.PictureOrientation()));
    // Fitted as it is decoded, into a frame smaller than most pictures: the
    // rows the frame never shows are let go, and it is the whole picture's.
    pelumir::Bitmap frame;
    frame.Allocate(16, 12, 32);
    pelumir::FittedSink fitted;
    fitted.Aim(frame, 16, 12);
    StepDecoder third;
    third.Start({data, size}, fitted, 13);
    while ((state = third.Step(std::chrono::steady_clock::now())) == pelumir::Decoder::State::Working) {}
    FUZZ_CHECK(state == pelumir::Decoder::State::Done);
    canvas.Allocate(16, 12, 32);
    FUZZ_CHECK(pelumir::DrawFitted(whole, canvas, 16, 12, sink.PictureOrientation()));
    FUZZ_CHECK(std::memcmp(frame.Bits(), canvas.Bits(), canvas.ByteSize()) == 0);
    return 0;
}
