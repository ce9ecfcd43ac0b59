#pragma once
// TIFF files written by libtiff into a temporary file, with the pixels they
// should show.
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace testutil {

struct TiffSpec {
    int width = 7, height = 5;
    int samples = 3;        // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    int bits = 8;           // 8 or 16
    bool palette = false;   // one sample of 8 bits through a colour map
    bool minIsWhite = false;  // grey stored with white as 0
    bool associated = false;  // alpha premultiplied in the file
    int rowsPerStrip = 2;
    int tile = 0;           // tiles of tile x tile pixels instead of strips
    uint16_t compression = COMPRESSION_NONE;
    int orientation = 0;    // the tag, or none
    bool twoPages = false;  // a second, different page after the first
    bool bigEndian = false;
    std::vector<uint8_t> icc = {};  // an ICC profile tag
};

inline uint8_t TiffValue(int x, int y, int c) { return uint8_t(x * 37 + y * 11 + c * 70); }
inline uint8_t TiffAlpha(int x, int y) { return uint8_t((x + y) % 3 * 127 + (x + y) % 3 / 2); }  // 0, 127, 255

// What a pixel shows: 0x00RRGGBB, composed onto black.
inline uint32_t TiffShown(const TiffSpec& s, int x, int y) {
    const bool alpha = s.samples == 2 || s.samples == 4;
    const unsigned a = alpha ? TiffAlpha(x, y) : 255;
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        unsigned v = TiffValue(x, y, s.samples <= 2 && !s.palette ? 0 : c);
        if (s.minIsWhite) v = 255 - v;
        if (!s.associated) v = (v * a + 127) / 255;
        else v = v * a / 255;  // what the file holds is already multiplied
        out = out << 8 | v;
    }
    return out;
}

inline std::vector<uint8_t> BuildTiff(const TiffSpec& s) {
    char path[] = "/tmp/pelumir-tiff-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    TIFF* t = TIFFOpen(path, s.bigEndian ? "wb" : "wl");
    for (int page = 0; page < (s.twoPages ? 2 : 1); ++page) {
        const int samples = s.palette ? 1 : s.samples;
        const bool alpha = s.samples == 2 || s.samples == 4;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(s.width + page));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(s.height));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(samples));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(s.bits));
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
        if (s.compression == COMPRESSION_JPEG) TIFFSetField(t, TIFFTAG_JPEGQUALITY, 95);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     s.palette           ? PHOTOMETRIC_PALETTE
                     : samples > 2       ? PHOTOMETRIC_RGB
                     : s.minIsWhite      ? PHOTOMETRIC_MINISWHITE
                                         : PHOTOMETRIC_MINISBLACK);
        if (alpha && !s.palette) {
            const uint16_t extra = s.associated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        if (!s.icc.empty()) TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(s.icc.size()), s.icc.data());
        if (s.orientation != 0) TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(s.orientation));
        std::vector<uint16_t> map[3];
        if (s.palette) {
            for (int c = 0; c < 3; ++c) {
                map[c].resize(256);
                for (int i = 0; i < 256; ++i) map[c][size_t(i)] = uint16_t(TiffValue(i % 7, i / 7, c) * 257);
            }
            TIFFSetField(t, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
        }
        if (s.tile != 0) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, uint32_t(s.tile));
            TIFFSetField(t, TIFFTAG_TILELENGTH, uint32_t(s.tile));
        } else {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(s.rowsPerStrip));
        }
        const int width = s.width + page;
        std::vector<uint16_t> image(size_t(width) * size_t(s.height) * size_t(samples));
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < width; ++x) {
                uint16_t* p = &image[(size_t(y) * size_t(width) + size_t(x)) * size_t(samples)];
                if (page == 1) {
                    for (int c = 0; c < samples; ++c) p[c] = 200;
                    continue;
                }
                if (s.palette) {
                    p[0] = uint16_t(y * 7 + x);  // the map's entry for (x, y) within 7 x 36
                    continue;
                }
                const unsigned a = TiffAlpha(x, y);
                const int colours = alpha ? samples - 1 : samples;
                for (int c = 0; c < colours; ++c) {
                    unsigned v = TiffValue(x, y, c);
                    if (s.associated) v = v * a / 255;
                    p[c] = uint16_t(v);
                }
                if (alpha) p[samples - 1] = uint16_t(a);
            }
        // 8 bits as bytes, 16 as the value repeated in both bytes.
        const auto bytesOf = [&](int x0, int y0, int w, int h) {
            std::vector<uint8_t> out;
            for (int y = y0; y < y0 + h; ++y)
                for (int x = x0; x < x0 + w; ++x)
                    for (int c = 0; c < samples; ++c) {
                        const uint16_t v = x < width && y < s.height
                                               ? image[(size_t(y) * size_t(width) + size_t(x)) * size_t(samples) + size_t(c)]
                                               : 0;
                        if (s.bits == 8) {
                            out.push_back(uint8_t(v));
                        } else {
                            const uint16_t w16 = uint16_t(v * 257);
                            out.insert(out.end(), {uint8_t(0), uint8_t(0)});
                            std::memcpy(&out[out.size() - 2], &w16, 2);
                        }
                    }
            return out;
        };
        if (s.tile != 0) {
            for (int y = 0; y < s.height; y += s.tile)
                for (int x = 0; x < width; x += s.tile) {
                    std::vector<uint8_t> b = bytesOf(x, y, s.tile, s.tile);
                    TIFFWriteTile(t, b.data(), uint32_t(x), uint32_t(y), 0, 0);
                }
        } else {
            for (int y = 0; y < s.height; ++y) {
                std::vector<uint8_t> b = bytesOf(0, y, width, 1);
                TIFFWriteScanline(t, b.data(), uint32_t(y), 0);
            }
        }
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path);
    return bytes;
}

}  // namespace testutil
