#include "image/Decoder.h"

#include <exception>

#include "image/ExifOrientation.h"
#include "platform/FileSystem.h"

namespace pelumir {

void PictureSink::Begin(int width, int height, int bitsPerPixel, Orientation) {
    out_->Allocate(width, height, bitsPerPixel, Bitmap::Init::Uninitialised);
    out_->SetDevice(false);
    out_->SetMasks({});
    out_->Palette().clear();
}

ptrdiff_t FileInput::ReadOn(uint8_t* to, size_t size) { return rest_ == nullptr ? 0 : rest_->ReadOn(to, size); }

Orientation FileInput::ExifOrientation() const {
    return followExif_ ? ReadExifOrientation(bytes_) : Orientation::Normal;
}

bool DecodeWhole(DecodeFn decode, std::span<const uint8_t> file, Bitmap& out, Orientation* orientation) {
    PictureSink sink(out);
    FileInput in(file);
    std::optional<Decoded> decoded;
    try {
        decoded = decode(in, sink);
    } catch (const std::exception&) {
        decoded.reset();  // the size was refused, or memory ran out
    }
    if (orientation != nullptr) *orientation = decoded ? decoded->orientation : Orientation::Normal;
    if (!decoded) out.Clear();
    return decoded.has_value();
}

}  // namespace pelumir
