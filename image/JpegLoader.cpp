#include "image/JpegLoader.h"

// jpeglib.h uses FILE and size_t without including their headers.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/FileSystem.h"

namespace pelumir {

namespace {

enum class Phase { Header, Start, Rows, Finish, Done };

}  // namespace

// Everything the decoder touches lives here, on the heap between steps, so
// that a longjmp out of libjpeg never skips a C++ destructor.
struct JpegDecoder::Context {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    jpeg_source_mgr source;
    std::jmp_buf jump;
    const uint8_t* data;
    size_t size;
    size_t fed;         // how much of the input the library may see so far
    size_t pieceBytes;  // 0: all of it from the start
    bool suspends;      // whether the library stops for more input (else it waits for it)
    FileReader* rest;   // the file after `data`, read on as needed; null: all in memory
    bool restEnded;
    std::vector<uint8_t>* window;  // holds the piece of `rest` being used
    RowSink* out;
    size_t stride;  // of the rows the sink gives
    Phase phase;
    JSAMPARRAY cmykRow;
};

namespace {

using DecodeContext = JpegDecoder::Context;

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
void ClearRowPadding(const DecodeContext* ctx, uint8_t* row, size_t used) {
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

// The library is shown the input a piece at a time while it parses, so its
// work can stop at any piece's end (it suspends and resumes where it was):
// first the bytes in memory, then, for a file read on as it is decoded,
// the file's next pieces. Once it makes rows it cannot suspend, and waits
// for the next piece instead. Past the last byte it behaves as libjpeg's
// memory source does: a warning and an inserted end-of-image marker, so a
// truncated file decodes to full size as it always has.
void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

bool InData(const DecodeContext* ctx, const JOCTET* p) { return p >= ctx->data && p <= ctx->data + ctx->size; }

bool MoreToShow(const DecodeContext* ctx) { return ctx->fed < ctx->size || (ctx->rest != nullptr && !ctx->restEnded); }

// Shows the library more input: the next piece of the bytes in memory (all
// of them with `all`), then the file's next piece. After a suspension the
// library goes on from the bytes it has not used yet, which come first;
// when it asks for more while it works, it has used every byte (and the
// source's position may be stale: it keeps its own while decoding).
// False when there is no more.
bool ShowMore(DecodeContext* ctx, bool all, bool afterSuspension) {
    jpeg_source_mgr* src = ctx->cinfo.src;
    if (ctx->fed < ctx->size) {
        ctx->fed = all ? ctx->size : std::min(ctx->size, ctx->fed + ctx->pieceBytes);
        if (InData(ctx, src->next_input_byte))
            src->bytes_in_buffer = size_t(ctx->data + ctx->fed - src->next_input_byte);
        return true;
    }
    if (ctx->rest == nullptr || ctx->restEnded) return false;
    std::vector<uint8_t>& window = *ctx->window;
    const size_t keep = afterSuspension ? src->bytes_in_buffer : 0;
    const bool inWindow = !window.empty() && src->next_input_byte >= window.data() &&
                          src->next_input_byte <= window.data() + window.size();
    const size_t from = inWindow ? size_t(src->next_input_byte - window.data()) : 0;
    if (!inWindow && keep != 0) {
        // The last of the bytes in memory go first.
        window.resize(keep + ctx->pieceBytes);
        std::memcpy(window.data(), src->next_input_byte, keep);
    } else {
        window.resize(std::max(window.size(), keep + ctx->pieceBytes));
        std::memmove(window.data(), window.data() + from, keep);
    }
    const ptrdiff_t got = ctx->rest->ReadOn(window.data() + keep, ctx->pieceBytes);
    if (got < 0) ERREXIT(&ctx->cinfo, JERR_FILE_READ);
    src->next_input_byte = window.data();
    src->bytes_in_buffer = keep + size_t(got);
    ctx->restEnded = got == 0;
    return got != 0;
}

void ShowMoreOrEnd(j_decompress_ptr cinfo) {
    if (ShowMore(static_cast<DecodeContext*>(cinfo->client_data), true, false)) return;
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kFakeEoi;
    cinfo->src->bytes_in_buffer = 2;
}

boolean FillInput(j_decompress_ptr cinfo) {
    auto* ctx = static_cast<DecodeContext*>(cinfo->client_data);
    if (ctx->suspends && MoreToShow(ctx)) return FALSE;  // until Feed shows the next piece
    ShowMoreOrEnd(cinfo);
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    auto* ctx = static_cast<DecodeContext*>(cinfo->client_data);
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) return;
    size_t n = size_t(count);
    // Skipped bytes in memory are passed over at once, shown yet or not.
    if (InData(ctx, src->next_input_byte)) {
        const size_t left = size_t(ctx->data + ctx->size - src->next_input_byte);
        const size_t step = std::min(n, left);
        src->next_input_byte += step;
        n -= step;
        ctx->fed = std::max(ctx->fed, size_t(src->next_input_byte - ctx->data));
        src->bytes_in_buffer = size_t(ctx->data + ctx->fed - src->next_input_byte);
        if (n == 0) return;
        ctx->fed = ctx->size;
        src->bytes_in_buffer = 0;
    }
    while (n > src->bytes_in_buffer) {
        n -= src->bytes_in_buffer;
        src->bytes_in_buffer = 0;
        ShowMoreOrEnd(cinfo);
    }
    src->next_input_byte += n;
    src->bytes_in_buffer -= n;
}

// Shows the library the next piece of input after it suspended.
void Feed(DecodeContext* ctx) {
    // Everything seen and still no progress: a broken stream.
    if (!MoreToShow(ctx)) ERREXIT(&ctx->cinfo, JERR_INPUT_EMPTY);
    ShowMore(ctx, !ctx->suspends, true);
}

void InstallSource(DecodeContext* ctx) {
    ctx->source.init_source = InitSource;
    ctx->source.fill_input_buffer = FillInput;
    ctx->source.skip_input_data = SkipInput;
    ctx->source.resync_to_restart = jpeg_resync_to_restart;
    ctx->source.term_source = TermSource;
    ctx->suspends = ctx->pieceBytes != 0;
    ctx->fed = ctx->pieceBytes == 0 ? ctx->size : std::min(ctx->size, ctx->pieceBytes);
    ctx->source.next_input_byte = ctx->data;
    ctx->source.bytes_in_buffer = ctx->fed;
    ctx->cinfo.src = &ctx->source;
}

// Where the next batch of rows starts and how many rows it holds: rows
// the sink will not look at are passed over first, the library then doing
// less than making them, and a batch holds only rows the sink wants.
// Rows made after a pass come out exactly as in a full decode, except
// after colour quantizing, whose dithering carries on from row to row.
// The last row is always made, so the end of the file is read as in a
// full decode and a file fails or not as it always has.
int NextBatch(DecodeContext* ctx, int& count) {
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
bool ReadCmykRows(DecodeContext* ctx) {
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
bool ReadDirectRows(DecodeContext* ctx) {
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

void AfterHeader(DecodeContext* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    // The arithmetic decoder cannot suspend mid-scan (it fails instead):
    // such rare files see all their input at once.
    if (cinfo.arith_code && ctx->suspends) {
        ctx->suspends = false;
        ShowMore(ctx, true, true);
    }
    ChooseOutput(cinfo);
    jpeg_calc_output_dimensions(&cinfo);
    // Size the bitmap before libjpeg allocates anything large, so an absurd
    // header fails here.
    const int bitsPerPixel = cinfo.quantize_colors ? 8 : 24;
    ctx->out->Begin(int(cinfo.output_width), int(cinfo.output_height), bitsPerPixel);
    ctx->stride = Bitmap::StrideFor(int(cinfo.output_width), bitsPerPixel);
}

void AfterStart(DecodeContext* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    if (cinfo.out_color_space == JCS_CMYK)
        ctx->cmykRow = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                  cinfo.output_width * 4, 1);
    else if (cinfo.quantize_colors)
        CopyColormap(cinfo, *ctx->out);
}

// One piece of work; false when the library suspended for more input.
bool Advance(DecodeContext* ctx) {
    jpeg_decompress_struct& cinfo = ctx->cinfo;
    switch (ctx->phase) {
    case Phase::Header:
        if (jpeg_read_header(&cinfo, TRUE) == JPEG_SUSPENDED) return false;
        AfterHeader(ctx);
        ctx->phase = Phase::Start;
        return true;
    case Phase::Start:
        // A progressive file's scans are all gathered here.
        if (!jpeg_start_decompress(&cinfo)) return false;
        AfterStart(ctx);
        ctx->phase = Phase::Rows;
        // From here the library never suspends: passing over rows cannot
        // stop for more, it would go on with the input missing.
        ctx->suspends = false;
        if (ctx->fed < ctx->size) ShowMore(ctx, true, true);
        return true;
    case Phase::Rows:
        if (cinfo.output_scanline >= cinfo.output_height) {
            ctx->phase = Phase::Finish;
            return true;
        }
        return cinfo.out_color_space == JCS_CMYK ? ReadCmykRows(ctx) : ReadDirectRows(ctx);
    case Phase::Finish:
        if (!jpeg_finish_decompress(&cinfo)) return false;
        ctx->phase = Phase::Done;
        return true;
    case Phase::Done:
        return true;
    }
    return true;
}

// Runs under the setjmp of RunGuarded; its locals are all trivially
// destructible. The sink may throw a C++ exception, which leaves
// through RunGuarded as usual (it is never raised inside libjpeg).
void Work(DecodeContext* ctx, StepDeadline deadline) {
    do {
        if (!Advance(ctx)) Feed(ctx);
    } while (ctx->phase != Phase::Done && (deadline == kNoDeadline || std::chrono::steady_clock::now() < deadline));
}

// The one function with a setjmp. It holds nothing that needs destroying.
bool RunGuarded(DecodeContext* ctx, StepDeadline deadline) {
    if (setjmp(ctx->jump) != 0) return false;
    Work(ctx, deadline);
    return true;
}

}  // namespace

JpegDecoder::JpegDecoder() = default;
JpegDecoder::~JpegDecoder() { Cancel(); }

void JpegDecoder::Start(std::span<const uint8_t> file, RowSink& out, size_t pieceBytes) {
    Begin(file, nullptr, out, pieceBytes);
}

void JpegDecoder::StartReadingOn(std::span<const uint8_t> head, FileReader& rest, RowSink& out, size_t pieceBytes) {
    Begin(head, &rest, out, pieceBytes);
}

void JpegDecoder::Begin(std::span<const uint8_t> file, FileReader* rest, RowSink& out, size_t pieceBytes) {
    Cancel();
    if (ctx_ == nullptr) ctx_ = std::make_unique<Context>();
    Context& ctx = *ctx_;
    ctx = Context{};
    ctx.data = file.data();
    ctx.size = file.size();
    ctx.pieceBytes = pieceBytes;
    ctx.rest = pieceBytes != 0 ? rest : nullptr;
    ctx.window = &window_;
    ctx.out = &out;
    ctx.phase = Phase::Header;
    ctx.cinfo.err = jpeg_std_error(&ctx.errors);
    ctx.errors.error_exit = ErrorExit;
    ctx.errors.emit_message = IgnoreMessage;
    ctx.errors.output_message = IgnoreOutput;
    ctx.progress.progress_monitor = LimitScans;
    ctx.cinfo.client_data = &ctx;
    if (ctx.data == nullptr || ctx.size == 0) {
        state_ = State::Failed;
        return;
    }
    jpeg_create_decompress(&ctx.cinfo);
    ctx.cinfo.progress = &ctx.progress;  // creating the decoder cleared it
    // Whole-image buffers of progressive files beyond this fail instead of
    // exhausting memory; they come from the same budget as the bitmap.
    ctx.cinfo.mem->max_memory_to_use = long(kMaxBitmapBytes);
    InstallSource(&ctx);
    state_ = State::Working;
}

Decoder::State JpegDecoder::Step(StepDeadline deadline) {
    if (state_ != State::Working) return state_;
    bool ok = false;
    try {
        ok = RunGuarded(ctx_.get(), deadline);
    } catch (const std::exception&) {
        ok = false;  // the sink refused the size, or memory ran out
    }
    if (ok && ctx_->phase != Phase::Done) return state_;
    Cancel();
    state_ = ok ? State::Done : State::Failed;
    return state_;
}

void JpegDecoder::Cancel() {
    if (state_ == State::Working) jpeg_destroy_decompress(&ctx_->cinfo);
    state_ = State::Failed;
}

bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap& out) {
    JpegDecoder decode;
    return DecodeWhole(decode, {data, size}, out);
}

}  // namespace pelumir
