// Ten seconds of a 25 fps 1920 x 1080 GIF in a 1920 x 1080 viewer: the
// share of frames on screen within 10 ms of their time (at least 98 %),
// and the peak memory of the program and both decoder processes together
// (at most 80 MiB).
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gif_lib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/ProcessStatus.h"
#include "tests/unit/PeakMemory.h"
#include "viewer/grpform.h"

namespace {

using testutil::ResetPeak;
using testutil::StatusKiB;

constexpr int kWidth = 1920, kHeight = 1080, kFrames = 50;

// Bands drifting across a dithered ramp of 256 colours, every frame the
// whole canvas, as a clip saved as GIF is.
std::string WriteGif() {
    const std::string path = bench::WorkDir() + "/moving.gif";
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = {GifByteType(i), GifByteType(255 - i), GifByteType((i * 7) & 0xFF)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
    const GifByteType endless[3] = {1, 0, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, endless);
    EGifPutExtensionTrailer(gif);
    std::vector<GifPixelType> line(kWidth);
    for (int f = 0; f < kFrames; ++f) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 4, NO_TRANSPARENT_COLOR};
        GifByteType block[4];
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, block)), block);
        EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) line[size_t(x)] = GifPixelType(((x + 16 * f) / 8 + y / 8 + (x * 37 + y * 91) % 3) & 0xFF);
            EGifPutLine(gif, line.data(), kWidth);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return path;
}

void Run() {
    const std::string path = WriteGif();
    pelumir::TfrmGrpView view;
    pelumir::TViewerConfig config;
    config.MoreFormats = true;
    view.SourceImages = {path};
    view.ApplySettings(config);
    view.resize(kWidth, kHeight);
    ResetPeak();
    view.show();
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const int shown = view.FramesShown(), late = view.FramesLate();
    const long program = StatusKiB("VmHWM:");
    const long decoder = bench::StatusKiBOf(view.Preparation().Link().Process(), "VmHWM:");
    const long frames = bench::StatusKiBOf(view.Frames().Link().Process(), "VmHWM:");
    view.hide();
    bench::Print("moving.view_width", view.ViewWidth());
    bench::Print("moving.frames_shown", shown);
    bench::Print("moving.frames_due", 10000.0 / 40);
    bench::Print("moving.on_time_percent", shown == 0 ? 0 : 100.0 * (shown - late) / shown);
    bench::Print("moving.peak_program_mib", program / 1024.0);
    bench::Print("moving.peak_decoder_mib", decoder / 1024.0);
    bench::Print("moving.peak_frames_decoder_mib", frames / 1024.0);
    bench::Print("moving.peak_together_mib", (program + decoder + frames) / 1024.0);
}

const bench::Register kMoving("moving", Run);

}  // namespace
