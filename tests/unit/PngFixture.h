#pragma once
// PNG files made by libpng's writer, with the pixels they should show.
#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/AnimationFixture.h"

namespace testutil {

struct PngSpec {
    int width = 5, height = 4;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    bool transparentIndices = false;  // palette: tRNS makes entries 1 and 2 see-through
    bool animated = false;            // animation chunks around the default picture
    std::vector<uint8_t> icc = {};    // an iCCP chunk
    int gamma = 0;                    // a gAMA chunk of this value, or none
    std::vector<double> chrm = {};    // a cHRM chunk: red, green, blue and white x, y
};

// The picture's pixels as 8-bit R, G, B, A, before any encoding.
inline uint32_t PngSample(const PngSpec& s, int x, int y, int channel) {
    if (s.bitDepth == 1) return ((x + y) & 1) ? 255 : 0;
    return uint32_t(x * 53 + y * 97 + channel * 71 + 11) & 255;
}
inline uint8_t PngPaletteIndex(int x, int y) { return uint8_t((x + 3 * y) % 16); }
inline uint32_t PngPaletteEntry(int i, int channel) { return uint32_t(i * 16 + channel * 85) & 255; }
inline uint8_t PngPaletteAlpha(int i) { return i == 1 ? 0 : i == 2 ? 100 : 255; }

// What a pixel shows, composed onto black: 0x00RRGGBB.
inline uint32_t PngShown(const PngSpec& s, int x, int y) {
    uint32_t c[4];
    const int type = s.colorType;
    if (type == PNG_COLOR_TYPE_PALETTE) {
        const int i = PngPaletteIndex(x, y);
        for (int k = 0; k < 3; ++k) c[k] = PngPaletteEntry(i, k);
        c[3] = s.transparentIndices ? PngPaletteAlpha(i) : 255;
    } else if (type & PNG_COLOR_MASK_COLOR) {
        for (int k = 0; k < 3; ++k) c[k] = PngSample(s, x, y, k);
        c[3] = type & PNG_COLOR_MASK_ALPHA ? PngSample(s, x, y, 3) : 255;
    } else {
        c[0] = c[1] = c[2] = PngSample(s, x, y, 0);
        c[3] = type & PNG_COLOR_MASK_ALPHA ? PngSample(s, x, y, 3) : 255;
    }
    for (int k = 0; k < 3; ++k) c[k] = (c[k] * c[3] + 127) / 255;
    return c[0] << 16 | c[1] << 8 | c[2];
}

inline void PngAppend(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

inline std::vector<uint8_t> BuildPng(const PngSpec& s) {
    std::vector<uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, PngAppend, nullptr);
    png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.bitDepth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[16];
        png_byte alpha[16];
        for (int i = 0; i < 16; ++i) {
            palette[i] = {png_byte(PngPaletteEntry(i, 0)), png_byte(PngPaletteEntry(i, 1)),
                          png_byte(PngPaletteEntry(i, 2))};
            alpha[i] = PngPaletteAlpha(i);
        }
        png_set_PLTE(png, info, palette, 16);
        if (s.transparentIndices) png_set_tRNS(png, info, alpha, 16, nullptr);
    }
    if (!s.icc.empty()) png_set_iCCP(png, info, "icc", 0, s.icc.data(), png_uint_32(s.icc.size()));
    if (s.gamma != 0) png_set_gAMA_fixed(png, info, s.gamma);
    if (s.chrm.size() == 8) {
        const auto& c = s.chrm;
        png_set_cHRM(png, info, c[6], c[7], c[0], c[1], c[2], c[3], c[4], c[5]);
    }
    png_write_info(png, info);
    // Chunks libpng does not know, as an animated file has them: the frame
    // control before the picture, frame data after it.
    static const png_byte kAnimation[] = "acTL";
    static const png_byte kFrameData[] = "fdAT";
    const png_byte junk[8] = {0, 0, 0, 2, 0, 0, 0, 0};
    if (s.animated) png_write_chunk(png, kAnimation, junk, sizeof junk);
    const int channels = png_get_channels(png, info);
    const int bytesPer = s.bitDepth == 16 ? 2 : 1;
    std::vector<std::vector<png_byte>> rows(size_t(s.height), std::vector<png_byte>(png_get_rowbytes(png, info)));
    for (int y = 0; y < s.height; ++y) {
        png_byte* row = rows[size_t(y)].data();
        for (int x = 0; x < s.width; ++x) {
            if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
                row[x / 2] |= png_byte(PngPaletteIndex(x, y) << (x % 2 ? 0 : 4));  // 4 bits each
                continue;
            }
            if (s.bitDepth == 1) {
                if (PngSample(s, x, y, 0)) row[x / 8] |= png_byte(0x80 >> (x % 8));
                continue;
            }
            for (int k = 0; k < channels; ++k) {
                const bool alpha = (s.colorType & PNG_COLOR_MASK_ALPHA) && k == channels - 1;
                const uint32_t v = PngSample(s, x, y, alpha ? 3 : k);
                png_byte* at = row + (size_t(x) * size_t(channels) + size_t(k)) * size_t(bytesPer);
                for (int b = 0; b < bytesPer; ++b) at[b] = png_byte(v);  // v * 257 in 16 bits
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    if (s.interlaced) png_set_interlace_handling(png);
    png_write_image(png, pointers.data());
    if (s.animated) png_write_chunk(png, kFrameData, junk, sizeof junk);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

inline void PutBe(std::vector<png_byte>& out, uint32_t v, int bytes = 4) {
    for (int k = bytes - 1; k >= 0; --k) out.push_back(png_byte(v >> (8 * k)));
}

// A writer into `file` with the header of 8-bit R, G, B, A written.
inline png_structp StartRgbaPng(std::vector<uint8_t>& file, png_infop& info, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    info = png_create_info_struct(png);
    png_set_write_fn(png, &file, PngAppend, nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    return png;
}

// Rows from pixels 0xAARRGGBB.
inline void PutRgbaRows(png_structp png, int width, int height, const std::vector<uint32_t>& argb) {
    std::vector<png_byte> row;
    for (int y = 0; y < height; ++y) {
        row.clear();
        for (int x = 0; x < width; ++x) PutBe(row, argb[size_t(y * width + x)] << 8 | argb[size_t(y * width + x)] >> 24);
        png_write_row(png, row.data());
    }
}

// The first frame is the default picture; the others' data comes from
// pictures of their own. Delays are in hundredths (a denominator of 0).
inline std::vector<uint8_t> BuildApng(const AnimationArt& a) {
    std::vector<uint8_t> file;
    png_infop info = nullptr;
    png_structp png = StartRgbaPng(file, info, a.width, a.height);
    std::vector<png_byte> chunk;
    PutBe(chunk, uint32_t(a.frames.size()));
    PutBe(chunk, uint32_t(a.loops));
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("acTL"), chunk.data(), chunk.size());
    uint32_t sequence = 0;
    for (size_t i = 0; i < a.frames.size(); ++i) {
        const FrameArt& f = a.frames[i];
        chunk.clear();
        for (uint32_t v : {sequence++, uint32_t(f.width), uint32_t(f.height), uint32_t(f.x), uint32_t(f.y)}) PutBe(chunk, v);
        PutBe(chunk, uint32_t(f.delayMs / 10), 2);
        PutBe(chunk, 0, 2);
        chunk.insert(chunk.end(), {png_byte(f.dispose), png_byte(i == 0 ? 0 : 1)});  // source, then over
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("fcTL"), chunk.data(), chunk.size());
        if (i == 0) {
            PutRgbaRows(png, f.width, f.height, f.argb);
            continue;
        }
        std::vector<uint8_t> own;
        png_infop ownInfo = nullptr;
        png_structp writer = StartRgbaPng(own, ownInfo, f.width, f.height);
        PutRgbaRows(writer, f.width, f.height, f.argb);
        png_write_end(writer, nullptr);
        png_destroy_write_struct(&writer, &ownInfo);
        chunk.clear();
        PutBe(chunk, sequence++);
        for (size_t pos = 8; pos + 12 <= own.size();) {
            const size_t length = size_t(own[pos]) << 24 | size_t(own[pos + 1]) << 16 | size_t(own[pos + 2]) << 8 | own[pos + 3];
            if (std::memcmp(&own[pos + 4], "IDAT", 4) == 0) chunk.insert(chunk.end(), &own[pos + 8], &own[pos + 8] + length);
            pos += 12 + length;
        }
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("fdAT"), chunk.data(), chunk.size());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

}  // namespace testutil
