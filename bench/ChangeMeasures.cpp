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

extern char** environ;

namespace bench {

double Median(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), v.end());
    std::sort(v.begin(), v.end());
    return v.empty() ? NAN : v[v.size() / 2];
}

double MedianOf(const std::vector<Timing>& runs, double Timing::*field) {
    std::vector<double> v;
    for (const Timing& t : runs) v.push_back(t.*field);
    return Median(v);
}

double ClockMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double ProcessCpuMs(pid_t pid) {
    clockid_t clock;
    return clock_getcpuclockid(pid, &clock) == 0 ? ClockMs(clock) : 0;
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

std::vector<std::string> TwoCopies(const std::string& path) {
    std::filesystem::path copy(path);
    copy.replace_filename(copy.stem().string() + "-copy" + copy.extension().string());
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
    return {path, copy.string()};
}

std::string ProbePath(const std::string& name) {
    return QCoreApplication::applicationDirPath().toStdString() + "/bench-probe/" + name;
}

ProbeRun RunViewerProbe(const std::string& options, const std::vector<std::string>& images) {
    const bool onScreen = !qEnvironmentVariableIsEmpty("DISPLAY");
    qputenv("QT_QPA_PLATFORM", onScreen ? "xcb" : "offscreen");
    const bool otherFormats = options.find("--more-formats") != std::string::npos;
    std::string command = "'" + ProbePath(otherFormats ? "pelumir-viewer-probe-formats" : "pelumir-viewer-probe") + "' " + options;
    for (const std::string& image : images) command += " '" + image + "'";
    return RunProbeCommand(command);
}

ProbeRun RunProbeCommand(const std::string& command) {
    ProbeRun run;
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return run;
    char line[256];
    while (std::fgets(line, sizeof line, out) != nullptr) {
        double ms = 0, cpu = NAN;
        if (std::sscanf(line, "bare_ms %lf %lf", &ms, &cpu) >= 1) {
            run.bareMs.push_back(ms);
            run.bareCpuMs.push_back(cpu);
        } else if (std::sscanf(line, "in_a_row_ms %lf %lf", &ms, &cpu) >= 1) {
            run.inARowMs.push_back(ms);
            run.inARowCpuMs.push_back(cpu);
        } else if (std::sscanf(line, "after_look_ms %lf", &ms) == 1) {
            run.afterLookMs.push_back(ms);
        }
        std::sscanf(line, "stall_ms %lf", &run.stallMs);
        std::sscanf(line, "stall_cpu_ms %lf", &run.stallCpuMs);
        std::sscanf(line, "program_peak_kib %ld", &run.programPeakKiB);
        std::sscanf(line, "decoder_peak_kib %ld", &run.decoderPeakKiB);
        std::sscanf(line, "frames_decoder_peak_kib %ld", &run.framesPeakKiB);
        std::sscanf(line, "frames_shown %d", &run.framesShown);
        std::sscanf(line, "frames_late %d", &run.framesLate);
        std::sscanf(line, "played_ms %lf", &run.playedMs);
        std::sscanf(line, "frame %dx%d", &run.frameWidth, &run.frameHeight);
    }
    // A probe that failed gives nothing, not what it printed before.
    return pclose(out) == 0 ? run : ProbeRun{};
}

double PrintPeaks(const std::string& name, const ProbeRun& run) {
    if (run.programPeakKiB <= 0 || run.decoderPeakKiB <= 0) {
        std::printf("%s: the viewer probe failed\n", name.c_str());
        return NAN;
    }
    const long frames = std::max(run.framesPeakKiB, 0L);
    const double total = double(run.programPeakKiB + run.decoderPeakKiB + frames) / 1024.0;
    Print(name + "_program_mib", double(run.programPeakKiB) / 1024.0);
    Print(name + "_decoder_mib", double(run.decoderPeakKiB) / 1024.0);
    if (frames > 0) Print(name + "_frames_decoder_mib", double(frames) / 1024.0);
    Print(name + "_mib", total);
    return total;
}

}  // namespace bench
