#include "bench/ChangeMeasures.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "bench/Bench.h"
#include "viewer/grpform.h"

extern char** environ;

namespace bench {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? NAN : v[v.size() / 2];
}

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

Timing TimeDjpeg(const std::string& path) {
    const char* argv[] = {"djpeg", "-dct", "int", "-outfile", "/dev/null", path.c_str(), nullptr};
    const double start = NowMs();
    pid_t pid;
    if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double elapsed = NowMs() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return {elapsed, cpu};
}

double DjpegMedianMs(const std::string& path, int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) ms.push_back(TimeDjpeg(path).wallMs);
    return Median(ms);
}

std::vector<std::string> TwoCopies(const std::string& path) {
    std::filesystem::path copy(path);
    copy.replace_filename(copy.stem().string() + "-copy" + copy.extension().string());
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
    return {path, copy.string()};
}

ProbeRun RunViewerProbe(int lookMs, int changes, const std::vector<std::string>& images, const char* mode) {
    const bool onScreen = !qEnvironmentVariableIsEmpty("DISPLAY");
    qputenv("QT_QPA_PLATFORM", onScreen ? "xcb" : "offscreen");
    const bool otherFormats = std::strstr(mode, "--more-formats") != nullptr;
    std::string command = "'" + QCoreApplication::applicationDirPath().toStdString() + "/bench-probe/pelumir-viewer-probe" +
                          (otherFormats ? "-formats' " : "' ") + mode + std::to_string(lookMs) + " " +
                          std::to_string(changes);
    for (const std::string& image : images) command += " '" + image + "'";
    ProbeRun run;
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return run;
    char line[256];
    while (std::fgets(line, sizeof line, out) != nullptr) {
        double ms = 0;
        long kib = 0;
        if (std::sscanf(line, "change_ms %lf", &ms) == 1) run.changeMs.push_back(ms);
        else if (std::sscanf(line, "djpeg_ms %lf", &ms) == 1) run.djpegMs.push_back(ms);
        else if (std::sscanf(line, "bare_ms %lf", &ms) == 1) run.bareMs.push_back(ms);
        else if (std::sscanf(line, "peak_kib %ld", &kib) == 1) run.peakKiB = kib;
    }
    pclose(out);
    return run;
}

Timing LongestStep(const std::vector<std::string>& images, const pelumir::TViewerConfig& config) {
    pelumir::TfrmGrpView view;
    view.SourceImages = images;
    view.ApplySettings(config);
    view.resize(1920, 1080);
    view.show();
    Timing longest{0, 0};
    for (int change = 0; change < 4; ++change) {
        while (!view.NextImageReady()) {
            const double start = NowMs(), cpu = ThreadCpuMs();
            view.PrepareNextStep();
            longest.wallMs = std::max(longest.wallMs, NowMs() - start);
            longest.cpuMs = std::max(longest.cpuMs, ThreadCpuMs() - cpu);
        }
        view.FormMouseDown(Qt::LeftButton);
    }
    view.hide();
    return longest;
}

}  // namespace bench
