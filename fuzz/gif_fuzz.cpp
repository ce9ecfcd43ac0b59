// The GIF decoder on arbitrary bytes, at once and in small pieces: a whole
// picture, the same both ways, or failure with an empty bitmap.
#include <cstdint>

#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Large canvases are legal but only slow here.
    if (size >= 10 && uint32_t(data[6] | data[7] << 8) * uint32_t(data[8] | data[9] << 8) > (uint32_t(1) << 22))
        return -1;
    return CheckDecoder("GIF", data, size);
}
