#pragma once
// When a piece of work must hand the thread back: decoding runs in small
// steps between a window's events, each stopping once its deadline passed.
#include <chrono>

namespace pelumir {

using StepDeadline = std::chrono::steady_clock::time_point;
// A deadline that never comes: the work runs to its end.
inline constexpr StepDeadline kNoDeadline = StepDeadline::max();

// Whether a piece of work should hand the thread back now.
inline bool Passed(StepDeadline deadline) {
    return deadline != kNoDeadline && std::chrono::steady_clock::now() >= deadline;
}

}  // namespace pelumir
