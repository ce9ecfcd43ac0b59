#pragma once
// The program's version, kept in one place.
#include <string>

namespace pelumir {

inline constexpr int VersionMajor = 1;
inline constexpr int VersionMinor = 2;
inline constexpr unsigned char ReleaseStage = 2;
inline constexpr const char* ReleaseStageNames[3] = {"Alpha", "Beta", "Formal"};
inline constexpr int StageNumber = 0;
inline constexpr int ReleaseYear = 2001;
inline constexpr const char* AppTitle = "Pelumir";

// "Version 1.02", or "Version 1.02 Beta 0" before the formal release.
std::string GetVersionString();
// The same rule for any stage; GetVersionString uses the constants above.
std::string FormatVersionString(int major, int minor, int stage, int stageNumber);

}  // namespace pelumir
