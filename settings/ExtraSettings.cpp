#include "settings/ExtraSettings.h"

#include <vector>

namespace pelumir {

std::span<const ExtraSetting> ExtraSettings() {
    static const std::vector<ExtraSetting> rows = {
        {"AutoOrientation", &TViewerConfig::AutoOrientation, true, "撮影時の向き (Exif) に合わせて表示する(&E)"},
        {"MoreFormats", &TViewerConfig::MoreFormats, false, "JPEG と BMP 以外の形式も表示する(&O)"},
        {"ColourManagement", &TViewerConfig::ColourManagement, true, "色を正しく表示する (カラープロファイル)(&C)"},
    };
    return rows;
}

}  // namespace pelumir
