#pragma once
// When a piece of work must hand the thread back: decoding runs in small
// steps between a window's events, each stopping once its deadline passed.
#include <chrono>

namespace pelumir {

using StepDeadline = std::chrono::steady_clock::time_point;
// A deadline that never comes: the work runs to its end.
inline constexpr StepDeadline kNoDeadline = StepDeadline::max();

}  // namespace pelumir
