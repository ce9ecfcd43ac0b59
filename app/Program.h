#pragma once
// The program's life: the application object, the four windows made once,
// the message loop, and the settings written when the main window is gone.
#include <functional>

namespace pelumir {

// `onShown`, when given, runs once the main window has first been painted
// (the launch benchmark measures up to that moment).
int RunProgram(int argc, char** argv, const std::function<void()>& onShown = {});

}  // namespace pelumir
