#pragma once
// Settings of our own, beyond the nine viewer settings: one row each, and
// loading, saving and the preferences page "その他" go through the rows.
// plm.ini keeps them in a section of their own, each key only while its value
// differs from the default, so a user who leaves them alone keeps a file with
// the nine settings' keys alone, byte for byte.
#include <span>

#include "settings/ViewerConfig.h"

namespace pelumir {

struct ExtraSetting {
    const char* key;  // in section kExtraSection
    bool TViewerConfig::*field;
    bool defaultValue;    // the field's initialiser in TViewerConfig
    const char* caption;  // the check box on the page "その他", UTF-8
};

inline constexpr char kExtraSection[] = "Pelumir";

// Every row, in the order of the page "その他".
std::span<const ExtraSetting> ExtraSettings();

}  // namespace pelumir
