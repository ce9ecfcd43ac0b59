#include "image/TiffLoader.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace pelumir {

namespace {

struct TiffContext {
    std::span<const uint8_t> file;
    uint64_t at = 0;
    RowSink* out = nullptr;
    TIFF* tiff = nullptr;
    TIFFRGBAImage image{};
    bool imageBegun = false;
    int width = 0, height = 0;
    int band = 0;  // rows per piece: a strip, or a row of tiles
    bool greyAlpha = false;  // libtiff leaves these not premultiplied
    std::vector<uint32_t> raster;
    // Grey or RGB pictures of 8 or 16 bits in strips, the common kinds, are
    // read a row at a time and turned into ours directly: a strip may hold
    // the whole picture, and libtiff's RGBA reader makes a strip at once
    // (and drops the alpha of 16-bit grey).
    bool byRow = false;
    int colours = 0;         // 1 grey, 3 RGB
    int samples = 0;         // colours and an alpha or other extra sample
    bool sixteen = false;
    bool invert = false;     // white is 0
    bool composeAlpha = false;  // an alpha not yet multiplied in
    std::vector<uint8_t> line;    // a row's samples, in 8 bits
    std::vector<uint16_t> wide;   // a row of 16-bit samples as read
    int handed = 0;

    TiffContext() = default;
    TiffContext(const TiffContext&) = delete;
    TiffContext& operator=(const TiffContext&) = delete;
    ~TiffContext() {
        if (imageBegun) TIFFRGBAImageEnd(&image);
        if (tiff != nullptr) TIFFClose(tiff);
    }
};

using Ctx = TiffContext;

tmsize_t ReadProc(thandle_t h, void* to, tmsize_t n) {
    Ctx& c = *static_cast<Ctx*>(h);
    if (n < 0) return -1;
    const uint64_t left = c.at < c.file.size() ? c.file.size() - c.at : 0;
    const uint64_t count = std::min<uint64_t>(uint64_t(n), left);
    if (count != 0) std::memcpy(to, c.file.data() + c.at, size_t(count));
    c.at += count;
    return tmsize_t(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
    Ctx& c = *static_cast<Ctx*>(h);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = c.at;
    else if (whence == SEEK_END) base = c.file.size();
    // libtiff passes negative offsets as their two's complement.
    c.at = base + offset;
    return c.at;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<Ctx*>(h)->file.size(); }
// The bytes are already in memory: libtiff reads them in place, never
// writing to a mapping opened for reading.
int MapProc(thandle_t h, void** base, toff_t* size) {
    Ctx& c = *static_cast<Ctx*>(h);
    *base = const_cast<uint8_t*>(c.file.data());
    *size = c.file.size();
    return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

void ChooseRows(Ctx& c, uint16_t photometric);

struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

bool Open(Ctx& c) {
    // A damaged file is the black frame, not lines on stderr: this file's
    // messages are dropped, and the few libtiff sends to no file as well.
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
    const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (options == nullptr) return false;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Quiet, nullptr);
    // No strip or tile buffer of a damaged file larger than any picture.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxBitmapBytes));
    c.tiff = TIFFClientOpenExt("picture", "r", &c, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                               UnmapProc, options.get());
    if (c.tiff == nullptr) return false;
    char message[1024];
    if (!TIFFRGBAImageOK(c.tiff, message)) return false;
    if (!TIFFRGBAImageBegin(&c.image, c.tiff, 0, message)) return false;
    c.imageBegun = true;
    // Rows as stored: the load turns the picture as its Orientation says.
    c.image.req_orientation = c.image.orientation;
    if (c.image.width == 0 || c.image.height == 0 || c.image.width > 0x7FFFFFFF || c.image.height > 0x7FFFFFFF)
        return false;
    c.width = int(c.image.width), c.height = int(c.image.height);
    uint32_t band = 0;
    if (TIFFIsTiled(c.tiff)) TIFFGetField(c.tiff, TIFFTAG_TILELENGTH, &band);
    else TIFFGetFieldDefaulted(c.tiff, TIFFTAG_ROWSPERSTRIP, &band);
    c.band = int(std::clamp<uint32_t>(band, 1, uint32_t(c.height)));
    uint16_t photometric = 0;
    TIFFGetFieldDefaulted(c.tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    c.greyAlpha = c.image.alpha == EXTRASAMPLE_UNASSALPHA &&
                  (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    ChooseRows(c, photometric);
    return true;
}

// Whether the picture is a kind read a row at a time (see TiffContext::byRow).
void ChooseRows(Ctx& c, uint16_t photometric) {
    uint16_t bits = 0, samples = 0, planar = 0, format = 0, extras = 0;
    uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(c.tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(c.tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(c.tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(c.tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(c.tiff, TIFFTAG_EXTRASAMPLES, &extras, &extraKinds);
    const int colours = photometric == PHOTOMETRIC_RGB ? 3
                        : photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ? 1
                                                                                                         : 0;
    if (colours == 0 || TIFFIsTiled(c.tiff) || (bits != 8 && bits != 16) || format != SAMPLEFORMAT_UINT ||
        extras > 1 || samples != colours + extras || (samples > 1 && planar != PLANARCONFIG_CONTIG))
        return;
    if (TIFFScanlineSize64(c.tiff) != uint64_t(c.width) * samples * (bits / 8)) return;
    c.byRow = true;
    c.colours = colours;
    c.samples = samples;
    c.sixteen = bits == 16;
    c.invert = photometric == PHOTOMETRIC_MINISWHITE;
    // An extra sample of no stated kind is taken as libtiff's RGBA reader
    // takes it: as nothing, or as an alpha already multiplied in.
    c.composeAlpha = extras == 1 && extraKinds[0] == EXTRASAMPLE_UNASSALPHA;
}

void PutRow(Ctx& c, int y) {
    if (c.sixteen) {
        // Rounded to the nearest, as libtiff reduces colour samples.
        for (size_t i = 0; i < c.line.size(); ++i) c.line[i] = uint8_t((c.wide[i] * 255u + 32767u) / 65535u);
    }
    const uint8_t* from = c.line.data();
    uint8_t* to = c.out->Row(y);
    const int n = c.samples;
    if (c.colours == 3 && !c.composeAlpha) {
        // The common case, kept to a plain loop.
        for (int x = 0; x < c.width; ++x, from += n, to += 3) to[0] = from[2], to[1] = from[1], to[2] = from[0];
    } else {
        for (int x = 0; x < c.width; ++x, from += n, to += 3) {
            unsigned rgb[3];
            for (int k = 0; k < 3; ++k) rgb[k] = from[c.colours == 3 ? k : 0];
            if (c.invert)
                for (unsigned& v : rgb) v = 255 - v;
            if (c.composeAlpha && from[n - 1] != 255)
                for (unsigned& v : rgb) v = (v * from[n - 1] + 127) / 255;
            to[0] = uint8_t(rgb[2]), to[1] = uint8_t(rgb[1]), to[2] = uint8_t(rgb[0]);
        }
    }
    c.out->RowsDone(y, 1);
}

// Reads every row, in order; only the rows shown are turned into ours.
// False for a damaged file or a picture no longer wanted.
bool ReadRows(Ctx& c) {
    for (; c.handed < c.height; ++c.handed) {
        const int y = c.handed;
        if ((y & 15) == 0 && !c.out->Wanted()) return false;
        void* to = c.sixteen ? static_cast<void*>(c.wide.data()) : c.line.data();
        if (TIFFReadScanline(c.tiff, to, uint32_t(y), 0) != 1) return false;
        if (c.out->NextRowWanted(y) == y) PutRow(c, y);
    }
    return true;
}

void HandOn(Ctx& c, int rows) {
    for (int r = 0; r < rows; ++r) {
        const uint32_t* from = c.raster.data() + size_t(r) * size_t(c.width);
        uint8_t* to = c.out->Row(c.handed);
        for (int x = 0; x < c.width; ++x, to += 3) {
            const uint32_t abgr = from[x];
            const unsigned a = TIFFGetA(abgr);
            unsigned rgb[3] = {TIFFGetR(abgr), TIFFGetG(abgr), TIFFGetB(abgr)};
            // Colour pictures come premultiplied, which is already on black.
            if (c.greyAlpha && a != 255)
                for (unsigned& v : rgb) v = (v * a + 127) / 255;
            to[0] = uint8_t(rgb[2]), to[1] = uint8_t(rgb[1]), to[2] = uint8_t(rgb[0]);
        }
        c.out->RowsDone(c.handed++, 1);
    }
}

// A strip or a row of tiles at a time, through libtiff's RGBA reader.
bool ReadBands(Ctx& c) {
    c.raster.resize(size_t(c.width) * size_t(c.band));
    while (c.handed < c.height) {
        if (!c.out->Wanted()) return false;
        const int rows = std::min(c.band, c.height - c.handed);
        c.image.row_offset = c.handed;
        c.image.col_offset = 0;
        if (!TIFFRGBAImageGet(&c.image, c.raster.data(), uint32_t(c.width), uint32_t(rows))) return false;
        HandOn(c, rows);
    }
    return true;
}

}  // namespace

std::optional<Decoded> DecodeTiff(FileInput& in, RowSink& out) {
    TiffContext c;
    c.file = in.Bytes();
    c.out = &out;
    if (!Open(c)) return std::nullopt;
    // libtiff's RGBA picture is 4 bytes a pixel: refused before any of it
    // is asked for.
    Bitmap::CheckSize(c.width, c.height, 32);
    const Orientation orientation = in.ExifOrientation();
    out.Begin(c.width, c.height, 24, orientation);
    if (c.byRow) {
        c.line.resize(size_t(c.width) * size_t(c.samples));
        if (c.sixteen) c.wide.resize(c.line.size());
    }
    if (!(c.byRow ? ReadRows(c) : ReadBands(c))) return std::nullopt;
    uint32_t profileBytes = 0;
    const uint8_t* profile = nullptr;
    ColourSource colour;
    if (TIFFGetField(c.tiff, TIFFTAG_ICCPROFILE, &profileBytes, &profile) == 1 && profile != nullptr)
        colour = IccColour({profile, profileBytes});
    return Decoded{c.width, c.height, orientation, std::move(colour)};
}

}  // namespace pelumir
