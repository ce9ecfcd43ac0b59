// From launch to the main window on screen, against a bare Qt main window
// started the same way, interleaved in the same run.
#include <QCoreApplication>
#include <algorithm>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench/Bench.h"

extern char** environ;

namespace {

// Milliseconds from spawning the probe to its byte on the pipe; -1 on failure.
double LaunchMs(const std::string& probe, bool bare) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> args{const_cast<char*>(probe.c_str())};
    if (bare) args.push_back(const_cast<char*>("bare"));
    args.push_back(nullptr);
    const double start = bench::NowMs();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, probe.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    char byte = 0;
    const bool ok = rc == 0 && ::read(fds[0], &byte, 1) == 1;
    const double elapsed = bench::NowMs() - start;
    ::close(fds[0]);
    if (rc == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    return ok ? elapsed : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bench::Register launch("launch", [] {
    // "On screen" means a real display: with one (xvfb-run will do), both
    // probes open real X windows; without one they fall back to offscreen,
    // which leaves out the display's own costs and so flatters the bare window.
    const bool onScreen = !qEnvironmentVariableIsEmpty("DISPLAY");
    qputenv("QT_QPA_PLATFORM", onScreen ? "xcb" : "offscreen");
    std::printf("launch_platform: %s\n", onScreen ? "xcb" : "offscreen");
    const std::string probe =
        QCoreApplication::applicationDirPath().toStdString() + "/bench-probe/pelumir-launch-probe";
    std::vector<double> bare, ours;
    LaunchMs(probe, true);  // warm the page cache for both
    LaunchMs(probe, false);
    for (int i = 0; i < 9; ++i) {
        bare.push_back(LaunchMs(probe, true));
        ours.push_back(LaunchMs(probe, false));
    }
    if (std::count(bare.begin(), bare.end(), -1.0) + std::count(ours.begin(), ours.end(), -1.0) > 0) {
        std::printf("launch_main_window: failed to start the probe\n");
        return;
    }
    bench::Print("launch_bare_qt_window_ms", Median(bare));
    bench::Print("launch_main_window_ms", Median(ours));
    bench::Print("launch_main_window_vs_bare_qt", Median(ours) / Median(bare));
});

}  // namespace
