#pragma once
// JPEG decoding through libjpeg: the only unit that includes jpeglib.h.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/StepDeadline.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Decodes the whole image at full size: 24-bit rows in DIB byte order (B, G, R),
// or an 8-bit palette bitmap of at most 236 colours for greyscale files.
// CMYK and YCCK files come out as 24-bit RGB. Warnings are ignored; any error
// returns false and leaves `out` empty. `out`'s storage is reused when it fits.
bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap& out);

// The same decode, done in small pieces that stop at a deadline and go on
// at the next call, so the work can run between a window's events. The
// result is DecodeJpeg's, byte for byte.
class JpegDecode {
public:
    enum class State { Working, Done, Failed };
    struct Context;  // the decoder's state, opaque outside the loader

    JpegDecode();
    ~JpegDecode();
    JpegDecode(const JpegDecode&) = delete;
    JpegDecode& operator=(const JpegDecode&) = delete;

    // Begins a decode of `size` bytes into `out`; the bytes and the bitmap
    // must stay put until it ends. `pieceBytes` is how much of the input
    // the library sees more at a time while it parses and, for progressive
    // files, gathers the scans; 0 gives it everything at once.
    void Start(const uint8_t* data, size_t size, Bitmap& out, size_t pieceBytes);
    // Works until the deadline has passed (at least one piece of work), or
    // to the end with kNoDeadline.
    State Step(StepDeadline deadline);
    // Drops a decode in progress; `out` is left as it is.
    void Cancel();

private:
    std::unique_ptr<Context> ctx_;
    State state_ = State::Failed;
};

}  // namespace pelumir
