#include "image/Formats.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/Path.h"

namespace pelumir {

namespace {

bool StartsWith(std::span<const uint8_t> head, std::initializer_list<uint8_t> magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

bool SniffJpeg(std::span<const uint8_t> head) { return StartsWith(head, {0xFF, 0xD8}); }
bool SniffBmp(std::span<const uint8_t> head) { return StartsWith(head, {'B', 'M'}); }

// The PNG signature.
bool SniffPng(std::span<const uint8_t> head) {
    static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return head.size() >= sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), head.begin());
}

// "RIFF", a size, "WEBP".
bool SniffWebp(std::span<const uint8_t> head) {
    return head.size() >= 12 && std::equal(head.begin(), head.begin() + 4, "RIFF") &&
           std::equal(head.begin() + 8, head.begin() + 12, "WEBP");
}

// "GIF87a" or "GIF89a".
bool SniffGif(std::span<const uint8_t> head) {
    return head.size() >= 6 && (std::equal(head.begin(), head.begin() + 6, "GIF87a") ||
                                std::equal(head.begin(), head.begin() + 6, "GIF89a"));
}

// A TIFF or BigTIFF header, either byte order.
bool SniffTiff(std::span<const uint8_t> head) {
    if (head.size() < 4) return false;
    const uint8_t a = head[0], b = head[1], m = head[2], n = head[3];
    return (a == 'I' && b == 'I' && (m == 42 || m == 43) && n == 0) ||
           (a == 'M' && b == 'M' && m == 0 && (n == 42 || n == 43));
}

// A JPEG XL codestream or its ISO box container.
bool SniffJxl(std::span<const uint8_t> head) {
    // A bare codestream, or the container's signature box; told here without
    // the library, which a look at a file's first bytes must not load.
    static constexpr uint8_t kContainer[] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0x0A) return true;
    return head.size() >= sizeof kContainer && std::memcmp(head.data(), kContainer, sizeof kContainer) == 0;
}

// The file-type box of a HEIF still picture or sequence: HEVC-coded (HEIC),
// AV1-coded (AVIF) or any-coded ("mif1"), told by the major brand. Video
// files share the box but not the brands.
bool SniffHeif(std::span<const uint8_t> head) {
    if (head.size() < 12 || std::memcmp(head.data() + 4, "ftyp", 4) != 0) return false;
    static constexpr char kBrands[][4] = {{'h', 'e', 'i', 'c'}, {'h', 'e', 'i', 'x'}, {'h', 'e', 'i', 'm'},
                                          {'h', 'e', 'i', 's'}, {'h', 'e', 'v', 'c'}, {'h', 'e', 'v', 'x'},
                                          {'h', 'e', 'v', 'm'}, {'h', 'e', 'v', 's'}, {'m', 'i', 'f', '1'},
                                          {'m', 'i', 'f', '2'}, {'m', 's', 'f', '1'}, {'a', 'v', 'i', 'f'},
                                          {'a', 'v', 'i', 's'}};
    return std::any_of(std::begin(kBrands), std::end(kBrands),
                       [&](const char(&brand)[4]) { return std::memcmp(head.data() + 8, brand, 4) == 0; });
}

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
    {"JPEG", kJpegExtensions, kJpegOtherExtensions, SniffJpeg, true, true},
    {"BMP", kBmpExtensions, kBmpOtherExtensions, SniffBmp, true, false},
    {"PNG", kPngExtensions, {}, SniffPng, false, false, true},
    {"WebP", kWebpExtensions, {}, SniffWebp, false, false, true},
    {"GIF", kGifExtensions, {}, SniffGif, false, false, true},
    {"TIFF", kTiffExtensions, {}, SniffTiff, false, false},
    {"JPEG XL", kJxlExtensions, {}, SniffJxl, false, false, true},
    {"HEIF", kHeifExtensions, {}, SniffHeif, false, false},
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

bool MayMove(std::string_view name) {
    const std::string ext = LowerExtension(name);
    return std::any_of(Formats().begin(), Formats().end(), [&](const Format& f) {
        return f.moves && std::find(f.extensions.begin(), f.extensions.end(), ext) != f.extensions.end();
    });
}

bool HasImageExtension(std::string_view name, ChainOptions options) {
    const std::string ext = LowerExtension(name);
    return std::any_of(Formats().begin(), Formats().end(), [&](const Format& f) { return Named(f, ext, options); });
}

}  // namespace pelumir
