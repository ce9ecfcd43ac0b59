#pragma once
// JPEG decoding through libjpeg: the only unit that includes jpeglib.h.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/Decoder.h"
#include "platform/Bitmap.h"

namespace pelumir {

// Decodes the whole image at full size: 24-bit rows in DIB byte order (B, G, R),
// or an 8-bit palette bitmap of at most 236 colours for greyscale files.
// CMYK and YCCK files come out as 24-bit RGB. Warnings are ignored; any error
// returns false and leaves `out` empty. `out`'s storage is reused when it fits.
bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap& out);

// The same decode in small pieces that stop at a deadline and go on at the
// next call, so the work can run between a window's events. Its rows are
// DecodeJpeg's, byte for byte.
class JpegDecoder final : public Decoder {
public:
    struct Context;  // the decoder's state, opaque outside the loader

    JpegDecoder();
    ~JpegDecoder() override;
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // `pieceBytes` is how much of the input the library sees more at a time
    // while it parses and, for progressive files, gathers the scans.
    void Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) override;
    // Only the pieces the library is using are held, in a window of about
    // `pieceBytes`, whatever the file's size.
    bool ReadsOn() const override { return true; }
    void StartReadingOn(std::span<const uint8_t> head, FileReader& rest, RowSink& out, size_t pieceBytes) override;
    State Step(StepDeadline deadline) override;
    void Cancel() override;

private:
    void Begin(std::span<const uint8_t> file, FileReader* rest, RowSink& out, size_t pieceBytes);

    std::unique_ptr<Context> ctx_;
    State state_ = State::Failed;
    std::vector<uint8_t> window_;  // kept for the next file
};

}  // namespace pelumir
