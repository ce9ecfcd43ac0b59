#pragma once
// Measures shared by the change figures: timings, the bare djpeg decode, the
// viewer probe in a process of its own, and the longest preparation step.
#include <cmath>
#include <string>
#include <vector>

#include "settings/ViewerConfig.h"

namespace bench {

// Wall and processor time of one run. On a shared machine the processor
// time is the steadier figure; the wall time is what a user waits.
struct Timing {
    double wallMs = NAN, cpuMs = NAN;
};

double Median(std::vector<double> v);
double ProcessCpuMs();
double ThreadCpuMs();

// The 24 MP baseline JPEG the JPEG figures are made from, written once.
const std::string& Jpeg24mp();

// djpeg decoding the file to nowhere, as a process of its own.
Timing TimeDjpeg(const std::string& path);
double DjpegMedianMs(const std::string& path, int runs);

// Two files of the same picture, so every change shows another file.
std::vector<std::string> TwoCopies(const std::string& path);

struct ProbeRun {
    // The baseline decode of the file each click shows: djpeg for JPEG,
    // the format's own library for the others.
    std::vector<double> changeMs, djpegMs, bareMs;
    long peakKiB = -1;
};

// The real viewer window in a process of its own, on the display when there
// is one (as the launch figure runs it). `mode` is the probe's options,
// each followed by a blank.
ProbeRun RunViewerProbe(int lookMs, int changes, const std::vector<std::string>& images, const char* mode = "");

// The longest time one piece of preparation holds the event loop, taken
// over a few preparations in a viewer of 1920 x 1080: in wall time, and in
// processor time, which a busy machine disturbs less.
Timing LongestStep(const std::vector<std::string>& images, const pelumir::TViewerConfig& config = {});

}  // namespace bench
