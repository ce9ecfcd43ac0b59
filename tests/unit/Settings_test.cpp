#include "settings/Settings.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Exception.h"
#include "settings/RelativePath.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

using test::Slurp;
using test::Spit;

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

struct Base {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/";
    std::string ini = path + "plm.ini";
    std::string bak = path + "plm.bak";
};

const char kV1File[] =
    "[Grobal]\r\nConfigVersion=1\r\nLoopMode=0\r\nImageInfoShow=2\r\nImageInfoTime=5\r\nImageInfoType=1\r\n";

TEST(Settings, FirstStartWritesTheElevenKeysInOrder) {
    Base b;
    StoredSettings s = LoadSettings(b.path);
    EXPECT_EQ(s.config, TViewerConfig{});
    EXPECT_EQ(s.configVersion, 1);
    EXPECT_EQ(s.listFileName, b.path + "default.txt");

    SaveSettings(b.path, s);
    EXPECT_EQ(s.configVersion, 2);
    EXPECT_FALSE(Exists(b.bak));
    EXPECT_EQ(Slurp(b.ini),
              "[Grobal]\r\nConfigVersion=2\r\nDefaultFileName=\"default.txt\"\r\nLoopMode=1\r\nImageSortType=0\r\n"
              "RightClickMode=0\r\n[AutoSlide]\r\nEnabled=0\r\nTime=3\r\n[ImageInfo]\r\nEnabled=1\r\nTime=1\r\n"
              "Type=0\r\nFontSize=9\r\n");
}

TEST(Settings, Version1IsReadAndMigratedWithABackup) {
    Base b;
    Spit(b.ini, kV1File);
    StoredSettings s = LoadSettings(b.path);
    EXPECT_FALSE(s.config.LoopMode);
    EXPECT_EQ(s.config.ImageInfoShow, 2);
    EXPECT_EQ(s.config.ImageInfoTime, 5);
    EXPECT_EQ(s.config.ImageInfoType, 1);
    EXPECT_EQ(s.config.ImageInfoFontSize, 9);

    SaveSettings(b.path, s);
    EXPECT_EQ(Slurp(b.bak), kV1File);
    EXPECT_EQ(Slurp(b.ini).find("ImageInfoShow"), std::string::npos);
    EXPECT_EQ(LoadSettings(b.path).config, s.config);
    // Later saves of the run leave the backup alone.
    Spit(b.bak, "kept");
    SaveSettings(b.path, s);
    EXPECT_EQ(Slurp(b.bak), "kept");
}

TEST(Settings, Version1WithAnOldBackupIsUpdatedInPlace) {
    Base b;
    Spit(b.ini, kV1File);
    Spit(b.bak, "older backup");
    StoredSettings s = LoadSettings(b.path);
    SaveSettings(b.path, s);
    EXPECT_EQ(Slurp(b.bak), "older backup");
    const std::string now = Slurp(b.ini);
    EXPECT_NE(now.find("ImageInfoShow=2"), std::string::npos);
    EXPECT_NE(now.find("ConfigVersion=2"), std::string::npos);
    EXPECT_EQ(LoadSettings(b.path).config, s.config);
}

TEST(Settings, LaterVersionsAndOddValues) {
    Base b;
    Spit(b.ini, "[Grobal]\nConfigVersion=2\nLoopMode=5\n[AutoSlide]\nTime=0x0A\n");
    StoredSettings s = LoadSettings(b.path);
    EXPECT_TRUE(s.config.LoopMode);
    EXPECT_EQ(s.config.AutoSlideTime, 10);
    // Without its section the information settings read as zero, font size 9.
    EXPECT_EQ(s.config.ImageInfoShow, 0);
    EXPECT_EQ(s.config.ImageInfoTime, 0);
    EXPECT_EQ(s.config.ImageInfoType, 0);
    EXPECT_EQ(s.config.ImageInfoFontSize, 9);
    SaveSettings(b.path, s);
    EXPECT_NE(Slurp(b.ini).find("\nLoopMode=1\n"), std::string::npos);

    Spit(b.ini, "; mine\n[grobal]\nconfigversion=3\nExtra=keep\n[AutoSlide]\nTime=abc\n[ImageInfo]\nEnabled=2\n"
                "[Unknown]\nA=b\n");
    s = LoadSettings(b.path);
    EXPECT_EQ(s.configVersion, 3);
    EXPECT_EQ(s.config.AutoSlideTime, 3);
    EXPECT_EQ(s.config.ImageInfoShow, 2);
    SaveSettings(b.path, s);
    EXPECT_FALSE(Exists(b.bak));
    const std::string now = Slurp(b.ini);
    EXPECT_EQ(now.rfind("; mine\n[grobal]\nconfigversion=2\nExtra=keep\nDefaultFileName=", 0), 0u);
    for (const char* kept : {"Extra=keep\n", "[Unknown]\nA=b\n"}) EXPECT_NE(now.find(kept), std::string::npos);
}

TEST(Settings, ListFileIsStoredRelativeToTheProgramFolder) {
    const std::string base = "/app/";
    EXPECT_EQ(RelativePath(base, "/app/default.txt"), "default.txt");
    EXPECT_EQ(RelativePath(base, "/app/lists/a.txt"), "lists/a.txt");
    EXPECT_EQ(RelativePath(base, "/data/a.txt"), "../data/a.txt");
    EXPECT_EQ(RelativePath(base, "/App/a.txt"), "../App/a.txt");
    EXPECT_EQ(RelativePath("/home/u/app/", "/home/v/x.txt"), "../../v/x.txt");
    EXPECT_EQ(ResolvePath(base, "../data/a.txt"), "/data/a.txt");
    EXPECT_EQ(ResolvePath(base, "./lists/../x.txt"), "/app/x.txt");
    EXPECT_EQ(ResolvePath(base, "/../..//a//b"), "/a/b");
    EXPECT_EQ(ResolvePath(base, "lists/.."), "/app/");

    Base b;
    Spit(b.ini, "[Grobal]\nConfigVersion=2\nDefaultFileName=  \"  a b.txt  \"  \n");
    EXPECT_EQ(LoadSettings(b.path).listFileName, b.path + "  a b.txt  ");
    StoredSettings s;
    s.configVersion = 2;
    s.listFileName = ResolvePath(b.path, "../elsewhere/list.txt");
    SaveSettings(b.path, s);
    EXPECT_NE(Slurp(b.ini).find("DefaultFileName=\"../elsewhere/list.txt\""), std::string::npos);
    EXPECT_EQ(LoadSettings(b.path).listFileName, s.listFileName);
}

TEST(Settings, ReadOnlyFolderStopsTheSaveAndKeepsTheOldFile) {
    Base b;
    Spit(b.ini, kV1File);
    chmod(b.path.c_str(), 0555);
    const std::string probe = b.path + "probe";
    if (int fd = creat(probe.c_str(), 0644); fd >= 0) {
        close(fd);
        unlink(probe.c_str());
        chmod(b.path.c_str(), 0755);
        GTEST_SKIP() << "permissions do not stop this user from writing";
    }
    StoredSettings s = LoadSettings(b.path);
    s.config.AutoSlideTime = 42;
    try {
        SaveSettings(b.path, s);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.what(), b.ini + " に書き込めません");
    }
    chmod(b.path.c_str(), 0755);
    EXPECT_EQ(s.configVersion, 1);
    EXPECT_EQ(Slurp(b.ini), kV1File);
    EXPECT_FALSE(Exists(b.bak));
}

// The same failure as a full disk, which binds root too: the backup of the
// old layout already exists, so the old file stays and must stay whole.
TEST(Settings, FailedSaveLeavesTheOldSettingsReadable) {
    Base b;
    Spit(b.ini, kV1File);
    Spit(b.bak, "older backup");
    StoredSettings s = LoadSettings(b.path);
    const TViewerConfig before = s.config;
    s.config.AutoSlideTime = 42;
    std::string message;
    {
        test::FileSizeLimit limit(16);
        ASSERT_TRUE(limit.Active());
        try {
            SaveSettings(b.path, s);
        } catch (const Exception& e) {
            message = e.what();
        }
    }
    EXPECT_EQ(message, b.ini + " に書き込めません");
    EXPECT_EQ(s.configVersion, 1);
    EXPECT_EQ(Slurp(b.ini), kV1File);
    EXPECT_EQ(LoadSettings(b.path).config, before);
}

}  // namespace
}  // namespace pelumir
