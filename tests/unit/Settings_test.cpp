#include "settings/Settings.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "platform/Exception.h"
#include "platform/FileReplace.h"
#include "settings/RelativePath.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

using testutil::Slurp;
using testutil::Spit;

struct Base {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/";
    std::string ini = path + "plm.ini";
    std::string bak = path + "plm.bak";
};

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string SaveError(const std::string& baseDir, StoredSettings& s) {
    try {
        SaveSettings(baseDir, s);
    } catch (const Exception& e) {
        return e.what();
    }
    return "saved";
}

const char kV1File[] = "[Grobal]\r\nLoopMode=0\r\nImageInfoShow=2\r\nImageInfoTime=5\r\nImageInfoType=1\r\n";

TEST(Settings, FirstStartWritesTheElevenKeysInOrder) {
    Base b;
    StoredSettings s = LoadSettings(b.path);
    EXPECT_EQ(s.config, TViewerConfig{});
    EXPECT_EQ(s.configVersion, 1);
    EXPECT_EQ(s.listFileName, b.path + "default.txt");
    SaveSettings(b.path, s);
    EXPECT_EQ(s.configVersion, 2);
    EXPECT_FALSE(Exists(b.bak));
    EXPECT_EQ(Slurp(b.ini), "[Grobal]\r\nConfigVersion=2\r\nDefaultFileName=\"default.txt\"\r\nLoopMode=1\r\n"
                            "ImageSortType=0\r\nRightClickMode=0\r\n[AutoSlide]\r\nEnabled=0\r\nTime=3\r\n"
                            "[ImageInfo]\r\nEnabled=1\r\nTime=1\r\nType=0\r\nFontSize=9\r\n");
}

// A setting of our own is in plm.ini only while it differs from its default:
// put back, the file is again byte for byte the one without it.
TEST(Settings, OurOwnSettingsAreWrittenOnlyWhileTheyDifferFromTheDefault) {
    for (const ExtraSetting& row : ExtraSettings())
        EXPECT_EQ(DefaultViewerConfig.*row.field, row.defaultValue) << row.key;

    // A field the nine settings also store, so the row can be tried before
    // any real one exists; the file below holds only the row's key for it.
    const ExtraSetting rows[] = {{"Probe", &TViewerConfig::AutoSlideEnabled, false, ""}};
    Base b;
    Spit(b.ini, "[Grobal]\r\nConfigVersion=2\r\n[Pelumir]\r\nProbe=1\r\n");
    EXPECT_TRUE(LoadSettings(b.path, rows).config.AutoSlideEnabled);
    EXPECT_FALSE(LoadSettings(b.path, {}).config.AutoSlideEnabled);

    std::remove(b.ini.c_str());
    StoredSettings s = LoadSettings(b.path, rows);
    SaveSettings(b.path, s, rows);
    const std::string without = Slurp(b.ini);
    EXPECT_EQ(without.find("Pelumir"), std::string::npos);
    s.config.AutoSlideEnabled = true;
    SaveSettings(b.path, s, rows);
    EXPECT_TRUE(Slurp(b.ini).ends_with("FontSize=9\r\n[Pelumir]\r\nProbe=1\r\n")) << Slurp(b.ini);
    s.config.AutoSlideEnabled = false;
    SaveSettings(b.path, s, rows);
    EXPECT_EQ(Slurp(b.ini), without);
}

// Our own settings: a file written before them loads each at its default,
// and a value off its default is the one extra key, which reads back.
TEST(Settings, OwnSettingsAreTheirDefaultUnlessTheFileSaysOtherwise) {
    struct Row {
        bool TViewerConfig::*field;
        bool byDefault;
        const char* saved;
    };
    for (const Row& row : {Row{&TViewerConfig::AutoOrientation, true, "AutoOrientation=0"},
                           Row{&TViewerConfig::MoreFormats, false, "MoreFormats=1"},
                           Row{&TViewerConfig::ColourManagement, true, "ColourManagement=0"}}) {
        SCOPED_TRACE(row.saved);
        Base b;
        Spit(b.ini, kV1File);
        EXPECT_EQ(LoadSettings(b.path).config.*row.field, row.byDefault);
        std::remove(b.ini.c_str());
        StoredSettings s = LoadSettings(b.path);
        s.config.*row.field = !row.byDefault;
        SaveSettings(b.path, s);
        EXPECT_TRUE(Slurp(b.ini).ends_with(std::string("FontSize=9\r\n[Pelumir]\r\n") + row.saved + "\r\n"))
            << Slurp(b.ini);
        EXPECT_EQ(LoadSettings(b.path).config.*row.field, !row.byDefault);
    }
}

TEST(Settings, Version1IsMigratedOnceWithABackupNeverOverwritten) {
    for (const bool oldBackup : {false, true}) {
        Base b;
        Spit(b.ini, kV1File);
        if (oldBackup) Spit(b.bak, "older backup");
        StoredSettings s = LoadSettings(b.path);
        const TViewerConfig& c = s.config;
        EXPECT_TRUE(!c.LoopMode && c.ImageInfoShow == 2 && c.ImageInfoTime == 5 && c.ImageInfoType == 1);
        EXPECT_EQ(c.ImageInfoFontSize, 9);
        SaveSettings(b.path, s);
        EXPECT_EQ(Slurp(b.bak), oldBackup ? "older backup" : kV1File);
        // Without a fresh backup the old file is updated in place, old keys and all.
        EXPECT_EQ(Slurp(b.ini).find("ImageInfoShow=2") != std::string::npos, oldBackup);
        EXPECT_EQ(LoadSettings(b.path).config, c);
        Spit(b.bak, "kept");  // later saves of the run make no backup
        SaveSettings(b.path, s);
        EXPECT_EQ(Slurp(b.bak), "kept");
    }
}

TEST(Settings, LaterVersionsAndOddValues) {
    Base b;
    Spit(b.ini, "[Grobal]\nConfigVersion=2\nLoopMode=5\n[AutoSlide]\nTime=0x0A\n");
    StoredSettings s = LoadSettings(b.path);
    EXPECT_TRUE(s.config.LoopMode);
    EXPECT_EQ(s.config.AutoSlideTime, 10);
    // Without their section the information settings read as zero, font size 9.
    const TViewerConfig& c = s.config;
    EXPECT_TRUE(c.ImageInfoShow == 0 && c.ImageInfoTime == 0 && c.ImageInfoType == 0 && c.ImageInfoFontSize == 9);
    SaveSettings(b.path, s);
    EXPECT_NE(Slurp(b.ini).find("\nLoopMode=1\n"), std::string::npos);

    Spit(b.ini, "; mine\n[grobal]\nconfigversion=3\nExtra=keep\n[AutoSlide]\nTime=abc\n[ImageInfo]\nEnabled=2\n"
                "[Unknown]\nA=b\n");
    s = LoadSettings(b.path);
    EXPECT_EQ(s.config.AutoSlideTime, 3);
    EXPECT_EQ(s.config.ImageInfoShow, 2);
    SaveSettings(b.path, s);
    EXPECT_FALSE(Exists(b.bak));
    const std::string now = Slurp(b.ini);
    EXPECT_TRUE(now.starts_with("; mine\n[grobal]\nconfigversion=2\nExtra=keep\nDefaultFileName=")) << now;
    EXPECT_NE(now.find("[Unknown]\nA=b\n"), std::string::npos);
}

TEST(Settings, ListFileIsStoredRelativeToTheProgramFolder) {
    EXPECT_EQ(RelativePath("/app/", "/app/default.txt"), "default.txt");
    EXPECT_EQ(RelativePath("/app/", "/app/lists/a.txt"), "lists/a.txt");
    EXPECT_EQ(RelativePath("/app/", "/data/a.txt"), "../data/a.txt");
    EXPECT_EQ(RelativePath("/opt/u/app/", "/opt/App/x.txt"), "../../App/x.txt");
    EXPECT_EQ(ResolvePath("/app/", "./lists/../../x.txt"), "/x.txt");
    EXPECT_EQ(ResolvePath("/app/", "/../..//a//b"), "/a/b");

    Base b;
    Spit(b.ini, "[Grobal]\nConfigVersion=2\nDefaultFileName=  \"  a b.txt  \"  \n");
    EXPECT_EQ(LoadSettings(b.path).listFileName, b.path + "  a b.txt  ");
    StoredSettings s;
    s.listFileName = ResolvePath(b.path, "../elsewhere/list.txt");
    SaveSettings(b.path, s);
    EXPECT_NE(Slurp(b.ini).find("\nDefaultFileName=\"../elsewhere/list.txt\"\r\n"), std::string::npos);
    EXPECT_EQ(LoadSettings(b.path).listFileName, s.listFileName);
}

// A read-only folder stops a normal user; the file-size limit, as on a full
// disk, stops root too. The existing backup keeps plm.ini where it is.
TEST(Settings, FailedSaveLeavesTheOldSettingsReadable) {
    Base b;
    Spit(b.ini, kV1File);
    Spit(b.bak, "older backup");
    StoredSettings s = LoadSettings(b.path);
    const TViewerConfig before = s.config;
    s.config.AutoSlideTime = 42;
    chmod(b.path.c_str(), 0555);
    {
        testutil::FileSizeLimit full(16);
        ASSERT_TRUE(full.active);
        EXPECT_EQ(SaveError(b.path, s), b.ini + " に書き込めません");
    }
    chmod(b.path.c_str(), 0755);
    EXPECT_EQ(s.configVersion, 1);
    EXPECT_EQ(Slurp(b.ini), kV1File);
    EXPECT_EQ(Slurp(b.bak), "older backup");
    EXPECT_EQ(LoadSettings(b.path).config, before);
}

// A copy of the program killed while it saves (SIGKILL cannot be handled)
// leaves the settings of one save or the other, never some keys of each.
TEST(Settings, ACopyKilledWhileSavingLeavesOneWholeSave) {
    Base b;
    StoredSettings first{.config = {}, .configVersion = 2, .listFileName = b.path + "default.txt"},
        second{.config = {}, .configVersion = 2, .listFileName = b.path + "named.txt"};
    second.config.LoopMode = false;
    second.config.AutoSlideEnabled = true;
    second.config.AutoSlideTime = 7;
    second.config.ImageInfoTime = 4;
    second.config.ImageInfoFontSize = 12;
    for (int round = 0; round < 3; ++round) {
        const pid_t saver = ::fork();
        if (saver == 0) {
            for (;;) {
                SaveSettings(b.path, first);
                SaveSettings(b.path, second);
            }
        }
        while (Slurp(b.ini).empty()) ::usleep(1000);
        ::usleep(useconds_t(20000 * (round + 1)));  // somewhere in the middle of a save
        ::kill(saver, SIGKILL);
        ::waitpid(saver, nullptr, 0);
        const StoredSettings found = LoadSettings(b.path);
        const bool isFirst = found.config == first.config && found.listFileName == first.listFileName;
        const bool isSecond = found.config == second.config && found.listFileName == second.listFileName;
        EXPECT_TRUE(isFirst || isSecond) << Slurp(b.ini);
        // What the killed copy was writing goes at the next start.
        RemoveLeftoverTemporaries(b.ini);
        EXPECT_EQ(QDir(b.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plm.ini"});
    }
}

}  // namespace
}  // namespace pelumir
