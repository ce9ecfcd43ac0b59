// The HEIF and AVIF decoder on arbitrary bytes, at once and in small
// pieces: a whole picture, the same both ways, or failure with an empty
// bitmap.
#include <cstdint>

#include "DecoderFuzz.h"

#include <libheif/heif.h>

// The AV1 decoder libheif drives keeps a few bytes of some streams it
// refuses: the system library's leak, beyond our reach.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdav1d.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Large pictures are legal but only slow here.
    static const bool initialised = (heif_init(nullptr), true);
    (void)initialised;
    heif_context* ctx = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    bool large = false;
    if (heif_context_read_from_memory_without_copy(ctx, data, size, nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok) {
        large = int64_t(heif_image_handle_get_ispe_width(handle)) * heif_image_handle_get_ispe_height(handle) >
                (int64_t(1) << 22);
        heif_image_handle_release(handle);
    }
    heif_context_free(ctx);
    if (large) return -1;
    return CheckDecoder("HEIF", data, size);
}
