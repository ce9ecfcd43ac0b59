// The moving formats' frame sources on arbitrary bytes, under each
// format's name: a source that opens gives frames of its own size until
// they end, no more of them than the file has bytes, and the same number
// again after a rewind.
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "image/Animation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (std::string_view extension : {".gif", ".webp", ".png", ".jxl"}) {
        const auto source = pelumir::OpenAnimation({data, size}, extension);
        if (source == nullptr) continue;
        size_t frames[2] = {};
        int delay = 0;
        for (size_t& count : frames) {
            for (const pelumir::Bitmap* canvas; (canvas = source->Next(delay)) != nullptr; ++count) {
                FUZZ_CHECK(canvas->Width() == source->Width() && canvas->Height() == source->Height());
                FUZZ_CHECK(canvas->BitsPerPixel() == 32 && delay >= 20);
                FUZZ_CHECK(count < size);
            }
            if (!source->Rewind()) return 0;
        }
        FUZZ_CHECK(frames[0] == frames[1]);
    }
    return 0;
}
