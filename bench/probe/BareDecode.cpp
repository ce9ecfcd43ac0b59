#include "bench/probe/BareDecode.h"

#include <QImage>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>

namespace bench {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
};

// Rows one at a time into one row, as pngtopnm reads; an interlaced file
// needs the whole picture, whose passes libpng fills in. The only frame a
// libpng failure jumps to: everything it touches lives in the caller's.
bool ReadPng(PngRead* r, FILE* file) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    png_init_io(r->png, file);
    png_read_info(r->png, r->info);
    png_set_expand(r->png);
    png_set_scale_16(r->png);
    const int passes = png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);
    const size_t stride = png_get_rowbytes(r->png, r->info);
    const png_uint_32 height = png_get_image_height(r->png, r->info);
    if (passes > 1) {
        r->pixels.resize(stride * height);
        for (png_uint_32 y = 0; y < height; ++y) r->rows.push_back(r->pixels.data() + y * stride);
        png_read_image(r->png, r->rows.data());
    } else {
        r->pixels.resize(stride);
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(r->png, r->pixels.data(), nullptr);
    }
    png_read_end(r->png, nullptr);
    return true;
}

bool BarePng(FILE* file) {
    PngRead r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (r.png != nullptr) r.info = png_create_info_struct(r.png);
    const bool ok = r.info != nullptr && ReadPng(&r, file);
    png_destroy_read_struct(&r.png, r.info != nullptr ? &r.info : nullptr, nullptr);
    return ok;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool BareWebp(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadAll(path);
    int w = 0, h = 0;
    uint8_t* pixels = WebPDecodeBGR(bytes.data(), bytes.size(), &w, &h);
    WebPFree(pixels);
    return pixels != nullptr;
}

// The first picture's lines in the order they are stored, into one line.
bool BareGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) return false;
    bool ok = false;
    for (GifRecordType type; DGifGetRecordType(gif, &type) != GIF_ERROR && type != TERMINATE_RECORD_TYPE;) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) break;
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) break;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) == GIF_ERROR) break;
        std::vector<GifPixelType> line(size_t(gif->Image.Width));
        ok = true;
        for (int y = 0; ok && y < gif->Image.Height; ++y) ok = DGifGetLine(gif, line.data(), gif->Image.Width) == GIF_OK;
        break;
    }
    DGifCloseFile(gif, &error);
    return ok;
}

// Scanline by scanline, the reading every strip layout allows.
bool BareTiff(const std::string& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) return false;
    uint32_t height = 0;
    bool ok = !TIFFIsTiled(tiff) && TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    std::vector<uint8_t> line(size_t(TIFFScanlineSize64(tiff)));
    for (uint32_t y = 0; ok && y < height; ++y) ok = TIFFReadScanline(tiff, line.data(), y, 0) == 1;
    TIFFClose(tiff);
    return ok;
}

// The whole file at once into 8-bit RGB, on this thread, as djxl does it
// when told to use no others.
bool BareJxl(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadAll(path);
    const JxlDecoderPtr dec = JxlDecoderMake(nullptr);
    if (dec == nullptr || JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(dec.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return false;
    JxlDecoderCloseInput(dec.get());
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::vector<uint8_t> pixels;
    for (;;) {
        switch (JxlDecoderProcessInput(dec.get())) {
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            size_t size = 0;
            if (JxlDecoderImageOutBufferSize(dec.get(), &format, &size) != JXL_DEC_SUCCESS) return false;
            pixels.resize(size);
            if (JxlDecoderSetImageOutBuffer(dec.get(), &format, pixels.data(), size) != JXL_DEC_SUCCESS) return false;
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            return true;
        default:
            return false;
        }
    }
}

// The primary picture, whole, as heif-convert decodes it.
bool BareHeif(const std::string& path) {
    static const bool ready = heif_init(nullptr).code == heif_error_Ok;
    heif_context* heif = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    const bool ok = ready && heif_context_read_from_file(heif, path.c_str(), nullptr).code == heif_error_Ok &&
                    heif_context_get_primary_image_handle(heif, &handle).code == heif_error_Ok &&
                    heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code ==
                        heif_error_Ok;
    if (image != nullptr) heif_image_release(image);
    if (handle != nullptr) heif_image_handle_release(handle);
    heif_context_free(heif);
    return ok;
}

}  // namespace

bool BareDecode(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    uint8_t head[16] = {};
    if (file == nullptr || std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
    if (png_sig_cmp(head, 0, 8) == 0) {
        std::rewind(file.get());
        return BarePng(file.get());
    }
    file.reset();
    if (std::memcmp(head, "BM", 2) == 0) return !QImage(QString::fromStdString(path), "BMP").isNull();
    if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0) return BareWebp(path);
    if (std::memcmp(head, "GIF8", 4) == 0) return BareGif(path);
    if (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0) return BareTiff(path);
    if (std::memcmp(head + 4, "ftyp", 4) == 0) return BareHeif(path);
    const JxlSignature jxl = JxlSignatureCheck(head, sizeof head);
    if (jxl == JXL_SIG_CODESTREAM || jxl == JXL_SIG_CONTAINER) return BareJxl(path);
    return false;
}

}  // namespace bench
