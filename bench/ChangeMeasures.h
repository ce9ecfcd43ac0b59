#pragma once
// Measures shared by the change figures and the viewer probe: timings, the
// bare djpeg decode, and the probe run in a process of its own.
#include <sys/types.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

namespace bench {

// Wall and processor time of one run. On a shared machine the processor
// time is the steadier figure; the wall time is what a user waits.
struct Timing {
    double wallMs = NAN, cpuMs = NAN;
};

// Medians leave failed runs (NaN) out.
double Median(std::vector<double> v);
double MedianOf(const std::vector<Timing>& runs, double Timing::*field);
// The processor time of a process, its threads' included: this one's for 0.
double ProcessCpuMs(pid_t pid = 0);
// A clock's time, as CLOCK_THREAD_CPUTIME_ID's.
double ClockMs(clockid_t clock);

// djpeg decoding the file to nowhere, as a process of its own.
Timing TimeDjpeg(const std::string& path);

// Two files of the same picture, so every change shows another file.
std::vector<std::string> TwoCopies(const std::string& path);

// A probe built beside this program, by name.
std::string ProbePath(const std::string& name);

// What the viewer probe printed: see probe/ViewerProbe.cpp.
struct ProbeRun {
    std::vector<double> bareMs, inARowMs, afterLookMs;
    std::vector<double> bareCpuMs, inARowCpuMs;
    double stallMs = NAN, stallCpuMs = NAN;
    long programPeakKiB = -1, decoderPeakKiB = -1, framesPeakKiB = -1;
    int framesShown = 0, framesLate = 0;
    double playedMs = NAN;
    int frameWidth = 0, frameHeight = 0;
};

// The real viewer window in a process of its own, on the display when there
// is one (as the launch figure runs it). `options` are the probe's, each
// followed by a blank; with --more-formats the probe that holds the other
// formats' bare decoders runs.
ProbeRun RunViewerProbe(const std::string& options, const std::vector<std::string>& images);
// The same for a command line of its own.
ProbeRun RunProbeCommand(const std::string& command);

// Prints the program's and the decoder's peak memory (and the frames'
// decoder's, when one ran) and their sum (the frames they share count in
// each), in MiB; returns the sum.
double PrintPeaks(const std::string& name, const ProbeRun& run);

}  // namespace bench
