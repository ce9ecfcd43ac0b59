#include "image/Decoders.h"

#include <iterator>

#include "image/BmpLoader.h"
#include "image/GifLoader.h"
#include "image/HeifLoader.h"
#include "image/JpegLoader.h"
#include "image/JxlLoader.h"
#include "image/PngLoader.h"
#include "image/TiffLoader.h"
#include "image/WebpLoader.h"

namespace pelumir {

namespace {

template <class D>
std::unique_ptr<Decoder> Make() {
    return std::make_unique<D>();
}
std::unique_ptr<Decoder> MakeBmp() { return std::make_unique<WholeDecoder>(DecodeBmp); }

// In the order of the format table.
using MakeFn = std::unique_ptr<Decoder> (*)();
constexpr MakeFn kMakers[] = {Make<JpegDecoder>, MakeBmp,           Make<PngDecoder>,    Make<WebpDecoder>,
                              Make<GifDecoder>,  Make<TiffDecoder>, Make<JpegXlDecoder>, Make<HeifDecoder>};

}  // namespace

std::unique_ptr<Decoder> MakeDecoder(const Format& format) {
    const size_t index = size_t(&format - Formats().data());
    if (Formats().size() != std::size(kMakers) || index >= std::size(kMakers)) return nullptr;
    return kMakers[index]();
}

}  // namespace pelumir
