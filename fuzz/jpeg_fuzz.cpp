// The JPEG loader on arbitrary bytes: it either gives a whole image or fails
// with an empty bitmap, and the image it gives can be drawn. Read on from a
// file in small pieces, the same bytes give the same result.
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "FuzzCheck.h"
#include "platform/Bitmap.h"
#include "platform/FileSystem.h"
#include "image/JpegLoader.h"
#include "viewer/StretchDraw.h"

using pelumir::Orientation;

namespace {

struct HeaderProbe {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    std::jmp_buf jump;
};

[[noreturn]] void ProbeError(j_common_ptr cinfo) { std::longjmp(static_cast<HeaderProbe*>(cinfo->client_data)->jump, 1); }
void ProbeMessage(j_common_ptr, int) {}

// Pixels the header claims, or 0 when it has none. Only used to keep each
// run short: the loader is never told.
uint64_t ClaimedPixels(const uint8_t* data, size_t size) {
    HeaderProbe p{};
    p.cinfo.err = jpeg_std_error(&p.errors);
    p.errors.error_exit = ProbeError;
    p.errors.emit_message = ProbeMessage;
    p.cinfo.client_data = &p;
    uint64_t pixels = 0;
    if (setjmp(p.jump) == 0) {
        jpeg_create_decompress(&p.cinfo);
        jpeg_mem_src(&p.cinfo, data, static_cast<unsigned long>(size));
        jpeg_read_header(&p.cinfo, TRUE);
        pixels = uint64_t(p.cinfo.image_width) * p.cinfo.image_height;
    }
    jpeg_destroy_decompress(&p.cinfo);
    return pixels;
}

// Fits the rows into `to` turned as told, whatever the file says.
struct Turned final : pelumir::RowSink {
    Turned(pelumir::FittedSink& to, Orientation turn) : to(to), turn(turn) {}
    pelumir::FittedSink& to;
    Orientation turn;
    void Begin(int w, int h, int bits, Orientation) override { to.Begin(w, h, bits, turn); }
    std::vector<uint32_t>& Palette() override { return to.Palette(); }
    uint8_t* Row(int y) override { return to.Row(y); }
    void RowsDone(int first, int count) override { to.RowsDone(first, count); }
    int NextRowWanted(int y) override { return to.NextRowWanted(y); }
    pelumir::Bitmap& Whole() override { return to.Whole(); }
    void WholeDone(Orientation) override { to.WholeDone(turn); }
    void Abandon() override { to.Abandon(); }
};

// One decode, a refused size a failure as the load takes it.
bool Decode(pelumir::FileInput& in, pelumir::RowSink& out) {
    try {
        return pelumir::DecodeJpeg(in, out).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Claims past the bitmap limit are refused before any pixel work and are
    // worth running; big images within it only decode slowly under ASan.
    const uint64_t pixels = ClaimedPixels(data, size);
    if (pixels > (uint64_t(1) << 20) && pixels <= pelumir::kMaxBitmapBytes) return -1;

    pelumir::Bitmap out;
    out.Allocate(8, 8, 24);  // a bitmap that held an image before
    const bool ok = pelumir::DecodeWhole(pelumir::DecodeJpeg, {data, size}, out);
    // Begun on the first bytes and reading the rest of the file on, in
    // pieces of another size: the same again.
    const int fd = memfd_create("jpeg", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0 && write(fd, data, size) == ssize_t(size));
    pelumir::FileBytes head;
    pelumir::FileReader reader;
    FUZZ_CHECK(reader.Open("/proc/self/fd/" + std::to_string(fd), head, pelumir::kMaxBitmapBytes));
    if (!reader.ReadSome(1 + size % 89)) {
        pelumir::Bitmap readOn;
        pelumir::PictureSink readOnSink(readOn);
        pelumir::FileInput in(head, reader, true, 1 + size % 61);
        FUZZ_CHECK(ok == Decode(in, readOnSink));
        if (!ok) readOn.Clear();
        FUZZ_CHECK(readOn.Width() == out.Width() && readOn.Height() == out.Height());
        FUZZ_CHECK(readOn.Palette() == out.Palette());
        FUZZ_CHECK(out.ByteSize() == 0 || std::memcmp(readOn.Bits(), out.Bits(), out.ByteSize()) == 0);
    }
    reader.Close();
    close(fd);
    if (!ok) {
        FUZZ_CHECK(out.Empty());
        return 0;
    }
    FUZZ_CHECK(!out.Empty());
    FUZZ_CHECK(out.BitsPerPixel() == 24 || out.BitsPerPixel() == 8);
    FUZZ_CHECK(out.ByteSize() == out.Stride() * size_t(out.Height()));
    if (out.BitsPerPixel() == 8) {
        FUZZ_CHECK(!out.Palette().empty() && out.Palette().size() <= 236);
        // Every index names a palette entry.
        for (int y = 0; y < out.Height(); ++y)
            for (int x = 0; x < out.Width(); ++x) FUZZ_CHECK(out.Row(y)[x] < out.Palette().size());
    }
    // Under any orientation, the rows fitted as they come give the frame
    // of the whole picture.
    const auto orientation = Orientation(1 + size % 8);
    pelumir::Bitmap canvas, streamed;
    canvas.Allocate(64, 48, 32);
    streamed.Allocate(64, 48, 32);
    FUZZ_CHECK(pelumir::DrawFitted(out, canvas, 64, 48, orientation));
    pelumir::FittedSink fitted;
    fitted.Aim(streamed, 64, 48);
    Turned turned(fitted, orientation);
    pelumir::FileInput whole({data, size});
    FUZZ_CHECK(Decode(whole, turned));
    FUZZ_CHECK(std::memcmp(canvas.Bits(), streamed.Bits(), canvas.ByteSize()) == 0);
    return 0;
}
