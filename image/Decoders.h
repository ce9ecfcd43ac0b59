#pragma once
// The decoder of each format in the format table.
#include "image/Decoder.h"
#include "image/Formats.h"

namespace pelumir {

struct FormatDecoder {
    std::string_view name;  // the format's, as the format table names it
    DecodeFn decode;
    // Whether it can begin on the file's first bytes and read the rest
    // itself as it goes, holding only a piece at a time; otherwise it is
    // given the whole file.
    bool readsOn;
};

// The decoder of a row of Formats(); null for a format without one.
const FormatDecoder* DecoderFor(const Format& format);

}  // namespace pelumir
