// The JPEG loader on arbitrary bytes: it either gives a whole image or fails
// with an empty bitmap, and the image it gives can be drawn. Decoded in
// small pieces, or read on from a file, the same bytes give the same result.
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "FuzzCheck.h"
#include "platform/Bitmap.h"
#include "platform/FileSystem.h"
#include "image/JpegLoader.h"
#include "viewer/StretchDraw.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Claims past the bitmap limit are refused before any pixel work and are
    // worth running; big images within it only decode slowly under ASan.
    const uint64_t pixels = ClaimedPixels(data, size);
    if (pixels > (uint64_t(1) << 20) && pixels <= pelumir::kMaxBitmapBytes) return -1;

    pelumir::Bitmap out;
    out.Allocate(8, 8, 24);  // a bitmap that held an image before
    const bool ok = pelumir::DecodeJpeg(data, size, out);
    pelumir::Bitmap stepped;
    pelumir::PictureSink sink(stepped);
    pelumir::JpegDecoder decode;
    decode.Start({data, size}, sink, 1 + size % 97);
    pelumir::Decoder::State state;
    while ((state = decode.Step(pelumir::StepDeadline{})) == pelumir::Decoder::State::Working) {
    }
    FUZZ_CHECK(ok == (state == pelumir::Decoder::State::Done));
    if (!ok) stepped.Clear();
    FUZZ_CHECK(stepped.Width() == out.Width() && stepped.Height() == out.Height());
    FUZZ_CHECK(stepped.Palette() == out.Palette());
    FUZZ_CHECK(out.ByteSize() == 0 || std::memcmp(stepped.Bits(), out.Bits(), out.ByteSize()) == 0);
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
        decode.StartReadingOn(head, reader, readOnSink, 1 + size % 61);
        while ((state = decode.Step(pelumir::StepDeadline{})) == pelumir::Decoder::State::Working) {
        }
        FUZZ_CHECK(ok == (state == pelumir::Decoder::State::Done));
        if (!ok) readOn.Clear();
        FUZZ_CHECK(readOn.Width() == out.Width() && readOn.Height() == out.Height());
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
    const auto orientation = pelumir::Orientation(1 + size % 8);
    pelumir::Bitmap canvas, streamed;
    canvas.Allocate(64, 48, 32);
    streamed.Allocate(64, 48, 32);
    FUZZ_CHECK(pelumir::DrawFitted(out, canvas, 64, 48, orientation));
    pelumir::FittedSink fitted;
    fitted.Aim(streamed, 64, 48);
    fitted.SetOrientation(orientation);
    decode.Start({data, size}, fitted, 0);
    FUZZ_CHECK(decode.Step(pelumir::kNoDeadline) == pelumir::Decoder::State::Done);
    FUZZ_CHECK(std::memcmp(canvas.Bits(), streamed.Bits(), canvas.ByteSize()) == 0);
    return 0;
}
