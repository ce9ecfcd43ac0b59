// The change figures of every format, one row of a table each: a picture
// saved by the format's own library (12 MP; the JPEG 24 MP), shown in the
// real viewer, its clicks in a row and its clicks after a look as long as
// its bare decode, each against a bare decode of the same file by the same
// library (djpeg for JPEG), and the longest stall of the viewer's event loop
// while pictures were prepared. A row ends with one line of the summary
// table, its figures against the aims.
#include <csetjmp>
#include <cstdio>

#include <gif_lib.h>
#include <jxl/encode.h>
#include <libheif/heif.h>
#include <jxl/encode_cxx.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/ChangeMeasures.h"
#include "bench/PhotoLikeRows.h"
#include "bench/Pictures.h"

namespace {

using bench::Median;

// The aim after a look as long as the bare decode: the click's wait within
// 5 % of that decode.
constexpr double kAfterLookAim = 0.05;
// Clicks in a row within 5 % of the cold change each format had when it was
// decoded in the program itself (the upper end where runs differed).
constexpr double kInARowSlack = 1.05;

// ---- the pictures, saved by each format's own library ----

std::vector<uint8_t> PhotoLikePicture(int w, int h) {
    const bench::PhotoLikeRows rows(w, h);
    std::vector<uint8_t> rgb(size_t(w) * 3 * size_t(h));
    for (int y = 0; y < h; ++y) rows.Row(y, rgb.data() + size_t(y) * size_t(w) * 3);
    return rgb;
}

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_bytep> rows;
};

// The only frame a libpng failure jumps to.
bool WritePngRows(PngWrite* p, FILE* file, int w, int h, bool interlaced) {
    if (setjmp(png_jmpbuf(p->png))) return false;
    png_init_io(p->png, file);
    png_set_IHDR(p->png, p->info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(p->png, p->info);
    png_write_image(p->png, p->rows.data());
    png_write_end(p->png, nullptr);
    return true;
}

void WritePng(const std::string& path, int w, int h, bool interlaced) {
    std::vector<uint8_t> rgb = PhotoLikePicture(w, h);
    PngWrite p;
    for (int y = 0; y < h; ++y) p.rows.push_back(rgb.data() + size_t(y) * size_t(w) * 3);
    FILE* file = std::fopen(path.c_str(), "wb");
    p.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (p.png != nullptr) p.info = png_create_info_struct(p.png);
    const bool ok = file != nullptr && p.info != nullptr && WritePngRows(&p, file, w, h, interlaced);
    png_destroy_write_struct(&p.png, &p.info);
    if (file == nullptr || std::fclose(file) != 0 || !ok) std::abort();
}

void WritePngPlain(const std::string& path, int w, int h) { WritePng(path, w, h, false); }
void WritePngInterlaced(const std::string& path, int w, int h) { WritePng(path, w, h, true); }

// Lossy, as pictures saved from the web are.
void WriteWebp(const std::string& path, int w, int h) {
    const std::vector<uint8_t> rgb = PhotoLikePicture(w, h);
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeRGB(rgb.data(), w, h, w * 3, 90, &out);
    if (size == 0) std::abort();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out), std::streamsize(size));
    WebPFree(out);
}

// 6 x 7 x 6 levels of red, green and blue, the picture's noise kept.
void WriteGif(const std::string& path, int w, int h, bool interlaced) {
    const bench::PhotoLikeRows rows(w, h);
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr) std::abort();
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 252; ++i)
        map->Colors[i] = {GifByteType(i / 42 * 51), GifByteType(i / 6 % 7 * 255 / 6), GifByteType(i % 6 * 51)};
    bool ok = EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, w, h, interlaced, nullptr) == GIF_OK;
    std::vector<uint8_t> rgb(size_t(w) * 3);
    std::vector<GifPixelType> line(static_cast<size_t>(w));
    // An interlaced picture's lines are stored in four passes.
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = interlaced ? 0 : 3; ok && pass < 4; ++pass)
        for (int y = interlaced ? kStart[pass] : 0; ok && y < h; y += interlaced ? kStep[pass] : 1) {
            rows.Row(y, rgb.data());
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = &rgb[size_t(x) * 3];
                line[size_t(x)] = GifPixelType((p[0] * 6 / 256) * 42 + (p[1] * 7 / 256) * 6 + p[2] * 6 / 256);
            }
            ok = EGifPutLine(gif, line.data(), w) == GIF_OK;
        }
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok) std::abort();
}

void WriteGifPlain(const std::string& path, int w, int h) { WriteGif(path, w, h, false); }
void WriteGifInterlaced(const std::string& path, int w, int h) { WriteGif(path, w, h, true); }

// LZW with the horizontal predictor, as scanners write; in strips of libtiff's default size, or the
// whole picture in one strip, as some programs save.
void WriteTiff(const std::string& path, int w, int h, bool oneStrip) {
    const bench::PhotoLikeRows rows(w, h);
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr) std::abort();
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, oneStrip ? uint32_t(h) : TIFFDefaultStripSize(tiff, 0));
    std::vector<uint8_t> rgb(size_t(w) * 3);
    bool ok = true;
    for (int y = 0; ok && y < h; ++y) {
        rows.Row(y, rgb.data());
        ok = TIFFWriteScanline(tiff, rgb.data(), uint32_t(y), 0) == 1;
    }
    TIFFClose(tiff);
    if (!ok) std::abort();
}

void WriteTiffStrips(const std::string& path, int w, int h) { WriteTiff(path, w, h, false); }
void WriteTiffOneStrip(const std::string& path, int w, int h) { WriteTiff(path, w, h, true); }

// Lossy at the distance phones save with, at the encoder's default effort.
void WriteJxl(const std::string& path, int w, int h) {
    const std::vector<uint8_t> rgb = PhotoLikePicture(w, h);
    const JxlEncoderPtr enc = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(w);
    info.ysize = uint32_t(h);
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.uses_original_profile = JXL_FALSE;
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
    if (JxlEncoderSetBasicInfo(enc.get(), &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(enc.get(), &srgb) != JXL_ENC_SUCCESS ||
        JxlEncoderSetFrameDistance(settings, 1.0f) != JXL_ENC_SUCCESS ||
        JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) != JXL_ENC_SUCCESS)
        std::abort();
    JxlEncoderCloseInput(enc.get());
    std::vector<uint8_t> out(1 << 20);
    size_t used = 0;
    for (;;) {
        uint8_t* next = out.data() + used;
        size_t left = out.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(enc.get(), &next, &left);
        used = size_t(next - out.data());
        if (status == JXL_ENC_SUCCESS) break;
        if (status != JXL_ENC_NEED_MORE_OUTPUT) std::abort();
        out.resize(out.size() * 2);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), std::streamsize(used));
}

// Lossy, at the quality phones save with; HEVC for HEIC, AV1 for AVIF.
void WriteHeif(const std::string& path, int w, int h, heif_compression_format codec) {
    static const bool ready = heif_init(nullptr).code == heif_error_Ok;
    heif_context* heif = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_image_handle* handle = nullptr;
    bool ok = ready && heif_context_get_encoder_for_format(heif, codec, &encoder).code == heif_error_Ok &&
              heif_encoder_set_lossy_quality(encoder, 85).code == heif_error_Ok &&
              heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code == heif_error_Ok &&
              heif_image_add_plane(image, heif_channel_interleaved, w, h, 8).code == heif_error_Ok;
    if (ok) {
        // The encoder's default speed would spend minutes on 12 MP of AV1.
        if (codec == heif_compression_AV1) heif_encoder_set_parameter_integer(encoder, "speed", 8);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        const bench::PhotoLikeRows rows(w, h);
        for (int y = 0; y < h; ++y) rows.Row(y, plane + size_t(y) * size_t(stride));
        ok = heif_context_encode_image(heif, image, encoder, nullptr, &handle).code == heif_error_Ok &&
             heif_context_write_to_file(heif, path.c_str()).code == heif_error_Ok;
    }
    if (handle != nullptr) heif_image_handle_release(handle);
    if (image != nullptr) heif_image_release(image);
    if (encoder != nullptr) heif_encoder_release(encoder);
    heif_context_free(heif);
    if (!ok) std::abort();
}

void WriteHeic(const std::string& path, int w, int h) { WriteHeif(path, w, h, heif_compression_HEVC); }
void WriteAvif(const std::string& path, int w, int h) { WriteHeif(path, w, h, heif_compression_AV1); }

void WriteJpegBaseline(const std::string& path, int w, int h) { bench::WriteJpeg(path, w, h, false); }
void WriteJpegProgressive(const std::string& path, int w, int h) { bench::WriteJpeg(path, w, h, true); }

// ---- the table ----

struct FormatRow {
    const char* name;
    const char* extension;
    void (*write)(const std::string& path, int w, int h);
    int width, height;
    // The aim of clicks in a row against the bare decode; none: only reported.
    double inARowAim;
};

const FormatRow kFormats[] = {
    {"jpeg", ".jpg", WriteJpegBaseline, 6000, 4000, 0.90},
    {"jpeg_progressive", ".jpg", WriteJpegProgressive, 4000, 3000, NAN},
    {"bmp", ".bmp", bench::WriteBmp24, 4000, 3000, NAN},
    {"png", ".png", WritePngPlain, 4000, 3000, kInARowSlack * 1.029},
    {"png_interlaced", ".png", WritePngInterlaced, 4000, 3000, kInARowSlack * 0.978},
    {"webp", ".webp", WriteWebp, 4000, 3000, kInARowSlack * 1.032},
    {"gif", ".gif", WriteGifPlain, 4000, 3000, kInARowSlack * 1.048},
    {"gif_interlaced", ".gif", WriteGifInterlaced, 4000, 3000, kInARowSlack * 1.063},
    {"tiff", ".tif", WriteTiffStrips, 4000, 3000, kInARowSlack * 1.081},
    {"tiff_one_strip", ".tif", WriteTiffOneStrip, 4000, 3000, kInARowSlack * 1.092},
    {"jxl", ".jxl", WriteJxl, 4000, 3000, kInARowSlack * 1.030},
    {"heic", ".heic", WriteHeic, 4000, 3000, kInARowSlack * 1.019},
    {"avif", ".avif", WriteAvif, 4000, 3000, kInARowSlack * 1.056},
};

const char* Verdict(double value, double aim) {
    if (std::isnan(aim)) return "report";
    return value <= aim ? "met" : "MISSED";
}

double Ratio(const std::vector<double>& ours, const std::vector<double>& bare) {
    return ours.empty() || bare.empty() ? NAN : Median(ours) / Median(bare);
}

void RunRow(const FormatRow& row) {
    const std::string name = std::string(row.name) + "_" + std::to_string(row.width * row.height / 1000000) + "mp";
    const std::string& path = bench::FormatPicture(row.name);
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    bench::Print(name + "_bits_per_pixel", double(file.tellg()) * 8.0 / (double(row.width) * row.height));

    // Each timed click follows a bare decode with the decoder idle: at once
    // after the click before, or after a look as long as that decode.
    const bench::ProbeRun run =
        bench::RunViewerProbe("--more-formats --in-a-row 5 --looked 5 ", bench::TwoCopies(path));
    const double inARow = Ratio(run.inARowMs, run.bareMs), afterLook = Ratio(run.afterLookMs, run.bareMs);
    // In processor time: the program's and its decoder's against the bare decode's.
    const double inARowCpu = Ratio(run.inARowCpuMs, run.bareCpuMs);
    std::printf("%s_viewer_frame: %dx%d\n", name.c_str(), run.frameWidth, run.frameHeight);
    bench::Print(name + "_bare_decode_ms", Median(run.bareMs));
    bench::Print(name + "_clicks_in_a_row_ms", Median(run.inARowMs));
    bench::Print(name + "_clicks_in_a_row_ratio", inARow);
    bench::Print(name + "_clicks_in_a_row_cpu_ratio", inARowCpu);
    bench::Print(name + "_click_after_look_ms", Median(run.afterLookMs));
    bench::Print(name + "_click_after_look_ratio", afterLook);
    bench::Print(name + "_longest_stall_while_prepared_ms", run.stallMs);
    bench::Print(name + "_longest_stall_while_prepared_cpu_ms", run.stallCpuMs);
    std::printf("| %-16s | %5.3f (%5.3f) %-7s | %5.3f %-7s | %6.1f (%4.1f) |\n", row.name, inARow, inARowCpu,
                Verdict(inARow, row.inARowAim), afterLook, Verdict(afterLook, kAfterLookAim), run.stallMs, run.stallCpuMs);
    std::fflush(stdout);
}

void PrintTableHead() {
    static bool printed = false;
    if (printed) return;
    printed = true;
    std::printf("| %-16s | in a row x bare (processor) | after look <= %.2f x | stall ms (processor) |\n", "format",
                kAfterLookAim);
}

// One figure per row, "format_<name>": each prints its line of the table,
// the first to run the table's head.
const bool kRegistered = [] {
    for (const FormatRow& row : kFormats)
        bench::Registry().push_back({std::string("format_") + row.name, [&row] {
                                         PrintTableHead();
                                         RunRow(row);
                                     }});
    return true;
}();

// Twenty looked-at changes of a 24 MP PNG, the real viewer in a process of
// its own: the peak memory of the program and its decoder.
const bench::Register kPngMemory("format_png_24mp_memory", [] {
    const std::string path = bench::WorkDir() + "/png_24mp.png";
    WritePngPlain(path, 6000, 4000);
    const bench::ProbeRun run = bench::RunViewerProbe("--more-formats --look 1000 --looked 20 ", bench::TwoCopies(path));
    const double mib = bench::PrintPeaks("png_24mp_memory_peak_after_20_looked_changes", run);
    std::printf("| png 24 MP peak memory after 20 looked-at changes, program and decoder: %.1f MiB (<= 200 MiB): %s |\n",
                mib, Verdict(mib, 200));
});

}  // namespace

const std::string& bench::FormatPicture(const std::string& name) {
    static std::map<std::string, std::string> written;
    auto it = written.find(name);
    if (it != written.end()) return it->second;
    for (const FormatRow& row : kFormats) {
        if (name != row.name) continue;
        const std::string path = bench::WorkDir() + "/" + name + row.extension;
        row.write(path, row.width, row.height);
        return written[name] = path;
    }
    std::abort();
}
