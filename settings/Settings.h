#pragma once
// Loading and saving the settings file "plm.ini" beside the executable.
#include <string>

#include "settings/ViewerConfig.h"

namespace pelumir {

struct StoredSettings {
    TViewerConfig config;
    int configVersion = 1;     // layout version found at load time
    std::string listFileName;  // absolute path of the current list file
};

// Reads BaseDir + "plm.ini"; a missing file gives the defaults and
// ListFileName = baseDir + "default.txt". baseDir ends with "/".
StoredSettings LoadSettings(const std::string& baseDir);

// Writes the version-2 keys (making plm.bak first when migrating from
// version 1) and sets configVersion to 2. Throws Exception("<path> に書き込めません")
// at the first key that cannot be written; configVersion is then unchanged.
void SaveSettings(const std::string& baseDir, StoredSettings& settings);

}  // namespace pelumir
