// The change figures of the other formats, one row of a table each: a
// 12 MP picture saved by the format's own library, then its cold change
// against a bare decode of the same file by the same library, the change
// after a look of a second (the picture prepared meanwhile), and the
// longest piece of that preparation against djpeg's 24 MP decode. A row
// ends with one line of the summary table, its figures against the aims.
#include <csetjmp>
#include <cstdio>

#include <gif_lib.h>
#include <jxl/encode.h>
#include <libheif/heif.h>
#include <jxl/encode_cxx.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/ChangeMeasures.h"
#include "bench/PhotoLikeRows.h"
#include "bench/probe/BareDecode.h"
#include "viewer/ImagePreparation.h"

namespace {

using bench::Median;
using bench::Timing;

constexpr int kScreenW = 1920, kScreenH = 1080;

// The aims: a cold change within 10 % of the bare decode, a change after a
// look of a second within 15 % of it, and no piece of preparation longer
// than 8 % of djpeg's 24 MP decode.
constexpr double kColdAim = 1.10, kPreparedAim = 0.15, kStepAim = 0.08;

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

// ---- the table ----

struct FormatRow {
    const char* name;
    const char* extension;
    void (*write)(const std::string& path, int w, int h);
    // Whether the cold change is held to its aim, or only reported.
    bool coldAimed;
    // Whether the format is prepared in small pieces, so the longest piece
    // is held to its aim, or in one (then reported only).
    bool stepped;
};

const FormatRow kFormats[] = {
    {"png", ".png", WritePngPlain, true, true},
    {"png_interlaced", ".png", WritePngInterlaced, true, true},
    {"webp", ".webp", WriteWebp, true, true},
    {"gif", ".gif", WriteGifPlain, false, true},
    {"gif_interlaced", ".gif", WriteGifInterlaced, false, true},
    {"tiff", ".tif", WriteTiffStrips, true, true},
    {"tiff_one_strip", ".tif", WriteTiffOneStrip, true, true},
    {"jxl", ".jxl", WriteJxl, true, true},
    {"heic", ".heic", WriteHeic, true, false},
    {"avif", ".avif", WriteAvif, true, false},
};

// ---- the figures ----

// The first picture of a show, or one larger than any before: a change
// made at the click, with fresh storage, as the viewer makes it.
Timing TimeColdChange(const std::string& path) {
    const double wall = bench::NowMs(), cpu = bench::ProcessCpuMs();
    {
        pelumir::ImagePreparation change;
        change.OtherFormats(true);
        change.KeepPicture(false);
        change.Start(path, kScreenW, kScreenH);
        change.Finish();
        if (!change.Loaded()) std::abort();
    }
    return {bench::NowMs() - wall, bench::ProcessCpuMs() - cpu};
}

Timing TimeBareDecode(const std::string& path) {
    const double wall = bench::NowMs(), cpu = bench::ProcessCpuMs();
    if (!bench::BareDecode(path)) std::abort();
    return {bench::NowMs() - wall, bench::ProcessCpuMs() - cpu};
}

double MedianOf(const std::vector<Timing>& runs, double Timing::*field) {
    std::vector<double> v;
    for (const Timing& t : runs) v.push_back(t.*field);
    return Median(v);
}

const char* Verdict(double value, double aim, bool aimed) {
    if (!aimed) return "report";
    return value <= aim ? "met" : "MISSED";
}

void RunRow(const FormatRow& row) {
    const std::string name = std::string(row.name) + "_12mp";
    const std::string path = bench::WorkDir() + "/" + name + row.extension;
    row.write(path, 4000, 3000);
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    bench::Print(name + "_bits_per_pixel", double(file.tellg()) * 8.0 / 12e6);

    // Cold: in turns, so neither always finds the caches warm.
    TimeBareDecode(path);
    std::vector<Timing> ours, bare;
    for (int i = 0; i < 7; ++i) {
        if (i % 2 == 0) ours.push_back(TimeColdChange(path));
        bare.push_back(TimeBareDecode(path));
        if (i % 2 != 0) ours.push_back(TimeColdChange(path));
    }
    const double cold = MedianOf(ours, &Timing::wallMs) / MedianOf(bare, &Timing::wallMs);
    bench::Print(name + "_cold_change_ms", MedianOf(ours, &Timing::wallMs));
    bench::Print(name + "_bare_decode_ms", MedianOf(bare, &Timing::wallMs));
    bench::Print(name + "_cold_ratio", cold);
    bench::Print(name + "_cold_cpu_ratio", MedianOf(ours, &Timing::cpuMs) / MedianOf(bare, &Timing::cpuMs));

    // A look of a second at each picture, the next one prepared meanwhile.
    const std::vector<std::string> two = bench::TwoCopies(path);
    const bench::ProbeRun looked = bench::RunViewerProbe(1000, 9, two, "--more-formats ");
    const double prepared = looked.changeMs.empty() ? NAN : Median(looked.changeMs) / Median(looked.bareMs);
    bench::Print(name + "_click_after_1s_look_ms", Median(looked.changeMs));
    bench::Print(name + "_click_after_1s_look_bare_ms", Median(looked.bareMs));
    bench::Print(name + "_click_after_1s_look_ratio", prepared);

    // The longest piece of preparation against djpeg's 24 MP decode.
    pelumir::TViewerConfig config;
    config.MoreFormats = true;
    const double djpeg24 = bench::DjpegMedianMs(bench::Jpeg24mp(), 5);
    const Timing step = bench::LongestStep(two, config);
    bench::Print(name + "_prepare_longest_step_ms", step.wallMs);
    bench::Print(name + "_prepare_longest_step_ratio", step.wallMs / djpeg24);
    bench::Print(name + "_prepare_longest_step_cpu_ratio", step.cpuMs / djpeg24);

    // The step's verdict goes by processor time: on a busy machine the
    // wall time also counts the time others held the processor.
    const double stepWall = step.wallMs / djpeg24, stepCpu = step.cpuMs / djpeg24;
    std::printf("| %-16s | %5.3f %-7s | %5.3f %-7s | %5.3f (wall %5.3f) %-7s |\n", row.name, cold,
                Verdict(cold, kColdAim, row.coldAimed), prepared, Verdict(prepared, kPreparedAim, true), stepCpu,
                stepWall, Verdict(stepCpu, kStepAim, row.stepped));
    std::fflush(stdout);
}

void PrintTableHead() {
    static bool printed = false;
    if (printed) return;
    printed = true;
    std::printf("| %-16s | cold <= %.2f x | look <= %.2f x | step <= %.2f x (processor time) |\n", "format", kColdAim,
                kPreparedAim, kStepAim);
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
// its own: its peak memory.
const bench::Register kPngMemory("format_png_24mp_memory", [] {
    const std::string path = bench::WorkDir() + "/png_24mp.png";
    WritePngPlain(path, 6000, 4000);
    const bench::ProbeRun run = bench::RunViewerProbe(1000, 20, bench::TwoCopies(path), "--more-formats ");
    bench::Print("png_24mp_click_after_1s_look_ratio", Median(run.changeMs) / Median(run.bareMs));
    const double mib = run.peakKiB / 1024.0;
    bench::Print("png_24mp_memory_peak_after_20_looked_changes_mib", mib);
    std::printf("| png 24 MP peak memory after 20 looked-at changes: %.1f MiB (<= 200 MiB): %s |\n", mib,
                Verdict(mib, 200, true));
});

}  // namespace
