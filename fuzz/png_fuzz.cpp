// The PNG decoder on arbitrary bytes, at once and in small pieces: a whole
// picture, the same both ways, or failure with an empty bitmap.
#include <cstdint>

#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return CheckDecoder("PNG", data, size);
}
