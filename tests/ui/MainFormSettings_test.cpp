#include <QFileInfo>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "app/SourceListBox.h"
#include "platform/ErrorDisplay.h"
#include "tests/unit/TestFiles.h"

using namespace pelumir;
using testutil::Slurp;

namespace {

class MainFormSettings : public testutil::MainFormFixture {
protected:
    void SetUp() override {
        MainFormFixture::SetUp();
        base = app.path().toStdString() + "/";
    }
    std::string base;
};

}  // namespace

TEST_F(MainFormSettings, SettingsAndTheListSurviveARestart) {
    {
        TfrmMain first(input);
        first.Config().ImageSortType = 2;
        first.Config().LoopMode = false;
        first.memSrcFList()->AppendLine("/pics/a.jpg");
        ASSERT_TRUE(first.FormCloseQuery());  // the default list is saved silently
        first.FormDestroy();
    }
    EXPECT_EQ(Slurp(base + "default.txt"), "/pics/a.jpg\r\n");
    const std::string ini = Slurp(base + "plm.ini");
    EXPECT_NE(ini.find("DefaultFileName=\"default.txt\""), std::string::npos);
    EXPECT_NE(ini.find("LoopMode=0"), std::string::npos);

    const std::string extra = base + "extra.jpg";
    std::ofstream(extra) << "x";
    input.arguments = {extra};
    TfrmMain second(input);
    EXPECT_EQ(second.Config().ImageSortType, 2);
    EXPECT_FALSE(second.Config().LoopMode);
    EXPECT_EQ(second.ConfigVersion(), 2);
    // Command-line files follow the lines of the default list.
    EXPECT_EQ(second.memSrcFList()->Lines(), (std::vector<std::string>{"/pics/a.jpg", extra}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainFormSettings, AnUnreadableListEndsTheStartupButTheWindowOpens) {
    // Larger than any list the edit box takes: reading it fails.
    { std::ofstream(base + "default.txt") << ""; }
    ASSERT_EQ(::truncate((base + "default.txt").c_str(), off_t(300) << 20), 0);
    const std::string extra = base + "extra.jpg";
    std::ofstream(extra) << "x";
    input.arguments = {extra};
    TfrmMain w(input);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "文字列の大きさが メモ の制限を越えました.");
    EXPECT_EQ(w.memSrcFList()->LineCount(), 0);  // the command line was not reached
    EXPECT_FALSE(w.acceptDrops());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("PelumirVersion 1.02"));
}

// A program in a folder we may not write (here one that does not exist) keeps
// everything in the user's config folder, made private on the first save, and
// finds it there on the next start; the help still comes from beside it.
TEST_F(MainFormSettings, AProgramFolderWeMayNotWriteSendsEverythingToTheConfigFolder) {
    struct XdgConfigHome {
        explicit XdgConfigHome(const std::string& v) { qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(v)); }
        ~XdgConfigHome() { had ? qputenv("XDG_CONFIG_HOME", old) : qunsetenv("XDG_CONFIG_HOME"); }
        bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        QByteArray old = qgetenv("XDG_CONFIG_HOME");
    } xdg(base + "cfg");
    input.executablePath = "/nonexistent-pelumir-folder/pelumir";
    const std::string cfg = base + "cfg/pelumir/";
    {
        TfrmMain first(input);
        EXPECT_EQ(first.BaseDir(), cfg);
        EXPECT_EQ(first.ListFileName(), cfg + "default.txt");
        EXPECT_EQ(first.HelpFile(), "/nonexistent-pelumir-folder/pelumir.hlp");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(cfg)));  // nothing made before it is needed
        first.Config().ImageSortType = 1;
        first.memSrcFList()->AppendLine("/pics/a.jpg");
        ASSERT_TRUE(first.FormCloseQuery());
        first.FormDestroy();
    }
    EXPECT_EQ(QFileInfo(QString::fromStdString(cfg)).permissions() & QFile::ReadOther, 0);
    EXPECT_EQ(Slurp(cfg + "default.txt"), "/pics/a.jpg\r\n");
    EXPECT_NE(Slurp(cfg + "plm.ini").find("DefaultFileName=\"default.txt\""), std::string::npos);
    TfrmMain second(input);
    EXPECT_EQ(second.Config().ImageSortType, 1);
    EXPECT_EQ(second.memSrcFList()->Lines(), (std::vector<std::string>{"/pics/a.jpg"}));
    EXPECT_TRUE(errors.empty());
}
