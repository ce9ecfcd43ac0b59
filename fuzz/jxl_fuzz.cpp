// The JPEG XL decoder on arbitrary bytes, at once and in small pieces: a
// whole picture, the same both ways, or failure with an empty bitmap.
#include <cstdint>

#include "DecoderFuzz.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>

namespace {

// Whether the header names more than four million pixels: legal, but only
// slow here. Frames may be larger than the picture, so they count too.
bool Large(const uint8_t* data, size_t size) {
    JxlDecoderPtr dec = JxlDecoderMake(nullptr);
    if (dec == nullptr || JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS) return false;
    JxlDecoderSetInput(dec.get(), data, size);
    JxlDecoderCloseInput(dec.get());
    JxlBasicInfo info;
    return JxlDecoderProcessInput(dec.get()) == JXL_DEC_BASIC_INFO &&
           JxlDecoderGetBasicInfo(dec.get(), &info) == JXL_DEC_SUCCESS &&
           uint64_t(info.xsize) * info.ysize > (uint64_t(1) << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (Large(data, size)) return -1;
    return CheckDecoder("JPEG XL", data, size);
}
