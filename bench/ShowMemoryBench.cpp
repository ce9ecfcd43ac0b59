// An automatic show of 1,000 image changes in a 1920 x 1080 viewer, driven
// through its tick handler, each next image made ready before its tick: the
// program's peak memory after change 100 and after change 1,000 should
// differ by less than 5 %, and so should its decoder process's. Pictures of
// many sizes and both formats, in a looping random order, so every buffer
// is resized again and again.
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/unit/PeakMemory.h"
#include "bench/Bench.h"
#include "bench/ProcessStatus.h"
#include "viewer/PlayOrder.h"
#include "viewer/grpform.h"

namespace {

using testutil::ResetPeak;
using testutil::StatusKiB;

std::vector<std::string> Pictures() {
    struct Picture {
        int w, h;
        const char* format;
    };
    const Picture pictures[] = {{4000, 3000, "JPG"}, {3000, 4000, "JPG"}, {1920, 1080, "JPG"}, {800, 600, "JPG"},
                          {6000, 1000, "JPG"}, {64, 64, "JPG"},     {1600, 1200, "BMP"}, {300, 200, "BMP"}};
    std::vector<std::string> paths;
    int i = 0;
    for (const Picture& s : pictures) {
        QImage img(s.w, s.h, QImage::Format_RGB32);
        // A gradient with some texture, so the decoder has real work.
        for (int y = 0; y < s.h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < s.w; ++x) row[x] = qRgb(x * 255 / s.w, y * 255 / s.h, (x ^ y) & 0xFF);
        }
        const std::string path = bench::WorkDir() + "/show" + std::to_string(i++) + "." +
                                 (std::strcmp(s.format, "JPG") == 0 ? "jpg" : "bmp");
        img.save(QString::fromStdString(path), s.format, 85);
        paths.push_back(path);
    }
    // A broken file among them as well.
    std::ofstream(bench::WorkDir() + "/show-broken.jpg") << "not a picture";
    paths.push_back(bench::WorkDir() + "/show-broken.jpg");
    return paths;
}

// The decoder process's peak; a process that was replaced meanwhile
// starts again from nothing.
long DecoderPeakKiB(const pelumir::TfrmGrpView& view) {
    return bench::StatusKiBOf(view.Preparation().Link().Process(), "VmHWM:");
}

void Run() {
    pelumir::TfrmGrpView view;
    pelumir::TViewerConfig config;
    config.LoopMode = true;
    config.ImageSortType = 2;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 3600;  // the ticks come from here, not from the clock
    view.SourceImages = Pictures();
    view.ApplySettings(config);
    view.resize(1920, 1080);
    pelumir::RandomSeed = 2024;
    bench::Print("show_memory.resident_before_show_mib", StatusKiB("VmRSS:") / 1024.0);
    ResetPeak();
    view.show();
    bench::Print("show_memory.view_width", view.ViewWidth());
    bench::Print("show_memory.view_height", view.ViewHeight());

    long at100 = 0, at1000 = 0, decoderAt100 = 0;
    const double t0 = bench::NowMs();
    for (int change = 1; change <= 1000; ++change) {
        // The look at each image: the next one is made ready meanwhile, its
        // answer taken in by the event loop.
        while (!view.NextImageReady()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        view.tmrAutoSlideTimer();
        if (change == 100) {
            at100 = StatusKiB("VmHWM:");
            decoderAt100 = DecoderPeakKiB(view);
        }
    }
    at1000 = StatusKiB("VmHWM:");
    const long decoderAt1000 = DecoderPeakKiB(view);
    const double ms = bench::NowMs() - t0;
    view.hide();
    bench::Print("show_memory.peak_at_change_100_mib", at100 / 1024.0);
    bench::Print("show_memory.peak_at_change_1000_mib", at1000 / 1024.0);
    bench::Print("show_memory.growth_percent", 100.0 * double(at1000 - at100) / double(at100));
    bench::Print("show_memory.decoder_peak_at_change_100_mib", decoderAt100 / 1024.0);
    bench::Print("show_memory.decoder_peak_at_change_1000_mib", decoderAt1000 / 1024.0);
    bench::Print("show_memory.decoder_growth_percent", 100.0 * double(decoderAt1000 - decoderAt100) / double(decoderAt100));
    bench::Print("show_memory.resident_after_mib", StatusKiB("VmRSS:") / 1024.0);
    bench::Print("show_memory.ms_per_change", ms / 1000.0);
}

const bench::Register kShowMemory("show_memory", Run);

}  // namespace
