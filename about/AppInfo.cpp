#include "about/AppInfo.h"

#include <cstdio>

namespace pelumir {

std::string FormatVersionString(int major, int minor, int stage, int stageNumber) {
    char buf[96];
    if (stage >= 0 && stage < 2)
        std::snprintf(buf, sizeof buf, "Version %d.%.2d %s %d", major, minor,
                      ReleaseStageNames[stage], stageNumber);
    else
        std::snprintf(buf, sizeof buf, "Version %d.%.2d", major, minor);
    return buf;
}

std::string GetVersionString() {
    return FormatVersionString(VersionMajor, VersionMinor, ReleaseStage, StageNumber);
}

}  // namespace pelumir
