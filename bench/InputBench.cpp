// Input answered while a 12 MP HEIC is prepared, against the same while a
// 12 MP JPEG is, seen from outside the program. The viewer probe shows its
// first picture full screen and prepares the next from then on; 20 ms later
// this process, another client of the display, acts as a user would: presses
// Escape (timed to the window gone), middle-clicks (timed to the answer to a
// ping sent right after, which the program gives once it has taken every
// event before it, as window managers ask whether a window still answers),
// or uncovers a part of the window (timed to that part painted again).
// Key and click go through the X server (XTest), so they wait in the
// program's queue as a user's would. A synthetic event from the probe
// itself, as the click figures send, would be taken only once the event
// loop is free, and so could not time a busy one.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/ChangeMeasures.h"
#include "bench/Pictures.h"

extern char** environ;

namespace {

constexpr double kAim = 2.0;
constexpr double kTimeoutMs = 20000;

// The viewer probe in its --outside mode, its output read line by line.
class OutsideProbe {
public:
    explicit OutsideProbe(const std::vector<std::string>& images) {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string probe = bench::ProbePath("pelumir-viewer-probe");
        std::vector<char*> argv{const_cast<char*>(probe.c_str()), const_cast<char*>("--outside"),
                                const_cast<char*>("--more-formats")};
        for (const std::string& image : images) argv.push_back(const_cast<char*>(image.c_str()));
        argv.push_back(nullptr);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        if (posix_spawn(&pid_, probe.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
    }
    ~OutsideProbe() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ != nullptr) std::fclose(out_);
    }
    // The value of the next line that starts with `key`; -1 when none came.
    long Read(const char* key) {
        char line[256];
        const std::string format = std::string(key) + " %ld";
        long value = -1;
        while (pid_ > 0 && std::fgets(line, sizeof line, out_) != nullptr)
            if (std::sscanf(line, format.c_str(), &value) == 1) return value;
        return -1;
    }
    // Whether it ended of itself, as a closed viewer does.
    bool Ended() {
        int status = 0;
        const bool ok = pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        pid_ = 0;
        return ok;
    }

private:
    pid_t pid_ = 0;
    FILE* out_ = nullptr;
};

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

// This process as a client of the display, with XTest's fake input.
class XClient {
public:
    XClient() {
        display_ = XOpenDisplay(nullptr);
        xtest_ = dlopen("libXtst.so.6", RTLD_NOW);
        if (display_ == nullptr || xtest_ == nullptr) return;
        fakeKey_ = reinterpret_cast<FakeFn>(dlsym(xtest_, "XTestFakeKeyEvent"));
        fakeButton_ = reinterpret_cast<FakeFn>(dlsym(xtest_, "XTestFakeButtonEvent"));
        XSetErrorHandler(IgnoreErrors);
        root_ = DefaultRootWindow(display_);
        const int screen = DefaultScreen(display_);
        centreX_ = DisplayWidth(display_, screen) / 2;
        centreY_ = DisplayHeight(display_, screen) / 2;
        XWarpPointer(display_, 0, root_, 0, 0, 0, 0, centreX_, centreY_);
        XColor magenta{};
        magenta.red = magenta.blue = 0xFFFF;
        XAllocColor(display_, DefaultColormap(display_, screen), &magenta);
        magenta_ = magenta.pixel;
        XSync(display_, False);
    }
    ~XClient() {
        if (display_ != nullptr) XCloseDisplay(display_);
        if (xtest_ != nullptr) dlclose(xtest_);
    }
    bool Ok() const { return display_ != nullptr && fakeKey_ != nullptr && fakeButton_ != nullptr; }

    void Focus(Window window) {
        XSelectInput(display_, window, StructureNotifyMask);
        XSetInputFocus(display_, window, RevertToPointerRoot, CurrentTime);
        XSync(display_, False);
    }
    void Key(KeySym key) {
        const KeyCode code = XKeysymToKeycode(display_, key);
        fakeKey_(display_, code, True, 0);
        fakeKey_(display_, code, False, 0);
        XFlush(display_);
    }
    // Escape: until the window is unmapped.
    double Escape(Window window) {
        const double start = bench::NowMs();
        Key(XK_Escape);
        return Until([&](const XEvent& e) { return e.type == UnmapNotify && e.xunmap.window == window; }) - start;
    }
    // The middle button, then a ping: until the ping's answer.
    double MiddleClick(Window window) {
        // The answer goes to the root window, for those who watch its structure.
        XSelectInput(display_, root_, StructureNotifyMask);
        XEvent ping{};
        ping.xclient.type = ClientMessage;
        ping.xclient.window = window;
        ping.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        ping.xclient.format = 32;
        const Atom pingAtom = XInternAtom(display_, "_NET_WM_PING", False);
        ping.xclient.data.l[0] = long(pingAtom);
        ping.xclient.data.l[2] = long(window);
        XSync(display_, False);
        const double start = bench::NowMs();
        fakeButton_(display_, 2, True, 0);
        fakeButton_(display_, 2, False, 0);
        XSendEvent(display_, window, False, NoEventMask, &ping);
        XFlush(display_);
        const double end = Until([&](const XEvent& e) {
            return e.type == ClientMessage && e.xclient.window == root_ && Atom(e.xclient.data.l[0]) == pingAtom;
        });
        XSelectInput(display_, root_, NoEventMask);
        return end - start;
    }
    // A small window of ours over the viewer's centre, taken away: until
    // the viewer has painted there again.
    double Repaint() {
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = magenta_;
        const Window cover = XCreateWindow(display_, root_, centreX_ - 32, centreY_ - 32, 64, 64, 0, CopyFromParent,
                                           InputOutput, nullptr, CWOverrideRedirect | CWBackPixel, &a);
        XMapRaised(display_, cover);
        XSync(display_, False);
        double end = NAN;
        const double start = bench::NowMs();
        if (CentrePixel() == magenta_) {
            XUnmapWindow(display_, cover);
            while (CentrePixel() == magenta_ && bench::NowMs() - start < kTimeoutMs) usleep(200);
            end = bench::NowMs();
        }
        XDestroyWindow(display_, cover);
        XSync(display_, False);
        return end - start;
    }

private:
    using FakeFn = int (*)(Display*, unsigned, int, unsigned long);

    unsigned long CentrePixel() {
        XImage* image = XGetImage(display_, root_, centreX_, centreY_, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return ~magenta_;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return pixel;
    }
    // The time the first event `done` accepts came; NaN after the time-out.
    double Until(const std::function<bool(const XEvent&)>& done) {
        const double start = bench::NowMs();
        for (;;) {
            while (XPending(display_) > 0) {
                XEvent e;
                XNextEvent(display_, &e);
                if (done(e)) return bench::NowMs();
            }
            const double left = kTimeoutMs - (bench::NowMs() - start);
            if (left <= 0) return NAN;
            pollfd p{ConnectionNumber(display_), POLLIN, 0};
            poll(&p, 1, int(left));
        }
    }

    Display* display_ = nullptr;
    void* xtest_ = nullptr;
    FakeFn fakeKey_ = nullptr, fakeButton_ = nullptr;
    Window root_ = 0;
    int centreX_ = 0, centreY_ = 0;
    unsigned long magenta_ = 0;
};

enum class Input { Escape, MiddleClick, Repaint };

// One run: a fresh probe, the input as soon as its first picture is on
// screen. `busy` counts the runs whose input came while a picture was being prepared.
double InputMs(XClient& x, Input input, const std::vector<std::string>& pictures, int& busy) {
    OutsideProbe probe(pictures);
    const long window = probe.Read("ready");
    if (window <= 0) return NAN;
    x.Focus(Window(window));
    // Well into the next picture's decode, which for the JPEG takes some 60 ms.
    usleep(20000);
    const double ms = input == Input::Escape        ? x.Escape(Window(window))
                      : input == Input::MiddleClick ? x.MiddleClick(Window(window))
                                                    : x.Repaint();
    if (input != Input::Escape) x.Key(XK_Escape);
    busy += probe.Read("busy") == 1 ? 1 : 0;
    return probe.Ended() ? ms : NAN;
}

const bench::Register kInput("input_while_preparing", [] {
    if (std::getenv("DISPLAY") == nullptr) {
        std::printf("input_while_preparing: needs a display (xvfb-run)\n");
        return;
    }
    XClient x;
    if (!x.Ok()) {
        std::printf("input_while_preparing: needs the display and libXtst.so.6\n");
        return;
    }
    const std::vector<std::string> jpeg = bench::TwoCopies(bench::Jpeg12mp());
    const std::vector<std::string> heic = bench::TwoCopies(bench::FormatPicture("heic"));
    const struct {
        Input input;
        const char* name;
    } kInputs[] = {{Input::Escape, "escape"}, {Input::MiddleClick, "middle_click"}, {Input::Repaint, "repaint"}};
    constexpr int kRuns = 5;
    for (const auto& in : kInputs) {
        std::vector<double> jpegMs, heicMs;
        int jpegBusy = 0, heicBusy = 0;
        for (int i = 0; i < kRuns; ++i) {
            jpegMs.push_back(InputMs(x, in.input, jpeg, jpegBusy));
            heicMs.push_back(InputMs(x, in.input, heic, heicBusy));
        }
        const std::string name = std::string("input_") + in.name + "_while_preparing_12mp";
        const double ratio = bench::Median(heicMs) / bench::Median(jpegMs);
        bench::Print(name + "_jpeg_ms", bench::Median(jpegMs));
        bench::Print(name + "_heic_ms", bench::Median(heicMs));
        bench::Print(name + "_heic_vs_jpeg_ratio", ratio);
        std::printf("| %-12s | heic %7.2f ms (%d/%d while prepared) | jpeg %7.2f ms (%d/%d) | %5.2f x (<= %.0f x): %s |\n",
                    in.name, bench::Median(heicMs), heicBusy, kRuns, bench::Median(jpegMs), jpegBusy, kRuns, ratio,
                    kAim, ratio <= kAim ? "met" : "MISSED");
        std::fflush(stdout);
    }
});

}  // namespace
