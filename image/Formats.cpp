#include "image/Formats.h"

#include <algorithm>
#include <string>

#include "image/BmpLoader.h"
#include "image/JpegLoader.h"
#include "image/JxlLoader.h"
#include "image/PngLoader.h"
#include "image/GifLoader.h"
#include "image/HeifLoader.h"
#include "image/TiffLoader.h"
#include "image/WebpLoader.h"
#include "platform/Path.h"

namespace pelumir {

namespace {

bool StartsWith(std::span<const uint8_t> head, std::initializer_list<uint8_t> magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

bool SniffJpeg(std::span<const uint8_t> head) { return StartsWith(head, {0xFF, 0xD8}); }
bool SniffBmp(std::span<const uint8_t> head) { return StartsWith(head, {'B', 'M'}); }

std::unique_ptr<Decoder> MakeJpeg() { return std::make_unique<JpegDecoder>(); }
std::unique_ptr<Decoder> MakeBmp() { return std::make_unique<WholeDecoder>(DecodeBmp); }
std::unique_ptr<Decoder> MakePng() { return std::make_unique<PngDecoder>(); }
std::unique_ptr<Decoder> MakeWebp() { return std::make_unique<WebpDecoder>(); }
std::unique_ptr<Decoder> MakeGif() { return std::make_unique<GifDecoder>(); }
std::unique_ptr<Decoder> MakeTiff() { return std::make_unique<TiffDecoder>(); }
std::unique_ptr<Decoder> MakeJxl() { return std::make_unique<JpegXlDecoder>(); }
std::unique_ptr<Decoder> MakeHeif() { return std::make_unique<HeifDecoder>(); }

constexpr std::string_view kJpegExtensions[] = {".jpg"};
constexpr std::string_view kJpegOtherExtensions[] = {".jpeg", ".jpe", ".jfif"};
constexpr std::string_view kBmpExtensions[] = {".bmp"};
constexpr std::string_view kBmpOtherExtensions[] = {".dib"};
constexpr std::string_view kPngExtensions[] = {".png"};
constexpr std::string_view kWebpExtensions[] = {".webp"};
constexpr std::string_view kGifExtensions[] = {".gif"};
constexpr std::string_view kTiffExtensions[] = {".tif", ".tiff"};
constexpr std::string_view kJxlExtensions[] = {".jxl"};
// AVIF is HEIF with AV1 inside: one reader for both.
constexpr std::string_view kHeifExtensions[] = {".heic", ".heif", ".avif"};

// JPEG comes first whatever the name, so a JPEG saved as ".bmp" shows. The
// bitmap reader is offered only a ".bmp" name: that is the loading order the
// program defines, and it makes a bitmap renamed to ".jpg" the black frame
// like any other file that is no JPEG, although the reader could read it.
const Format kFormats[] = {
    {"JPEG", kJpegExtensions, kJpegOtherExtensions, SniffJpeg, MakeJpeg, true, true},
    {"BMP", kBmpExtensions, kBmpOtherExtensions, SniffBmp, MakeBmp, true, false},
    {"PNG", kPngExtensions, {}, SniffPng, MakePng, false, false},
    {"WebP", kWebpExtensions, {}, SniffWebp, MakeWebp, false, false},
    {"GIF", kGifExtensions, {}, SniffGif, MakeGif, false, false},
    {"TIFF", kTiffExtensions, {}, SniffTiff, MakeTiff, false, false},
    {"JPEG XL", kJxlExtensions, {}, SniffJxl, MakeJxl, false, false},
    {"HEIF", kHeifExtensions, {}, SniffHeif, MakeHeif, false, false},
};

std::string LowerExtension(std::string_view name) { return LowerAscii(ExtractFileExt(name)); }

bool Listed(std::span<const std::string_view> list, const std::string& ext) {
    return std::find(list.begin(), list.end(), ext) != list.end();
}

bool Named(const Format& f, const std::string& ext, ChainOptions options) {
    if (!f.standard && !options.otherFormats) return false;
    return Listed(f.extensions, ext) || (options.otherFormats && Listed(f.otherExtensions, ext));
}

}  // namespace

std::span<const Format> Formats() { return kFormats; }

std::vector<const Format*> LoaderChain(std::span<const Format> table, std::string_view name,
                                       std::span<const uint8_t> head, ChainOptions options) {
    const std::string ext = LowerExtension(name);
    head = head.first(std::min(head.size(), kSniffBytes));
    std::vector<const Format*> chain;
    for (const Format& f : table) {
        if (!f.standard && !options.otherFormats) continue;
        if (!f.anyName && !Named(f, ext, options)) continue;
        if (f.sniff(head)) chain.push_back(&f);
    }
    if (!options.otherFormats) return chain;
    // Then by content alone, whatever the name says.
    for (const Format& f : table)
        if (std::find(chain.begin(), chain.end(), &f) == chain.end() && f.sniff(head)) chain.push_back(&f);
    return chain;
}

bool HasImageExtension(std::string_view name, ChainOptions options) {
    const std::string ext = LowerExtension(name);
    return std::any_of(Formats().begin(), Formats().end(), [&](const Format& f) { return Named(f, ext, options); });
}

}  // namespace pelumir
