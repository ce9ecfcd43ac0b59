#include "settings/ExtraSettings.h"

#include <vector>

namespace pelumir {

std::span<const ExtraSetting> ExtraSettings() {
    static const std::vector<ExtraSetting> rows = {
        {"AutoOrientation", &TViewerConfig::AutoOrientation, true, "撮影時の向き (Exif) に合わせて表示する(&E)"},
    };
    return rows;
}

}  // namespace pelumir
