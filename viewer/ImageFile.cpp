#include "viewer/ImageFile.h"

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "viewer/BmpLoader.h"
#include "viewer/JpegLoader.h"

namespace pelumir {

bool HasBmpName(const std::string& path) { return LowerAscii(ExtractFileExt(path)) == ".bmp"; }

bool DecodeImage(const std::string& path, const uint8_t* data, size_t size, Bitmap& out) {
    if (DecodeJpeg(data, size, out)) return true;
    return HasBmpName(path) && DecodeBmp(data, size, out);
}

bool LoadImageFile(const std::string& path, std::vector<uint8_t>& fileBytes, Bitmap& out) {
    // No file larger than the largest bitmap can be a picture we show.
    if (!ReadFileBytes(path, fileBytes, kMaxBitmapBytes)) {
        out.Clear();
        return false;
    }
    return DecodeImage(path, fileBytes.data(), fileBytes.size(), out);
}

}  // namespace pelumir
