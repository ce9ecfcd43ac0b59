#include "settings/Settings.h"

#include "platform/FileSystem.h"
#include "settings/IniFileX.h"
#include "settings/RelativePath.h"

namespace pelumir {

namespace {

constexpr char kIniName[] = "plm.ini";
constexpr char kBackupName[] = "plm.bak";
constexpr char kDefaultListName[] = "default.txt";
constexpr int kLayoutVersion = 2;

// The first section has always been spelt this way; files in use depend on it.
constexpr char kGlobal[] = "Grobal";
constexpr char kAutoSlide[] = "AutoSlide";
constexpr char kImageInfo[] = "ImageInfo";

constexpr char kConfigVersion[] = "ConfigVersion";
constexpr char kDefaultFileName[] = "DefaultFileName";
constexpr char kLoopMode[] = "LoopMode";
constexpr char kImageSortType[] = "ImageSortType";
constexpr char kRightClickMode[] = "RightClickMode";
constexpr char kEnabled[] = "Enabled";
constexpr char kTime[] = "Time";
constexpr char kType[] = "Type";
constexpr char kFontSize[] = "FontSize";
// Layout 1 kept the information settings in the first section.
constexpr char kV1ImageInfoShow[] = "ImageInfoShow";
constexpr char kV1ImageInfoTime[] = "ImageInfoTime";
constexpr char kV1ImageInfoType[] = "ImageInfoType";

// Moves plm.ini aside as plm.bak, never over an existing backup: the first
// backup of an old layout is the one worth keeping. Failure is harmless: the
// old file is then updated in place.
void BackUpOldLayout(const std::string& iniPath, const std::string& backupPath) {
    (void)RenameNoReplace(iniPath, backupPath);
}

}  // namespace

std::string SettingsFilePath(const std::string& baseDir) { return baseDir + kIniName; }
std::string DefaultListPath(const std::string& baseDir) { return baseDir + kDefaultListName; }

StoredSettings LoadSettings(const std::string& baseDir, std::span<const ExtraSetting> extras) {
    // One read for all keys: another copy saving meanwhile cannot give us
    // half of its save and half of the one before.
    const TIniSnapshot ini = TIniFileEx(SettingsFilePath(baseDir)).Snapshot();
    StoredSettings s;
    TViewerConfig& c = s.config;
    const TViewerConfig& d = DefaultViewerConfig;

    s.configVersion = ini.ReadInteger(kGlobal, kConfigVersion, 1);
    s.listFileName = ResolvePath(baseDir, ini.ReadString(kGlobal, kDefaultFileName, DefaultListPath(baseDir)));
    c.LoopMode = ini.ReadBool(kGlobal, kLoopMode, d.LoopMode);
    c.ImageSortType = ini.ReadInteger(kGlobal, kImageSortType, d.ImageSortType);
    c.RightClickMode = ini.ReadInteger(kGlobal, kRightClickMode, d.RightClickMode);
    c.AutoSlideEnabled = ini.ReadBool(kAutoSlide, kEnabled, d.AutoSlideEnabled);
    c.AutoSlideTime = ini.ReadInteger(kAutoSlide, kTime, d.AutoSlideTime);
    if (s.configVersion == 1) {
        c.ImageInfoShow = ini.ReadInteger(kGlobal, kV1ImageInfoShow, d.ImageInfoShow);
        c.ImageInfoTime = ini.ReadInteger(kGlobal, kV1ImageInfoTime, d.ImageInfoTime);
        c.ImageInfoType = ini.ReadInteger(kGlobal, kV1ImageInfoType, d.ImageInfoType);
        c.ImageInfoFontSize = d.ImageInfoFontSize;
    } else {
        // Without these keys a later layout has always read zero for each
        // (information shown all the time), not the first-start defaults.
        c.ImageInfoShow = ini.ReadInteger(kImageInfo, kEnabled, InfoShow::AllTheTime);
        c.ImageInfoTime = ini.ReadInteger(kImageInfo, kTime, 0);
        c.ImageInfoType = ini.ReadInteger(kImageInfo, kType, d.ImageInfoType);
        c.ImageInfoFontSize = ini.ReadInteger(kImageInfo, kFontSize, d.ImageInfoFontSize);
    }
    for (const ExtraSetting& row : extras) c.*row.field = ini.ReadBool(kExtraSection, row.key, row.defaultValue);
    return s;
}

void SaveSettings(const std::string& baseDir, StoredSettings& settings, std::span<const ExtraSetting> extras) {
    const std::string iniPath = SettingsFilePath(baseDir);
    if (settings.configVersion < kLayoutVersion) BackUpOldLayout(iniPath, baseDir + kBackupName);

    const TViewerConfig& c = settings.config;
    using Ini = TIniFileEx;
    // One replace of the whole file: a save cut short, or another copy
    // saving at the same moment, can never leave some keys of each.
    std::vector<IniValue> values = {
        {kGlobal, kConfigVersion, Ini::IntegerText(kLayoutVersion)},
        {kGlobal, kDefaultFileName, Ini::QuotedText(RelativePath(baseDir, settings.listFileName))},
        {kGlobal, kLoopMode, Ini::BoolText(c.LoopMode)},
        {kGlobal, kImageSortType, Ini::IntegerText(c.ImageSortType)},
        {kGlobal, kRightClickMode, Ini::IntegerText(c.RightClickMode)},
        {kAutoSlide, kEnabled, Ini::BoolText(c.AutoSlideEnabled)},
        {kAutoSlide, kTime, Ini::IntegerText(c.AutoSlideTime)},
        {kImageInfo, kEnabled, Ini::IntegerText(c.ImageInfoShow)},
        {kImageInfo, kTime, Ini::IntegerText(c.ImageInfoTime)},
        {kImageInfo, kType, Ini::IntegerText(c.ImageInfoType)},
        {kImageInfo, kFontSize, Ini::IntegerText(c.ImageInfoFontSize)},
    };
    // A value back at its default takes its key away, and the section with
    // the last one.
    for (const ExtraSetting& row : extras) {
        const bool value = c.*row.field;
        values.push_back({kExtraSection, row.key,
                          value == row.defaultValue ? std::nullopt : std::optional(Ini::BoolText(value))});
    }
    TIniFileEx(iniPath).WriteValues(values);
    settings.configVersion = kLayoutVersion;
}

}  // namespace pelumir
