// pelumir-viewer-probe <look ms> <changes> <image>...: shows the images in
// the real viewer window and left-clicks through them, each click after a
// look of the given length (0: clicks in a row). Before each click, djpeg
// decodes the file the click will show, so both see the same machine state
// (the viewer does nothing meanwhile). Prints per change "change_ms <ms>",
// from the click to the new frame read back from the display, and
// "djpeg_ms <ms>", then "peak_kib <VmHWM>". With --rotate first, the right
// click turns pictures (so the whole picture is kept). With --more-formats,
// the other formats are shown too, and a file that is no JPEG is decoded
// by its format's own library instead of djpeg ("bare_ms <ms>"); that
// takes pelumir-viewer-probe-formats, the same probe with those libraries.
// pelumir-viewer-probe --show <images>...: a real show, full screen, each
// picture on screen for a second, ending after the last; then "peak_kib".
#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <spawn.h>
#include <sys/wait.h>

#ifdef PELUMIR_PROBE_BARE_DECODES
#include "viewer/DecoderLink.h"
#include "bench/probe/BareDecode.h"
#endif
#include "tests/unit/PeakMemory.h"
#include "viewer/grpform.h"

extern char** environ;

namespace {

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Runs the event loop, so the viewer's idle work goes on as it does for a user.
void Look(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double DjpegMs(const std::string& path) {
    const char* argv[] = {"djpeg", "-dct", "int", "-outfile", "/dev/null", path.c_str(), nullptr};
    const double start = NowMs();
    pid_t pid;
    if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? NowMs() - start : -1;
}

void LeftClick(QWidget* w) {
    const QPointF pos(10, 10);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent ev(type, pos, w->mapToGlobal(pos), Qt::LeftButton,
                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &ev);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pelumir::DecoderLink::SetExecutable(PELUMIR_DECODER_PATH);
    pelumir::TfrmGrpView view;
    pelumir::TViewerConfig config;
    config.ImageSortType = 0;
    if (argc >= 3 && std::string(argv[1]) == "--show") {
        for (int i = 2; i < argc; ++i) view.SourceImages.emplace_back(argv[i]);
        config.LoopMode = false;
        config.AutoSlideEnabled = true;
        config.AutoSlideTime = 1;
        view.ApplySettings(config);
        view.ShowModal();
        std::printf("peak_kib %ld\n", testutil::StatusKiB("VmHWM:"));
        return 0;
    }
    bool rotate = false;
    for (; argc > 1 && std::string(argv[1]).rfind("--", 0) == 0; ++argv, --argc) {
        rotate = rotate || std::string(argv[1]) == "--rotate";
        config.MoreFormats = config.MoreFormats || std::string(argv[1]) == "--more-formats";
    }
    if (argc < 4) return 2;
    const int lookMs = std::atoi(argv[1]), changes = std::atoi(argv[2]);
    for (int i = 3; i < argc; ++i) view.SourceImages.emplace_back(argv[i]);
    config.LoopMode = true;
    if (rotate) config.RightClickMode = pelumir::RightClick::RotateClockwise;
    view.ApplySettings(config);
    view.resize(1920, 1080);
    view.show();
    Look(500);  // mapped and first painted
    for (int i = 0; i < changes; ++i) {
        if (lookMs > 0) Look(lookMs);
        const auto& play = view.PlayList();
        const std::string& next = play[size_t(view.CurrentIndex() + 1) % play.size()];
#ifdef PELUMIR_PROBE_BARE_DECODES
        const double bareStart = NowMs();
        if (config.MoreFormats && bench::BareDecode(next)) std::printf("bare_ms %.3f\n", NowMs() - bareStart);
        else
#endif
            std::printf("djpeg_ms %.3f\n", DjpegMs(next));
        const double start = NowMs();
        LeftClick(&view);
        // Reading a pixel back from the display returns only after every
        // earlier request, the new frame's among them, has been carried out.
        view.screen()->grabWindow(view.winId(), 0, 0, 1, 1);
        std::printf("change_ms %.3f\n", NowMs() - start);
    }
    std::printf("peak_kib %ld\n", testutil::StatusKiB("VmHWM:"));
    return 0;
}
