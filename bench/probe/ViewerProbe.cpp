// pelumir-viewer-probe [options] <image>...: the real viewer window,
// 1920 x 1080, left-clicked through the images (in a loop); it prints the
// size of its frame, "frame WxH", which a smaller screen cuts. A click is
// timed from the click to the new frame read back from the display.
//   --in-a-row N  N clicks in a row: each waits for the decoder to be idle,
//                 times a bare decode of the picture the click goes to
//                 ("bare_ms"), then clicks to the prepared picture and at
//                 once again; the second is the one timed ("in_a_row_ms").
//                 Each time is the wall time, then the processor time (of
//                 the program and its decoder for a click).
//   --looked N    N clicks after a look ("after_look_ms"): made as those in
//                 a row, with a look as long as the bare decode before the
//                 second; or, with --look MS, each a look of MS after the last.
//                 Then the longest stall of the event loop during the looks
//                 ("stall_ms") and the processor time the loop spent in its
//                 longest ("stall_cpu_ms").
//   --rotate      the right click turns pictures (the whole picture is kept).
//   --more-formats  the other formats are shown too.
//   --play MS     the other formats on, the first picture on screen for MS
//                 while its frames play; then "frames_shown" and
//                 "frames_late" (more than 10 ms after their time), how long
//                 it played ("played_ms") and the
//                 peaks, with "frames_decoder_peak_kib" (the frames' process).
// Ends with "program_peak_kib" and "decoder_peak_kib" (each VmHWM). The bare
// decode is djpeg's for JPEG; other files are decoded by their format's own
// library, which takes pelumir-viewer-probe-formats, this probe with them.
// pelumir-viewer-probe --show <image>...: a real show, full screen, each
// picture on screen for a second, ending after the last; then the peaks.
// pelumir-viewer-probe --outside <image>...: the show full screen, without
// the advance; prints "ready <window id>" once the first picture is on
// screen (the next is prepared from then on), and at its end "busy 1" when
// the first input it took came while a picture was being prepared.
#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#ifdef PELUMIR_PROBE_BARE_DECODES
#include "bench/probe/BareDecode.h"
#endif
#include "bench/Bench.h"
#include "bench/ChangeMeasures.h"
#include "bench/ProcessStatus.h"
#include "tests/unit/PeakMemory.h"
#include "viewer/DecoderLink.h"
#include "viewer/grpform.h"

namespace {

using bench::ClockMs;
using bench::NowMs;
using bench::ProcessCpuMs;
using bench::Timing;
using pelumir::TfrmGrpView;

// The longest the event loop was held between two 1 ms ticks: beyond the
// tick in wall time, and the processor time it spent meanwhile, which is
// the program's own part of it (the rest is others holding the processor).
struct Stall {
    double wallMs = 0, cpuMs = 0;
};

// Runs the event loop, so the viewer's idle work goes on as it does for a user.
void Look(double ms, Stall& stall) {
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    double last = NowMs(), lastCpu = ClockMs(CLOCK_THREAD_CPUTIME_ID);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = NowMs(), cpu = ClockMs(CLOCK_THREAD_CPUTIME_ID);
        stall.wallMs = std::max(stall.wallMs, now - last - 1);
        stall.cpuMs = std::max(stall.cpuMs, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    });
    QTimer::singleShot(int(ms + 0.5), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    tick.start();
    loop.exec();
}

void WaitWhile(const std::function<bool()>& busy) {
    while (busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

Timing Bare(const std::string& path) {
#ifdef PELUMIR_PROBE_BARE_DECODES
    const double start = NowMs(), cpu = ProcessCpuMs();
    if (bench::BareDecode(path)) return {NowMs() - start, ProcessCpuMs() - cpu};
#endif
    return bench::TimeDjpeg(path);
}

// The click's handler runs here, as the window system would run it; the
// frame is on screen once the change is no longer pending and a pixel read
// back from the display has come, which it does only after every earlier
// request, the new frame's among them. The processor time is the program's
// and its decoder's.
Timing Click(TfrmGrpView& view) {
    const pid_t decoder = view.Preparation().Link().Process();
    const double start = NowMs(), cpu = ProcessCpuMs() + ProcessCpuMs(decoder);
    const QPointF pos(10, 10);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent ev(type, pos, view.mapToGlobal(pos), Qt::LeftButton,
                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &ev);
    }
    WaitWhile([&] { return view.ChangePending(); });
    view.screen()->grabWindow(view.winId(), 0, 0, 1, 1);
    return {NowMs() - start, ProcessCpuMs() + ProcessCpuMs(decoder) - cpu};
}

void Print(const char* name, Timing t) { std::printf("%s %.3f %.3f\n", name, t.wallMs, t.cpuMs); }

// The decoder's peak, read while it still runs: closing the viewer ends it.
class ProbeView : public TfrmGrpView {
public:
    long decoderPeakKiB = -1, framesPeakKiB = -1;
    void ReadDecoderPeak() {
        decoderPeakKiB = std::max(decoderPeakKiB, bench::StatusKiBOf(Preparation().Link().Process(), "VmHWM:"));
        framesPeakKiB = std::max(framesPeakKiB, bench::StatusKiBOf(Frames().Link().Process(), "VmHWM:"));
    }

protected:
    void done(int result) override {
        ReadDecoderPeak();
        TfrmGrpView::done(result);
    }
};

void PrintPeaks(ProbeView& view) {
    view.ReadDecoderPeak();
    std::printf("program_peak_kib %ld\ndecoder_peak_kib %ld\n", testutil::StatusKiB("VmHWM:"), view.decoderPeakKiB);
    if (view.framesPeakKiB > 0) std::printf("frames_decoder_peak_kib %ld\n", view.framesPeakKiB);
}

// Notes whether the first input taken, a key, a click or an exposure, came
// while the decoder had a picture to make.
class FirstInput : public QObject {
public:
    explicit FirstInput(const TfrmGrpView& view) : view_(view) {}
    int busy = -1;
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type t = event->type();
        if (busy < 0 && (t == QEvent::KeyPress || t == QEvent::MouseButtonPress || t == QEvent::Expose))
            busy = view_.Preparation().Waiting() ? 1 : 0;
        return false;
    }

private:
    const TfrmGrpView& view_;
};

int Outside(ProbeView& view) {
    FirstInput input(view);
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!view.isVisible() || view.ChangePending()) return;
        poll.stop();
        view.screen()->grabWindow(view.winId(), 0, 0, 1, 1);
        view.installEventFilter(&input);
        view.windowHandle()->installEventFilter(&input);
        std::printf("ready %llu\n", static_cast<unsigned long long>(view.winId()));
        std::fflush(stdout);
    });
    poll.start();
    view.ShowModal();
    std::printf("busy %d\n", input.busy);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pelumir::DecoderLink::SetExecutable(PELUMIR_DECODER_PATH);
    ProbeView view;
    pelumir::TViewerConfig config;
    config.ImageSortType = 0;
    int inARow = 0, looked = 0;
    double lookMs = 0, playMs = 0;
    bool show = false, outside = false;
    for (; argc > 1 && std::string(argv[1]).rfind("--", 0) == 0; ++argv, --argc) {
        const std::string option = argv[1];
        show = show || option == "--show";
        outside = outside || option == "--outside";
        if (option == "--rotate") config.RightClickMode = pelumir::RightClick::RotateClockwise;
        if (option == "--more-formats") config.MoreFormats = true;
        if (argc > 2 && (option == "--look" || option == "--play")) {
            (option == "--look" ? lookMs : playMs) = std::atof(argv[2]);
            ++argv, --argc;
        } else if (argc > 2 && (option == "--in-a-row" || option == "--looked")) {
            (option == "--in-a-row" ? inARow : looked) = std::atoi(argv[2]);
            ++argv, --argc;
        }
    }
    for (int i = 1; i < argc; ++i) view.SourceImages.emplace_back(argv[i]);
    if (view.SourceImages.empty()) return 2;
    if (show || outside) {
        config.LoopMode = false;
        config.AutoSlideEnabled = show;
        config.AutoSlideTime = 1;
        view.ApplySettings(config);
        if (outside) return Outside(view);
        view.ShowModal();
        PrintPeaks(view);
        return 0;
    }
    config.LoopMode = true;
    config.MoreFormats = config.MoreFormats || playMs > 0;
    view.ApplySettings(config);
    view.resize(1920, 1080);
    view.show();
    WaitWhile([&] { return view.ChangePending(); });
    if (playMs > 0) {
        QEventLoop loop;
        QTimer::singleShot(int(playMs), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        const double start = NowMs();
        loop.exec();
        std::printf("frames_shown %d\nframes_late %d\nplayed_ms %.1f\n", view.FramesShown(), view.FramesLate(),
                    NowMs() - start);
        PrintPeaks(view);
        return 0;
    }
    Stall settle;
    Look(300, settle);  // mapped and first painted
    // The window's part on the screen: a smaller screen cuts the frame.
    std::printf("frame %dx%d\n", view.ViewWidth(), view.ViewHeight());
    // A block: with the decoder idle, a bare decode of the picture; a
    // click to the prepared picture, from when the next one is prepared;
    // then the click timed, at once or after a look as long as that decode.
    // At once is after the events waiting then, as a user's click comes
    // through the event loop.
    Stall stall;
    auto block = [&](bool look) {
        WaitWhile([&] { return !view.NextImageReady(); });
        const auto& play = view.PlayList();
        const Timing bare = Bare(play[size_t(view.CurrentIndex() + 2) % play.size()]);
        Print("bare_ms", bare);
        Click(view);
        QCoreApplication::processEvents();
        if (look) Look(bare.wallMs, stall);
        Print(look ? "after_look_ms" : "in_a_row_ms", Click(view));
    };
    for (int i = 0; i < inARow; ++i) block(false);
    for (int i = 0; i < looked; ++i) {
        if (lookMs <= 0) {
            block(true);
            continue;
        }
        Look(lookMs, stall);
        Print("after_look_ms", Click(view));
    }
    if (looked > 0) std::printf("stall_ms %.3f\nstall_cpu_ms %.3f\n", stall.wallMs, stall.cpuMs);
    PrintPeaks(view);
    return 0;
}
