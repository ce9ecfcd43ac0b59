// The help page on files names the folder this run keeps its settings in.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "help/HelpWindow.h"

using namespace pelumir;

TEST(HelpFolder, TheFilesPageNamesTheFolderInUse) {
    // Characters that mean something in HTML must come through as text.
    QTemporaryDir app(QDir::tempPath() + QStringLiteral("/pelumir <&> XXXXXX"));
    ASSERT_TRUE(app.isValid());
    ASSERT_TRUE(QFile::copy(QStringLiteral(PELUMIR_RESOURCES_DIR "/pelumir.hlp"), app.filePath("pelumir.hlp")));
    StartupInput input;
    input.executablePath = app.filePath("pelumir").toStdString();
    TfrmMain w(input);
    ASSERT_EQ(w.BaseDir(), app.path().toStdString() + "/");

    for (bool keywords : {false, true}) {
        if (keywords) w.mnuHelpTopicClick();
        else w.mnuHelpIndexClick();
        THelpWindow* help = CurrentHelpWindow();
        ASSERT_NE(help, nullptr);
        ASSERT_TRUE(help->Problem().isEmpty()) << help->Problem().toStdString();
        help->ShowKeywordSearch(QStringLiteral("置き場所"));
        const QString page = help->PageText();
        EXPECT_TRUE(page.contains(QStringLiteral("いま使っているフォルダ: ") + app.path())) << page.toStdString();
        EXPECT_FALSE(page.contains(QStringLiteral("{{"))) << page.toStdString();
    }
    delete CurrentHelpWindow();
}
