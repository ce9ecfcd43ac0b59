// Ten seconds of a 25 fps 1920 x 1080 GIF in a 1920 x 1080 viewer: the
// share of frames on screen within 10 ms of their time (at least 98 %),
// and the peak memory of the program and both decoder processes together
// (at most 80 MiB).
#include <gif_lib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/ChangeMeasures.h"

namespace {

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
    // The real viewer window, in a process linked as the program is.
    const bench::ProbeRun run = bench::RunViewerProbe("--play 10000 ", {WriteGif()});
    bench::Print("moving.frames_shown", run.framesShown);
    bench::Print("moving.frames_due", run.playedMs / 40);
    bench::Print("moving.on_time_percent",
                 run.framesShown == 0 ? 0 : 100.0 * (run.framesShown - run.framesLate) / run.framesShown);
    bench::PrintPeaks("moving.peak", run);
}

const bench::Register kMoving("moving", Run);

}  // namespace
