#include "viewer/JpegLoader.h"

// jpeglib.h uses FILE and size_t without including their headers.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <exception>

namespace pelumir {

namespace {

// Everything the decoder touches lives here, in DecodeJpeg's frame, so that a
// longjmp out of libjpeg never skips a C++ destructor.
struct DecodeContext {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    const uint8_t* data;
    size_t size;
    Bitmap* out;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* ctx = static_cast<DecodeContext*>(cinfo->client_data);
    std::longjmp(ctx->jump, 1);
}

// Warnings (a truncated file, stray bytes between markers) never fail a load.
void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}

// A progressive file may repeat a scan any number of times; the library
// only warns, and each repeat costs a pass over the whole image, so a few
// hundred kilobytes could keep the viewer busy for hours. Real files have a
// dozen or two scans; more than this is taken as a broken file.
constexpr int kMaxScans = 500;

void LimitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) ERREXIT(cinfo, JERR_NOTIMPL);
}

// Zeroes the bytes that pad a row to 32 bits, so copies of the bitmap are
// reproducible byte for byte.
void ClearRowPadding(Bitmap& out, int y, size_t used) {
    if (used < out.Stride()) std::memset(out.Row(y) + used, 0, out.Stride() - used);
}

void ChooseOutput(jpeg_decompress_struct& cinfo) {
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_block_smoothing = TRUE;
    cinfo.buffered_image = FALSE;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = 236;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;  // the library turns YCCK into CMYK
        break;
    default:
        cinfo.out_color_space = JCS_EXT_BGR;  // a 24-bit DIB row
        break;
    }
}

// Adobe writes CMYK inverted (255 = no ink); other writers store ink amounts.
void CmykRowToBgr(const JSAMPLE* cmyk, uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = uint8_t((y * k + 127) / 255);
        bgr[1] = uint8_t((m * k + 127) / 255);
        bgr[2] = uint8_t((c * k + 127) / 255);
    }
}

void ReadCmykRows(DecodeContext* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    Bitmap& out = *ctx->out;
    const bool inverted = cinfo.saw_Adobe_marker;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * 4, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1) ERREXIT(&cinfo, JERR_INPUT_EMPTY);
        CmykRowToBgr(row[0], out.Row(y), cinfo.output_width, inverted);
        ClearRowPadding(out, y, size_t(cinfo.output_width) * 3);
    }
}

// Greyscale and colour output go straight into the bitmap's rows.
void ReadDirectRows(DecodeContext* ctx, size_t rowBytes) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    Bitmap& out = *ctx->out;
    constexpr int kBatch = 16;
    JSAMPROW rows[kBatch];
    while (cinfo.output_scanline < cinfo.output_height) {
        const int first = int(cinfo.output_scanline);
        const int count = int(std::min<JDIMENSION>(kBatch, cinfo.output_height - cinfo.output_scanline));
        for (int i = 0; i < count; ++i) rows[i] = out.Row(first + i);
        const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count));
        // A memory source never suspends; no progress means a broken stream.
        if (got == 0) ERREXIT(&cinfo, JERR_INPUT_EMPTY);
        for (JDIMENSION i = 0; i < got; ++i) ClearRowPadding(out, first + int(i), rowBytes);
    }
}

void CopyColormap(jpeg_decompress_struct& cinfo, Bitmap& out) {
    auto& palette = out.Palette();
    palette.assign(size_t(cinfo.actual_number_of_colors), 0);
    for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
        const uint32_t grey = cinfo.colormap[0][i];
        palette[size_t(i)] = grey << 16 | grey << 8 | grey;
    }
}

// The whole decode. Runs under the setjmp of RunGuarded; its locals are all
// trivially destructible. Bitmap::Allocate may throw a C++ exception, which
// leaves through RunGuarded as usual (it is never raised inside libjpeg).
void Decode(DecodeContext* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    Bitmap& out = *ctx->out;
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &ctx->progress;  // creating the decoder cleared it
    // Whole-image buffers of progressive files beyond this fail instead of
    // exhausting memory; they come from the same budget as the bitmap.
    cinfo.mem->max_memory_to_use = long(kMaxBitmapBytes);
    jpeg_mem_src(&cinfo, ctx->data, static_cast<unsigned long>(ctx->size));
    jpeg_read_header(&cinfo, TRUE);
    ChooseOutput(cinfo);
    jpeg_calc_output_dimensions(&cinfo);

    // Size the bitmap before libjpeg allocates anything large, so an absurd
    // header fails here.
    const bool indexed = cinfo.quantize_colors;
    const int bitsPerPixel = indexed ? 8 : 24;
    out.Allocate(int(cinfo.output_width), int(cinfo.output_height), bitsPerPixel, Bitmap::Init::Uninitialised);
    out.SetDevice(false);
    out.SetMasks({});
    out.Palette().clear();

    jpeg_start_decompress(&cinfo);
    if (cinfo.out_color_space == JCS_CMYK) {
        ReadCmykRows(ctx);
    } else {
        if (indexed) CopyColormap(cinfo, out);
        ReadDirectRows(ctx, size_t(cinfo.output_width) * size_t(cinfo.output_components));
    }
    jpeg_finish_decompress(&cinfo);
}

// The one function with a setjmp. It holds nothing that needs destroying.
bool RunGuarded(DecodeContext* ctx) {
    if (setjmp(ctx->jump) != 0) return false;
    Decode(ctx);
    return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap& out) {
    DecodeContext ctx{};
    ctx.data = data;
    ctx.size = size;
    ctx.out = &out;
    ctx.cinfo.err = jpeg_std_error(&ctx.errors);
    ctx.errors.error_exit = ErrorExit;
    ctx.errors.emit_message = IgnoreMessage;
    ctx.errors.output_message = IgnoreOutput;
    ctx.progress.progress_monitor = LimitScans;
    ctx.cinfo.client_data = &ctx;

    bool ok = false;
    if (data != nullptr && size > 0) {
        try {
            ok = RunGuarded(&ctx);
        } catch (const std::exception&) {
            ok = false;  // the bitmap refused the size, or memory ran out
        }
    }
    jpeg_destroy_decompress(&ctx.cinfo);
    if (!ok) out.Clear();
    return ok;
}

}  // namespace pelumir
