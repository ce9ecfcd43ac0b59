#include "image/JpegLoader.h"

// jpeglib.h uses FILE and size_t without including their headers.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/FileSystem.h"

namespace pelumir {

namespace {

// Everything the decoder touches lives here, in its caller's frame, so
// that a longjmp out of libjpeg never skips a C++ destructor.
struct Context {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    jpeg_source_mgr source;
    std::jmp_buf jump;
    FileInput* in;
    uint8_t* window;  // holds the piece of the file being read on
    size_t windowBytes;
    bool restEnded;
    RowSink* out;
    Orientation orientation;
    size_t stride;  // of the rows the sink gives
    JSAMPARRAY cmykRow;
    // The embedded profile as libjpeg assembles it (malloc'd), or null.
    JOCTET* icc;
    unsigned iccBytes;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* ctx = static_cast<Context*>(cinfo->client_data);
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

// Also where a progressive file's scans, gathered before any row, can be
// dropped when the picture is no longer wanted.
void LimitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) ERREXIT(cinfo, JERR_NOTIMPL);
    if (!static_cast<Context*>(cinfo->client_data)->out->Wanted()) ERREXIT(cinfo, JERR_NOTIMPL);
}

// Zeroes the bytes that pad a row to 32 bits, so copies of the bitmap are
// reproducible byte for byte.
void ClearRowPadding(const Context* ctx, uint8_t* row, size_t used) {
    if (used < ctx->stride) std::memset(row + used, 0, ctx->stride - used);
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

// The bytes in memory come first, then, for a file read on as it is
// decoded, the file's next pieces, each once the library has used every
// byte before it. Past the last byte it behaves as libjpeg's memory source
// does: a warning and an inserted end-of-image marker, so a truncated file
// decodes to full size.
void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

boolean FillInput(j_decompress_ptr cinfo) {
    auto* ctx = static_cast<Context*>(cinfo->client_data);
    jpeg_source_mgr* src = cinfo->src;
    if (!ctx->restEnded) {
        const ptrdiff_t got = ctx->in->ReadOn(ctx->window, ctx->windowBytes);
        if (got < 0) ERREXIT(cinfo, JERR_FILE_READ);
        if (got > 0) {
            src->next_input_byte = ctx->window;
            src->bytes_in_buffer = size_t(got);
            return TRUE;
        }
        ctx->restEnded = true;
    }
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->next_input_byte = kFakeEoi;
    src->bytes_in_buffer = 2;
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) return;
    size_t n = size_t(count);
    while (n > src->bytes_in_buffer) {
        n -= src->bytes_in_buffer;
        src->bytes_in_buffer = 0;
        FillInput(cinfo);
    }
    src->next_input_byte += n;
    src->bytes_in_buffer -= n;
}

void InstallSource(Context* ctx) {
    ctx->source.init_source = InitSource;
    ctx->source.fill_input_buffer = FillInput;
    ctx->source.skip_input_data = SkipInput;
    ctx->source.resync_to_restart = jpeg_resync_to_restart;
    ctx->source.term_source = TermSource;
    ctx->source.next_input_byte = ctx->in->Bytes().data();
    ctx->source.bytes_in_buffer = ctx->in->Bytes().size();
    ctx->cinfo.src = &ctx->source;
}

// Where the next batch of rows starts and how many rows it holds: rows
// the sink will not look at are passed over first, the library then doing
// less than making them, and a batch holds only rows the sink wants.
// Rows made after a pass come out exactly as in a full decode, except
// after colour quantizing, whose dithering carries on from row to row.
// The last row is always made, so the end of the file is read as in a
// full decode and a file fails or not as it always has.
int NextBatch(Context* ctx, int& count) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    RowSink& out = *ctx->out;
    const int height = int(cinfo.output_height);
    int first = int(cinfo.output_scanline);
    count = std::min(RowSink::kMaxBatch, height - first);
    if (cinfo.quantize_colors) return first;
    const int wanted = std::min(out.NextRowWanted(first), height - 1);
    if (wanted > first) {
        // The library makes rows in groups as high as the largest vertical
        // sampling factor. A pass that starts inside a group and goes
        // beyond it leaves the group's other rows queued, and they come
        // out later as the wrong rows; a pass within the group is made
        // right (those rows are made, without their colours). So the rest
        // of the group is passed over on its own first.
        const int group = std::max(1, cinfo.max_v_samp_factor);
        if (first % group != 0)
            jpeg_skip_scanlines(&cinfo, JDIMENSION(std::min(group - first % group, wanted - first)));
        if (wanted > int(cinfo.output_scanline))
            jpeg_skip_scanlines(&cinfo, JDIMENSION(wanted - int(cinfo.output_scanline)));
        first = int(cinfo.output_scanline);
        count = std::min(RowSink::kMaxBatch, height - first);
    }
    int wantedRun = 1;
    while (wantedRun < count && out.NextRowWanted(first + wantedRun) == first + wantedRun) ++wantedRun;
    count = wantedRun;
    return first;
}

// One batch of CMYK rows, converted as they come.
bool ReadCmykRows(Context* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    RowSink& out = *ctx->out;
    const bool inverted = cinfo.saw_Adobe_marker;
    int count = 0;
    const int first = NextBatch(ctx, count);
    int done = 0;
    for (; done < count; ++done) {
        if (jpeg_read_scanlines(&cinfo, ctx->cmykRow, 1) != 1) break;
        uint8_t* row = out.Row(first + done);
        CmykRowToBgr(ctx->cmykRow[0], row, cinfo.output_width, inverted);
        ClearRowPadding(ctx, row, size_t(cinfo.output_width) * 3);
    }
    if (done != 0) out.RowsDone(first, done);
    return done != 0;
}

// One batch of greyscale or colour rows, straight into the bitmap's rows.
bool ReadDirectRows(Context* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    RowSink& out = *ctx->out;
    const size_t rowBytes = size_t(cinfo.output_width) * size_t(cinfo.output_components);
    JSAMPROW rows[RowSink::kMaxBatch];
    int count = 0;
    const int first = NextBatch(ctx, count);
    for (int i = 0; i < count; ++i) rows[i] = out.Row(first + i);
    const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count));
    for (JDIMENSION i = 0; i < got; ++i) ClearRowPadding(ctx, rows[i], rowBytes);
    if (got != 0) out.RowsDone(first, int(got));
    return got != 0;
}

void CopyColormap(jpeg_decompress_struct& cinfo, RowSink& out) {
    auto& palette = out.Palette();
    palette.assign(size_t(cinfo.actual_number_of_colors), 0);
    for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
        const uint32_t grey = cinfo.colormap[0][i];
        palette[size_t(i)] = grey << 16 | grey << 8 | grey;
    }
}

void AfterHeader(Context* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    ChooseOutput(cinfo);
    jpeg_calc_output_dimensions(&cinfo);
    // Size the bitmap before libjpeg allocates anything large, so an absurd
    // header fails here.
    const int bitsPerPixel = cinfo.quantize_colors ? 8 : 24;
    ctx->out->Begin(int(cinfo.output_width), int(cinfo.output_height), bitsPerPixel, ctx->orientation);
    ctx->stride = Bitmap::StrideFor(int(cinfo.output_width), bitsPerPixel);
}

void AfterStart(Context* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    if (cinfo.out_color_space == JCS_CMYK)
        ctx->cmykRow = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                  cinfo.output_width * 4, 1);
    else if (cinfo.quantize_colors)
        CopyColormap(cinfo, *ctx->out);
}

// The whole decode, under the setjmp of RunGuarded; its locals are all
// trivially destructible. The sink may throw a C++ exception, which leaves
// through RunGuarded as usual (it is never raised inside libjpeg). False
// when the picture is no longer wanted.
bool Work(Context* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &ctx->progress;  // creating the decoder cleared it
    // Whole-image buffers of progressive files beyond this fail instead of
    // exhausting memory; they come from the same budget as the bitmap.
    cinfo.mem->max_memory_to_use = long(kMaxBitmapBytes);
    InstallSource(ctx);
    // The profile's pieces come before the first scan, so they are all in
    // by the end of the header however the file is read.
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    // A missing or out-of-order piece gives no profile, only a warning.
    if (!jpeg_read_icc_profile(&cinfo, &ctx->icc, &ctx->iccBytes)) ctx->icc = nullptr;
    AfterHeader(ctx);
    // A progressive file's scans are all gathered here.
    jpeg_start_decompress(&cinfo);
    AfterStart(ctx);
    while (cinfo.output_scanline < cinfo.output_height) {
        if (!ctx->out->Wanted()) return false;
        const bool made = cinfo.out_color_space == JCS_CMYK ? ReadCmykRows(ctx) : ReadDirectRows(ctx);
        if (!made) ERREXIT(&cinfo, JERR_INPUT_EMPTY);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

// The one function with a setjmp. It holds nothing that needs destroying.
bool RunGuarded(Context* ctx) {
    if (setjmp(ctx->jump) != 0) return false;
    return Work(ctx);
}

// Destroys the library's state on every way out, a thrown exception included.
struct Destroy {
    Context* ctx;
    ~Destroy() {
        jpeg_destroy_decompress(&ctx->cinfo);
        std::free(ctx->icc);
    }
};

}  // namespace

std::optional<Decoded> DecodeJpeg(FileInput& in, RowSink& out) {
    if (in.Bytes().empty()) return std::nullopt;
    std::vector<uint8_t> window(in.ReadsOn() ? std::max<size_t>(in.PieceBytes(), 1) : 0);
    Context ctx{};
    ctx.in = &in;
    ctx.window = window.data();
    ctx.windowBytes = window.size();
    ctx.restEnded = !in.ReadsOn();
    ctx.out = &out;
    ctx.orientation = in.ExifOrientation();
    ctx.cinfo.err = jpeg_std_error(&ctx.errors);
    ctx.errors.error_exit = ErrorExit;
    ctx.errors.emit_message = IgnoreMessage;
    ctx.errors.output_message = IgnoreOutput;
    ctx.progress.progress_monitor = LimitScans;
    ctx.cinfo.client_data = &ctx;
    const Destroy destroy{&ctx};  // a no-op on a decoder never created
    if (!RunGuarded(&ctx)) return std::nullopt;
    return Decoded{int(ctx.cinfo.output_width), int(ctx.cinfo.output_height), ctx.orientation,
                   IccColour({ctx.icc, ctx.icc != nullptr ? ctx.iccBytes : 0u})};
}

}  // namespace pelumir
