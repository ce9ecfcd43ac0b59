#pragma once
// Image files made by the tests themselves: JPEGs through libjpeg's own
// compressor, Windows bitmaps from headers written by hand, so each kind a
// test needs costs a line and no fixture file goes stale.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "image/ImageFile.h"
#include "viewer/StretchDraw.h"

namespace testutil {

struct JpegRecipe {
    int width = 64, height = 64;
    J_COLOR_SPACE input = JCS_RGB;  // RGB, GRAYSCALE or CMYK pixels
    J_COLOR_SPACE stored = JCS_YCbCr;
    bool progressive = false;
    bool adobeMarker = true;  // for CMYK and YCCK
    bool arithmetic = false;
    bool subsampled = false;  // the compressor's usual 2 x 2 chroma; else every pixel keeps its colour
    int quality = 98;
    std::vector<uint8_t> icc = {};  // an embedded profile, in as many APP2 segments as it needs
};

inline int Components(J_COLOR_SPACE space) { return space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3; }

// `pixels` run top row first, Components(recipe.input) bytes a pixel.
inline std::vector<uint8_t> EncodeJpeg(const JpegRecipe& recipe, const std::vector<uint8_t>& pixels) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = JDIMENSION(recipe.width);
    c.image_height = JDIMENSION(recipe.height);
    c.input_components = Components(recipe.input);
    c.in_color_space = recipe.input;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, recipe.stored);
    c.write_Adobe_marker = recipe.adobeMarker && recipe.input == JCS_CMYK;
    c.arith_code = recipe.arithmetic;
    if (!recipe.subsampled)
        for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_set_quality(&c, recipe.quality, TRUE);
    if (recipe.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    if (!recipe.icc.empty()) jpeg_write_icc_profile(&c, recipe.icc.data(), unsigned(recipe.icc.size()));
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(&pixels[c.next_scanline * JDIMENSION(recipe.width * c.input_components)]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

// One colour all over, 0xRRGGBB.
inline std::vector<uint8_t> FlatJpeg(JpegRecipe recipe, uint32_t rgb) {
    std::vector<uint8_t> pixels;
    pixels.reserve(size_t(recipe.width) * size_t(recipe.height) * 3);
    for (int i = 0; i < recipe.width * recipe.height; ++i)
        pixels.insert(pixels.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
    return EncodeJpeg(recipe, pixels);
}

// The tests' one source of noise (xorshift32): fast, and the same on every machine.
inline uint32_t NextNoise(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// The same noise as a generator object.
struct Noise {
    uint32_t state;
    uint32_t operator()() { return NextNoise(state); }
};

// A gradient under noise: a picture that compresses poorly, so its file
// spans many pieces of a reader.
inline std::vector<uint8_t> NoisyJpeg(JpegRecipe recipe) {
    std::vector<uint8_t> pixels(size_t(recipe.width) * size_t(recipe.height) * size_t(Components(recipe.input)));
    const size_t rowBytes = pixels.size() / size_t(recipe.height);
    uint32_t state = 0x9E3779B9;
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i % rowBytes * 3 + i / rowBytes * 2 + NextNoise(state) % 48);
    return EncodeJpeg(recipe, pixels);
}

// One entry of an EXIF IFD; `value` holds up to four bytes in place.
struct IfdEntry {
    uint16_t tag, type;  // type 3 is SHORT, 4 LONG
    uint32_t count;
    uint32_t value;
};

struct ExifSpec {
    std::vector<IfdEntry> entries;
    bool bigEndian = false;
    const char* order = nullptr;  // the byte-order mark as written; null: "II" or "MM"
    uint32_t nextIfd = 0;         // offset of the IFD after the first, from the TIFF header
    int64_t declaredCount = -1;   // the first IFD's entry count as written; -1: the real one
};

// An APP1 payload: "Exif\0\0", the TIFF header and the first IFD at offset 8.
inline std::vector<uint8_t> ExifPayload(const ExifSpec& k) {
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> 8 * (k.bigEndian ? bytes - 1 - i : i)));
    };
    b.push_back(k.order != nullptr ? uint8_t(k.order[0]) : k.bigEndian ? 'M' : 'I');
    b.push_back(k.order != nullptr ? uint8_t(k.order[1]) : k.bigEndian ? 'M' : 'I');
    put(42, 2);
    put(8, 4);
    put(uint32_t(k.declaredCount >= 0 ? k.declaredCount : int64_t(k.entries.size())), 2);
    for (const IfdEntry& e : k.entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(e.count, 4);
        // A SHORT sits in the first two bytes of the value field.
        if (e.type == 3) {
            put(e.value, 2);
            put(0, 2);
        } else {
            put(e.value, 4);
        }
    }
    put(k.nextIfd, 4);
    return b;
}

inline IfdEntry OrientationEntry(uint32_t value) { return {0x0112, 3, 1, value}; }

// The JPEG with an APP1 segment holding `payload` right after its start marker.
inline std::vector<uint8_t> WithApp1(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& payload) {
    const size_t length = payload.size() + 2;
    std::vector<uint8_t> segment = {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// The JPEG tagged with an EXIF orientation, as a camera writes it.
inline std::vector<uint8_t> OrientedJpeg(std::vector<uint8_t> jpeg, uint32_t orientation, bool bigEndian = true) {
    return WithApp1(std::move(jpeg), ExifPayload({{OrientationEntry(orientation)}, bigEndian}));
}

struct BmpSpec {
    int32_t width, height;  // a negative height stores the rows top-down
    int bits;
    uint32_t infoSize = 40;
    uint32_t compression = 0;
    std::vector<uint32_t> masks = {};    // in the header from 52 bytes on, right after a 40-byte one
    std::vector<uint32_t> palette = {};  // 0x00RRGGBB, 4 bytes an entry
    int64_t colourCount = -1;            // the header's count; -1: the palette's size
    int64_t offBits = -1;                // -1: right after the palette
    uint32_t csType = 0;                 // a 124-byte header's colour space
    std::vector<uint8_t> profile = {};   // after the rows, where a 124-byte header says
};

inline void PutLittle(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    if (b.size() < at + size_t(bytes)) b.resize(at + size_t(bytes), 0);
    for (int i = 0; i < bytes; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// The file header, the info header (12 bytes is OS/2's core header, with
// 16-bit sizes and 3-byte palette entries), masks and palette.
inline std::vector<uint8_t> BmpHeaders(const BmpSpec& k) {
    const bool core = k.infoSize == 12;
    std::vector<uint8_t> b(14 + k.infoSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLittle(b, 14, k.infoSize, 4);
    const int field = core ? 2 : 4;
    PutLittle(b, 18, uint32_t(k.width), field);
    PutLittle(b, 18 + size_t(field), uint32_t(k.height), field);
    PutLittle(b, 18 + 2 * size_t(field), 1, 2);
    PutLittle(b, 20 + 2 * size_t(field), uint32_t(k.bits), 2);
    if (k.infoSize >= 20) PutLittle(b, 30, k.compression, 4);
    if (k.infoSize >= 124) PutLittle(b, 70, k.csType, 4);
    if (k.infoSize >= 36) PutLittle(b, 46, uint32_t(k.colourCount >= 0 ? k.colourCount : int64_t(k.palette.size())), 4);
    for (size_t i = 0; i < k.masks.size(); ++i) {
        if (k.infoSize == 40) PutLittle(b, b.size(), k.masks[i], 4);
        else if (54 + 4 * i < 14 + k.infoSize) PutLittle(b, 54 + 4 * i, k.masks[i], 4);
    }
    for (uint32_t c : k.palette) PutLittle(b, b.size(), c, core ? 3 : 4);
    if (k.offBits >= 0) b.resize(size_t(k.offBits), 0);
    PutLittle(b, 10, uint32_t(b.size()), 4);
    return b;
}

// `rows` run top to bottom, each padded to 32 bits already.
inline std::vector<uint8_t> BuildBmpRows(const BmpSpec& k, const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> b = BmpHeaders(k);
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[k.height < 0 ? i : rows.size() - 1 - i];
        b.insert(b.end(), row.begin(), row.end());
    }
    if (!k.profile.empty()) {
        PutLittle(b, 14 + 112, uint32_t(b.size() - 14), 4);
        PutLittle(b, 14 + 116, uint32_t(k.profile.size()), 4);
        b.insert(b.end(), k.profile.begin(), k.profile.end());
    }
    PutLittle(b, 2, uint32_t(b.size()), 4);
    return b;
}

// `pixels` holds raw pixel values (indexes or packed colours), top row first.
inline std::vector<uint8_t> BuildBmp(const BmpSpec& k, const std::vector<uint32_t>& pixels) {
    const int rows = k.height < 0 ? -k.height : k.height;
    const size_t stride = (size_t(k.width) * size_t(k.bits) + 31) / 32 * 4;
    std::vector<std::vector<uint8_t>> packed(size_t(rows), std::vector<uint8_t>(stride, 0));
    for (int y = 0; y < rows; ++y) {
        std::vector<uint8_t>& row = packed[size_t(y)];
        for (int x = 0; x < k.width; ++x) {
            const uint32_t v = pixels[size_t(y) * size_t(k.width) + size_t(x)];
            if (k.bits >= 8) {
                for (int j = 0; j < k.bits / 8; ++j) row[size_t(x * k.bits / 8 + j)] = uint8_t(v >> (8 * j));
            } else {
                const int bit = x * k.bits;  // the leftmost pixel in the high bits
                row[size_t(bit / 8)] |= uint8_t((v & ((1u << k.bits) - 1)) << (8 - k.bits - bit % 8));
            }
        }
    }
    return BuildBmpRows(k, packed);
}

// Noise of any depth; the indexed depths get a grey palette of their size.
inline std::vector<uint8_t> NoisyBmp(int bits, int w, int h) {
    std::vector<uint32_t> palette, pixels(size_t(w) * size_t(h));
    for (uint32_t i = 0, n = bits <= 8 ? 1u << bits : 0; i < n; ++i) palette.push_back(i * 255 / (n - 1) * 0x010101);
    uint32_t state = 0x12345678;
    for (uint32_t& p : pixels) p = NextNoise(state);
    return BuildBmp({w, h, bits, 40, 0, {}, palette}, pixels);
}

// What a change at the click makes of a file: the one load, then the fitting.
inline void ColdChange(const std::string& path, int w, int h, pelumir::Bitmap& source, pelumir::Bitmap& frame) {
    pelumir::FileBytes bytes;
    pelumir::Orientation orientation;
    const bool loaded = pelumir::LoadImageFile(path, bytes, source, &orientation);
    frame.Allocate(w, h, pelumir::kFrameBits, pelumir::Bitmap::Init::Zero);
    if (loaded) pelumir::DrawFitted(source, frame, w, h, orientation);
}

// A 24- or 32-bit pixel as 0xRRGGBB.
inline uint32_t FramePixel(const pelumir::Bitmap& b, int x, int y) {
    const uint8_t* p = b.Row(y) + b.BitsPerPixel() / 8 * x;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// Noise in any layout, reserved bytes included; the indexed layouts get a
// palette one entry short (the last index shows black), with alpha bytes set.
inline pelumir::Bitmap NoiseBitmap(int w, int h, int bpp, pelumir::ColorMasks masks = {}) {
    pelumir::Bitmap b;
    b.Allocate(w, h, bpp);
    b.SetMasks(masks);
    uint32_t state = 12345u + uint32_t(bpp) + uint32_t(w) * 31u + uint32_t(h);
    for (size_t i = 0; i < b.ByteSize(); ++i) b.Bits()[i] = uint8_t(NextNoise(state) >> 24);
    for (int i = 0; bpp <= 8 && i < (1 << bpp) - 1; ++i) b.Palette().push_back(0xFF000000u | (NextNoise(state) & 0xFFFFFF));
    return b;
}

inline void ExpectSameBitmap(const pelumir::Bitmap& got, const pelumir::Bitmap& want) {
    ASSERT_EQ(got.Width(), want.Width());
    ASSERT_EQ(got.Height(), want.Height());
    ASSERT_EQ(got.BitsPerPixel(), want.BitsPerPixel());
    EXPECT_EQ(got.Palette(), want.Palette());
    if (want.ByteSize() != 0) {
        EXPECT_EQ(std::memcmp(got.Bits(), want.Bits(), want.ByteSize()), 0);
    }
}

}  // namespace testutil
