#pragma once
// Loading and saving the settings file "plm.ini" beside the executable.
#include <string>

#include "settings/ExtraSettings.h"
#include "settings/ViewerConfig.h"

namespace pelumir {

struct StoredSettings {
    TViewerConfig config;
    int configVersion = 1;     // layout version found at load time
    std::string listFileName;  // absolute path of the current list file
};

// The settings file and the default list in the base folder (ending in "/").
std::string SettingsFilePath(const std::string& baseDir);
std::string DefaultListPath(const std::string& baseDir);

// Reads BaseDir + "plm.ini"; a missing file gives the defaults and
// ListFileName = baseDir + "default.txt". baseDir ends with "/". `extras`:
// the settings of our own (a test gives its own rows).
StoredSettings LoadSettings(const std::string& baseDir, std::span<const ExtraSetting> extras = ExtraSettings());

// Writes the version-2 keys (making plm.bak first when migrating from
// version 1) and the settings of our own that differ from their defaults
// (removing the others' keys), all in one replace of the file, and sets
// configVersion to 2.
// Throws Exception("<path> に書き込めません") when they cannot be written; the
// file then holds none of them and configVersion is unchanged.
void SaveSettings(const std::string& baseDir, StoredSettings& settings,
                  std::span<const ExtraSetting> extras = ExtraSettings());

}  // namespace pelumir
