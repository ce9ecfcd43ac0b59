#include <QApplication>
#include <QContextMenuEvent>
#include <QMenuBar>
#include <QStatusBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

#include "MainFormFixture.h"
#include "ModalAnswer.h"
#include "app/MainForm.h"
#include "app/SourceListBox.h"
#include "platform/ErrorDisplay.h"
#include "tests/unit/TempDir.h"
#include "viewer/grpform.h"

using namespace pelumir;
using testutil::AnswerNextModal;
using testutil::ModalRecord;

namespace {

class MainFormTest : public testutil::MainFormFixture {
protected:
    testutil::TempDir files;
};

}  // namespace

TEST_F(MainFormTest, FirstStartHasCaptionMenusAndAnEmptyList) {
    TfrmMain w(input);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("PelumirVersion 1.02"));
    EXPECT_EQ(w.BaseDir(), app.path().toStdString() + "/");
    EXPECT_EQ(w.HelpFile(), app.path().toStdString() + "/pelumir.hlp");
    EXPECT_EQ(w.ListFileName(), w.BaseDir() + "default.txt");
    EXPECT_EQ(w.memSrcFList()->LineCount(), 0);
    EXPECT_FALSE(w.memSrcFList()->Modified());
    EXPECT_TRUE(w.acceptDrops());
    QStringList menus;
    for (QAction* a : w.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"ファイル(&F)", "編集(&E)", "その他(&O)", "ヘルプ(&H)"}));
    QStringList edit;
    for (QAction* a : w.menuBar()->actions()[1]->menu()->actions()) edit << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(edit, (QStringList{"切り取り(&T)", "ｺﾋﾟｰ(&C)", "貼り付け(&P)", "削除(D)", "-", "全て選択(&A)"}));
    for (QAction* menu : w.menuBar()->actions())
        for (QAction* a : menu->menu()->actions()) EXPECT_TRUE(a->shortcut().isEmpty());
    EXPECT_EQ(w.btnOpenView()->text(), QStringLiteral("画像の表示"));
    EXPECT_EQ(w.btnOpenView()->size(), QSize(81, 24));
    EXPECT_EQ(w.btnClearFileList()->text(), QStringLiteral("一覧の消去"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainFormTest, CommandLineTakesExistingFilesOnlyInOrder) {
    const std::string text = files.Touch("notes.txt");
    const std::string photo = files.Touch("Photo.jpg");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(files.path().c_str()), 0);
    input.arguments = {files.path(), "missing.jpg", "Photo.jpg", text, photo};
    TfrmMain w(input);
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(w.memSrcFList()->Lines(), (std::vector<std::string>{"Photo.jpg", text, photo}));
    EXPECT_EQ(w.memSrcFList()->Text(), "Photo.jpg\r\n" + text + "\r\n" + photo + "\r\n");
    EXPECT_TRUE(w.memSrcFList()->Modified());
}

TEST_F(MainFormTest, NothingToShowReportsAndStillHandsOverTheSettings) {
    input.arguments = {files.Touch("notes.txt")};
    TfrmMain w(input);
    TfrmGrpView viewer;
    w.SetWindows(nullptr, nullptr, &viewer);
    w.Config().ImageSortType = 1;
    w.Config().AutoSlideTime = 42;
    ModalRecord rec;
    AnswerNextModal(rec, QStringLiteral("OK"));
    w.btnOpenViewClick();
    EXPECT_EQ(rec.text, QStringLiteral("画像ファイルが見つかりません。"));
    EXPECT_EQ(rec.title, QStringLiteral("エラー"));
    EXPECT_EQ(rec.buttons, QStringList{"OK"});
    EXPECT_EQ(viewer.Config().AutoSlideTime, 42);
    EXPECT_EQ(viewer.Config().ImageSortType, 1);
    EXPECT_FALSE(viewer.isVisible());
}

TEST_F(MainFormTest, ClearAsksOnlyWhenThereAreLines) {
    TfrmMain w(input);
    w.ClearSourceFList();  // empty: no question (a box would block this test)
    w.memSrcFList()->AppendLine("   ");
    ModalRecord rec;
    AnswerNextModal(rec, QStringLiteral("キャンセル"));
    w.ClearSourceFList();
    EXPECT_EQ(rec.text, QStringLiteral("一覧の内容を消去しますか？"));
    EXPECT_EQ(rec.title, QStringLiteral("警告"));
    EXPECT_EQ(rec.buttons, (QStringList{"OK", "キャンセル"}));
    EXPECT_EQ(w.memSrcFList()->LineCount(), 1);
    AnswerNextModal(rec, QStringLiteral("OK"));
    w.ClearSourceFList();
    EXPECT_EQ(w.memSrcFList()->LineCount(), 0);
    EXPECT_FALSE(w.memSrcFList()->Modified());
}

// A right click on a bar offers no menu that could hide the tool bar, and
// with it "画像の表示".
TEST_F(MainFormTest, NoBarOffersAMenuThatHidesBars) {
    TfrmMain w(input);
    Activate(w);
    for (QWidget* bar : {static_cast<QWidget*>(w.menuBar()), w.btnOpenView()->parentWidget()->parentWidget(),
                         static_cast<QWidget*>(w.statusBar())}) {
        const QPoint at(bar->width() - 2, bar->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, bar->mapToGlobal(at));
        QApplication::sendEvent(bar, &event);
        QWidget* popup = QApplication::activePopupWidget();
        EXPECT_EQ(popup, nullptr) << bar->objectName().toStdString();
        if (popup != nullptr) popup->close();
    }
    EXPECT_TRUE(w.btnOpenView()->isVisible());
}
