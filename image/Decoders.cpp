#include "image/Decoders.h"

#include <algorithm>
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

// The bitmap reader makes whole pictures in layouts of its own (1-bit,
// palettes, masks), which the sink takes as they are.
std::optional<Decoded> DecodeBmpFile(FileInput& in, RowSink& out) {
    Bitmap& picture = out.Whole();
    if (!DecodeBmp(in.Bytes().data(), in.Bytes().size(), picture)) return std::nullopt;
    const Decoded decoded{picture.Width(), picture.Height(), Orientation::Normal, BmpColourProfile(in.Bytes())};
    out.WholeDone(decoded.orientation);
    return decoded;
}

// A row per format of the format table, found by its name.
constexpr FormatDecoder kDecoders[] = {
    {"JPEG", DecodeJpeg, true},
    {"BMP", DecodeBmpFile, false},
    {"PNG", DecodePng, false},
    {"WebP", DecodeWebp, false},
    {"GIF", DecodeGif, true},
    {"TIFF", DecodeTiff, false},
    {"JPEG XL", DecodeJxl, false},
    {"HEIF", DecodeHeif, false},
};

}  // namespace

const FormatDecoder* DecoderFor(const Format& format) {
    const auto found = std::find_if(std::begin(kDecoders), std::end(kDecoders),
                                    [&](const FormatDecoder& d) { return d.name == format.name; });
    return found == std::end(kDecoders) ? nullptr : found;
}

}  // namespace pelumir
