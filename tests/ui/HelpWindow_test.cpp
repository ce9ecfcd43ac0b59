#include <QApplication>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <gtest/gtest.h>

#include "help/HelpWindow.h"

// Readable failures: gtest finds this through the argument's namespace.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace pelumir;

namespace {

const char* const kHelp =
    "@title テスト ヘルプ\n"
    "@topic contents 目次\n"
    "最初のページです。[[turn]] と [[keys]] をどうぞ。\n"
    "@topic turn 画像の回転\n"
    "@keywords 回転《かいてん》, 画像《がぞう》\n"
    "右クリックで回ります。\n"
    "@topic keys キー操作\n"
    "@keywords Esc キー《えすけーぷきー》, 画像を閉じる《がぞうをとじる》\n"
    "Esc で閉じます。\n";

// Japanese arrives as the input method's committed text.
void Type(QWidget* field, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(field, &commit);
}

class HelpWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("pelumir.hlp"));
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kHelp);
    }
    void TearDown() override {
        delete CurrentHelpWindow();
        EXPECT_EQ(CurrentHelpWindow(), nullptr);
    }
    QTemporaryDir dir_;
    QString path_;
};

}  // namespace

TEST_F(HelpWindowTest, ContentsShowsTheFirstTopicAndFollowsLinks) {
    ShowHelpContents(nullptr, path_);
    THelpWindow* help = CurrentHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Problem(), QString());
    EXPECT_EQ(help->windowTitle(), QStringLiteral("テスト ヘルプ"));
    EXPECT_FALSE(help->KeywordPageShown());
    EXPECT_EQ(help->CurrentTopic(), 0);
    EXPECT_TRUE(help->PageText().contains(QStringLiteral("最初のページです。画像の回転 と キー操作 をどうぞ。")));

    auto* page = help->findChild<QTextBrowser*>();
    ASSERT_NE(page, nullptr);
    emit page->anchorClicked(QUrl(QStringLiteral("topic:keys")));
    EXPECT_EQ(help->CurrentTopic(), 2);
    EXPECT_TRUE(help->PageText().contains(QStringLiteral("Esc で閉じます。")));
    help->GoBack();
    EXPECT_EQ(help->CurrentTopic(), 0);

    // A second command reuses the window.
    ShowHelpContents(nullptr, path_);
    EXPECT_EQ(CurrentHelpWindow(), help);
}

TEST_F(HelpWindowTest, KeywordSearchListsFiltersAndOpens) {
    ShowHelpKeywordSearch(nullptr, path_, QString());
    THelpWindow* help = CurrentHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->KeywordPageShown());
    EXPECT_EQ(help->KeywordFieldText(), QString());
    // Every keyword, in the order of the readings: え, か, が.
    EXPECT_EQ(help->ListedKeywords(),
              QStringList({"Esc キー", "回転", "画像", "画像を閉じる"}));
    EXPECT_EQ(help->CurrentTopic(), 0);

    // Typing narrows the list, in kana too; Enter opens the selection.
    auto* field = help->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    Type(field, QStringLiteral("がぞう"));
    EXPECT_EQ(help->ListedKeywords(), QStringList({"画像", "画像を閉じる"}));
    EXPECT_EQ(help->SelectedKeyword(), QStringLiteral("画像"));
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(help->SelectedKeyword(), QStringLiteral("画像を閉じる"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(help->CurrentTopic(), 2);

    QTest::keyClicks(field, QStringLiteral("nothing"));
    EXPECT_TRUE(help->ListedKeywords().isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(help->CurrentTopic(), 2);
}

TEST_F(HelpWindowTest, KeywordSearchStartsWithTheGivenKeyword) {
    ShowHelpKeywordSearch(nullptr, path_, QStringLiteral("かいてん"));
    THelpWindow* help = CurrentHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->KeywordFieldText(), QStringLiteral("かいてん"));
    EXPECT_EQ(help->ListedKeywords(), QStringList({"回転"}));
    EXPECT_EQ(help->CurrentTopic(), 1);  // one topic: shown at once

    ShowHelpKeywordSearch(nullptr, path_, QStringLiteral("esc"));
    EXPECT_EQ(help->SelectedKeyword(), QStringLiteral("Esc キー"));
    EXPECT_EQ(help->CurrentTopic(), 0);  // only part of a keyword: the list decides
}

TEST_F(HelpWindowTest, MissingOrEmptyFileIsReportedInTheWindow) {
    const QString missing = dir_.filePath(QStringLiteral("none/pelumir.hlp"));
    ShowHelpContents(nullptr, missing);
    THelpWindow* help = CurrentHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->Problem().contains(QStringLiteral("見つかりません")));
    EXPECT_TRUE(help->Problem().contains(missing));
    EXPECT_TRUE(help->PageText().contains(missing));
    EXPECT_EQ(help->CurrentTopic(), -1);
    EXPECT_FALSE(help->findChild<QTabWidget*>()->isEnabled());

    ShowHelpKeywordSearch(nullptr, missing, QStringLiteral("回転"));
    EXPECT_TRUE(help->Problem().contains(QStringLiteral("見つかりません")));
    EXPECT_TRUE(help->ListedKeywords().isEmpty());

    QFile empty(path_);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly | QIODevice::Truncate));
    empty.write("no topics here\n");
    empty.close();
    ShowHelpContents(nullptr, path_);
    EXPECT_TRUE(help->Problem().contains(QStringLiteral("トピックがありません")));

    // The file is read again at every command, so a repaired file shows.
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly | QIODevice::Truncate));
    empty.write(kHelp);
    empty.close();
    ShowHelpContents(nullptr, path_);
    EXPECT_EQ(help->Problem(), QString());
    EXPECT_TRUE(help->findChild<QTabWidget*>()->isEnabled());
    EXPECT_EQ(help->CurrentTopic(), 0);
}

TEST_F(HelpWindowTest, ClosingTheWindowLetsTheNextCommandOpenAFreshOne) {
    QWidget owner;
    ShowHelpContents(&owner, path_);
    THelpWindow* help = CurrentHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->parentWidget(), &owner);
    EXPECT_TRUE(help->isWindow());
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(CurrentHelpWindow(), nullptr);
    ShowHelpContents(&owner, path_);
    EXPECT_NE(CurrentHelpWindow(), nullptr);
}
