#pragma once
// Peak resident memory of this process, to show that a refused image was
// refused before its pixels were touched.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace testutil {

inline long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    return -1;
}

// Starts a new peak at the present resident size; false where the kernel
// does not allow it.
inline bool ResetPeak() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5" << std::flush;
    return bool(refs);
}

// How far the peak rose above `residentBefore`, in MiB.
inline double PeakRiseMiB(long residentBefore) { return double(StatusKiB("VmHWM:") - residentBefore) / 1024.0; }

}  // namespace testutil
