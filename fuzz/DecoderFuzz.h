#pragma once
// The property every decoder's fuzz target checks: its bytes given to the
// library at once and in small pieces give the same picture or fail both
// ways, failure leaves an empty bitmap, and the picture can be fitted, as
// well row by row while it is decoded as afterwards. The decoder is the
// one the format table names.
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>

#include "FuzzCheck.h"
#include "image/Decoders.h"
#include "platform/Bitmap.h"
#include "viewer/StretchDraw.h"

inline pelumir::DecodeFn DecoderNamed(std::string_view name) {
    for (const pelumir::Format& format : pelumir::Formats())
        if (format.name == name) return pelumir::DecoderFor(format)->decode;
    std::abort();
}

// The bytes given in small pieces; the sink's refusal of a size, let
// through the decoder, a failure as the load takes it.
inline std::optional<pelumir::Decoded> InPieces(pelumir::DecodeFn decode, const uint8_t* data, size_t size,
                                                pelumir::RowSink& out) {
    pelumir::FileInput in({data, size}, true, 13);
    try {
        return decode(in, out);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

inline int CheckDecoder(std::string_view format, const uint8_t* data, size_t size) {
    const pelumir::DecodeFn decode = DecoderNamed(format);
    pelumir::Bitmap whole;
    pelumir::Orientation orientation;
    const bool ok = pelumir::DecodeWhole(decode, {data, size}, whole, &orientation);
    FUZZ_CHECK(ok != whole.Empty());

    pelumir::Bitmap pieces;
    pelumir::PictureSink sink(pieces);
    const std::optional<pelumir::Decoded> decoded = InPieces(decode, data, size, sink);
    FUZZ_CHECK(decoded.has_value() == ok);
    if (!ok) return 0;
    FUZZ_CHECK(decoded->orientation == orientation);
    FUZZ_CHECK(pieces.Width() == whole.Width() && pieces.Height() == whole.Height());
    for (int y = 0; y < whole.Height(); ++y)
        FUZZ_CHECK(std::memcmp(pieces.Row(y), whole.Row(y), size_t(whole.Width()) * 3) == 0);
    pelumir::Bitmap canvas;
    canvas.Allocate(64, 48, 32);
    FUZZ_CHECK(pelumir::DrawFitted(whole, canvas, 64, 48, orientation));
    // Fitted as it is decoded, into a frame smaller than most pictures: the
    // rows the frame never shows are let go, and it is the whole picture's.
    pelumir::Bitmap frame;
    frame.Allocate(16, 12, 32);
    pelumir::FittedSink fitted;
    fitted.Aim(frame, 16, 12);
    FUZZ_CHECK(InPieces(decode, data, size, fitted).has_value());
    canvas.Allocate(16, 12, 32);
    FUZZ_CHECK(pelumir::DrawFitted(whole, canvas, 16, 12, orientation));
    FUZZ_CHECK(std::memcmp(frame.Bits(), canvas.Bits(), canvas.ByteSize()) == 0);
    return 0;
}
