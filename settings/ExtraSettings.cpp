#include "settings/ExtraSettings.h"

#include <vector>

namespace pelumir {

std::span<const ExtraSetting> ExtraSettings() {
    static const std::vector<ExtraSetting> rows = {};
    return rows;
}

}  // namespace pelumir
