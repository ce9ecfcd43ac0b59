// The WebP decoder on arbitrary bytes, at once and in small pieces: a whole
// picture, the same both ways, or failure with an empty bitmap.
#include <cstdint>

#include "DecoderFuzz.h"

#include <webp/decode.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Large canvases are legal but only slow here.
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) == VP8_STATUS_OK &&
        int64_t(features.width) * features.height > (int64_t(1) << 22))
        return -1;
    return CheckDecoder("WebP", data, size);
}
