// The TIFF decoder on arbitrary bytes, at once and in small pieces: a whole
// picture, the same both ways, or failure with an empty bitmap.
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "DecoderFuzz.h"
#include "image/TiffLoader.h"
#include "platform/Bitmap.h"

namespace {

// Stops a decode at its size when the picture is large: legal, but only
// slow here. The size sits anywhere in the file, so the decoder finds it.
struct SizeOnly final : pelumir::RowSink {
    bool large = false;
    pelumir::Bitmap none;
    std::vector<uint32_t> palette;
    void Begin(int width, int height, int, pelumir::Orientation) override {
        large = uint64_t(width) * uint64_t(height) > (uint64_t(1) << 22);
        throw std::length_error("only the size was wanted");
    }
    std::vector<uint32_t>& Palette() override { return palette; }
    uint8_t* Row(int) override { return nullptr; }
    void RowsDone(int, int) override {}
    pelumir::Bitmap& Whole() override { return none; }
    void WholeDone(pelumir::Orientation) override {}
    void Abandon() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SizeOnly probe;
    pelumir::FileInput in({data, size});
    try {
        (void)pelumir::DecodeTiff(in, probe);
    } catch (const std::exception&) {
        // The probe's stop, or a size refused before it was asked: both failures.
    }
    if (probe.large) return -1;
    return CheckDecoder("TIFF", data, size);
}
