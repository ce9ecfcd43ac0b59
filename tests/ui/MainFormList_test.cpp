// The main window's list commands as a user meets them: drops, the choosers,
// the Edit menu, list files and the question at close.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QDragEnterEvent>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

#include "MainFormFixture.h"
#include "ModalAnswer.h"
#include "app/MainForm.h"
#include "app/SourceListBox.h"
#include "platform/ErrorDisplay.h"
#include "platform/Exception.h"
#include "tests/unit/TestFiles.h"

using namespace pelumir;
using namespace testutil;

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

QAction* MenuItem(QMainWindow& w, const QString& caption) {
    for (QAction* menu : w.menuBar()->actions())
        for (QAction* item : menu->menu()->actions())
            if (item->text() == caption) return item;
    return nullptr;
}

// The widget that gets a drag at pos, found as Qt finds it: the innermost
// widget there, or its nearest ancestor, that accepts drops.
QWidget* DropTargetAt(QWidget* window, QPoint pos) {
    QWidget* w = window->childAt(pos);
    if (w == nullptr) w = window;
    while (w != nullptr && !w->isWindow() && !w->acceptDrops()) w = w->parentWidget();
    return w != nullptr && w->acceptDrops() ? w : nullptr;
}

struct DropOutcome {
    bool entered = false, dropped = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// Drags mime over pos in window and lets it go there.
DropOutcome DropAt(QWidget* window, QPoint pos, const QMimeData& mime,
                   Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction) {
    DropOutcome out;
    QWidget* target = DropTargetAt(window, pos);
    if (target == nullptr) return out;
    const QPoint local = target->mapFrom(window, pos);
    QDragEnterEvent enter(local, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    out.entered = enter.isAccepted();
    if (!out.entered) return out;
    QDragMoveEvent move(local, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(local), actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    out.dropped = drop.isAccepted();
    out.action = drop.dropAction();
    return out;
}

// What a file manager sends: percent-encoded file URLs, one a line.
QMimeData* UriList(const std::vector<std::string>& uris) {
    QByteArray list;
    for (const std::string& uri : uris) list += QByteArray::fromStdString(uri) + "\r\n";
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/uri-list"), list);
    return mime;
}

QPoint CentreIn(QWidget* window, QWidget* child) { return child->mapTo(window, child->rect().center()); }

// The names a file dialog lists in its folder, once it has read them.
QStringList ListedNames(QFileDialog* dialog, int atLeast) {
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (model == nullptr) return {};
    const QModelIndex root = model->index(dialog->directory().absolutePath());
    (void)QTest::qWaitFor([&] { return model->rowCount(root) >= atLeast; }, 5000);
    QStringList names;
    for (int i = 0; i < model->rowCount(root); ++i) names << model->fileName(model->index(i, 0, root));
    names.sort();
    return names;
}

QStringList ShownFilters(QFileDialog* dialog) {
    QStringList shown;
    if (auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    return shown;
}

QLineEdit* NameBox(QFileDialog* dialog) { return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

// Types a name into the dialog and confirms it, as a user would: into the
// name box with the focus, so that a file the dialog marked in its list by
// itself (the preset name, once the folder is read) gives way to the typed one.
void Choose(QFileDialog* dialog, const QString& name) {
    dialog->activateWindow();
    NameBox(dialog)->setFocus();
    if (auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"))) list->clearSelection();
    NameBox(dialog)->setText(name);
    QMetaObject::invokeMethod(dialog, "accept");
}

class MainFormList : public testutil::MainFormFixture {
protected:
    void SetUp() override {
        MainFormFixture::SetUp();
        dir = files.path().toStdString() + "/";
    }
    // The window shown and active, with the keyboard focus on a tool-bar button.
    // Checks then ask the window which of its widgets has the focus: offscreen,
    // nothing activates the window again after a dialog has closed.
    void ShowWithFocusElsewhere(TfrmMain& w) {
        Activate(w);
        w.btnOpenView()->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), w.btnOpenView());
    }
    std::string Touch(const std::string& name) {
        Spit(dir + name, "x");
        return dir + name;
    }
    QTemporaryDir files;
    std::string dir;
};

}  // namespace

// ---- Drops ----

TEST_F(MainFormList, DropsAnywhereOnTheWindowAppendTheNamesInOrderWithoutMovingTheFocus) {
    TfrmMain w(input);
    ShowWithFocusElsewhere(w);
    const std::string a = Touch("b.jpg"), folder = dir + "pics", c = Touch("a.jpg");
    std::unique_ptr<QMimeData> mime(UriList({"file://" + a, "file://" + folder, "file://" + c}));

    // On the list box itself, which leaves drops to the window.
    ASSERT_EQ(DropTargetAt(&w, CentreIn(&w, w.memSrcFList()->viewport())), &w);
    DropOutcome out = DropAt(&w, CentreIn(&w, w.memSrcFList()->viewport()), *mime);
    EXPECT_TRUE(out.entered && out.dropped);
    // Only names are taken: a source that sees a move accepted may delete its files.
    EXPECT_EQ(out.action, Qt::CopyAction);
    EXPECT_EQ(w.memSrcFList()->Text(), a + "\r\n" + folder + "\r\n" + c + "\r\n");
    EXPECT_TRUE(w.memSrcFList()->Modified());
    EXPECT_EQ(w.focusWidget(), w.btnOpenView());

    // On a tool-bar button and on the status bar, after a typed line without Enter.
    w.memSrcFList()->ReplaceText("typed");
    out = DropAt(&w, CentreIn(&w, w.btnClearFileList()), *mime, Qt::LinkAction);
    EXPECT_TRUE(out.dropped);
    EXPECT_EQ(out.action, Qt::LinkAction);
    std::unique_ptr<QMimeData> one(UriList({"file://" + folder + "/"}));
    EXPECT_TRUE(DropAt(&w, CentreIn(&w, w.statusBar()), *one).dropped);
    // Still no final break: each name went in as CR LF + name.
    EXPECT_EQ(w.memSrcFList()->Text(), "typed\r\n" + a + "\r\n" + folder + "\r\n" + c + "\r\n" + folder + "/");
    EXPECT_TRUE(w.memSrcFList()->Modified());
    EXPECT_EQ(w.focusWidget(), w.btnOpenView());
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainFormList, DroppedNamesArriveByteForByteAndWhole) {
    TfrmMain w(input);
    w.show();
    const std::string longName = "/pics/" + std::string(250, 'n') + "/" + std::string(120, 'm') + ".jpg";
    std::unique_ptr<QMimeData> mime(UriList({
        "file:///pics/caf%E9.jpg",                        // Latin-1, not UTF-8
        "file:///pics/%E5%86%99%E7%9C%9F%20%231%25.jpg",  // UTF-8, a blank, '#' and '%'
        "file://" + longName,                             // longer than 255 bytes
        "https://example.org/remote.jpg",                 // not a file: skipped
        "file:///pics/nul%00cut.jpg",                     // taken up to the NUL
    }));
    const QPoint onList = CentreIn(&w, w.memSrcFList()->viewport());
    EXPECT_TRUE(DropAt(&w, onList, *mime).dropped);
    EXPECT_EQ(w.memSrcFList()->Lines(),
              (std::vector<std::string>{"/pics/caf\xE9.jpg", "/pics/写真 #1%.jpg", longName, "/pics/nul"}));
    EXPECT_EQ(w.memSrcFList()->Text(),
              "/pics/caf\xE9.jpg\r\n/pics/写真 #1%.jpg\r\n" + longName + "\r\n/pics/nul\r\n");

    // A drag with no local file at all is refused and changes nothing.
    std::unique_ptr<QMimeData> web(UriList({"https://example.org/a.jpg"}));
    EXPECT_FALSE(DropAt(&w, onList, *web).entered);
    auto text = std::make_unique<QMimeData>();
    text->setText(QStringLiteral("/pics/a.jpg"));
    EXPECT_FALSE(DropAt(&w, onList, *text).entered);
    EXPECT_EQ(w.memSrcFList()->LineCount(), 4);
}

// A list line cannot hold CR or LF: such a name would come back after the
// next start as two broken lines.
TEST_F(MainFormList, NamesWithALineBreakAreLeftOutAndTheStatusBarSaysSo) {
    TfrmMain w(input);
    w.show();
    std::unique_ptr<QMimeData> mime(UriList({"file:///pics/a.jpg", "file:///pics/two%0Alines.jpg",
                                             "file:///pics/cr%0D.jpg", "file:///pics/b.jpg"}));
    EXPECT_TRUE(DropAt(&w, CentreIn(&w, w.memSrcFList()->viewport()), *mime).dropped);
    EXPECT_EQ(w.memSrcFList()->Text(), "/pics/a.jpg\r\n/pics/b.jpg\r\n");
    EXPECT_EQ(w.statusBar()->currentMessage(),
              QStringLiteral("名前に改行を含むため、2 個のファイル・フォルダを一覧に追加しませんでした。"));

    // The same for existing files named on the command line.
    const std::string plain = Touch("plain.jpg"), broken = Touch("line\nbreak.jpg");
    w.memSrcFList()->ClearText();
    w.statusBar()->clearMessage();
    w.AddCommandLineFiles({broken, plain});
    EXPECT_EQ(w.memSrcFList()->Lines(), std::vector<std::string>{plain});
    EXPECT_EQ(w.statusBar()->currentMessage(),
              QStringLiteral("名前に改行を含むため、1 個のファイル・フォルダを一覧に追加しませんでした。"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainFormList, ADropOfTenThousandFilesIsOneChangeOfTheList) {
    TfrmMain w(input);
    w.show();
    std::vector<std::string> uris;
    for (int i = 0; i < 10000; ++i) uris.push_back("file:///pics/" + std::to_string(i) + ".jpg");
    std::unique_ptr<QMimeData> mime(UriList(uris));
    int changes = 0;
    QObject::connect(w.memSrcFList()->document(), &QTextDocument::contentsChange, [&changes] { ++changes; });
    EXPECT_TRUE(DropAt(&w, CentreIn(&w, w.memSrcFList()->viewport()), *mime).dropped);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(w.memSrcFList()->LineCount(), 10000);
    EXPECT_EQ(w.memSrcFList()->GetLine(9999), "/pics/9999.jpg");
}

// ---- Edit menu ----

TEST_F(MainFormList, EditMenuActsOnTheListWhateverHasTheFocus) {
    TfrmMain w(input);
    w.memSrcFList()->ReplaceText("/a.jpg\r\n/b/\r\n");
    ShowWithFocusElsewhere(w);
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));

    // Copy and delete without a selection do nothing, not even set the flag.
    MenuItem(w, "ｺﾋﾟｰ(&C)")->trigger();
    MenuItem(w, "削除(D)")->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));
    EXPECT_FALSE(w.memSrcFList()->Modified());

    MenuItem(w, "全て選択(&A)")->trigger();
    MenuItem(w, "切り取り(&T)")->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("/a.jpg\n/b/\n"));
    EXPECT_EQ(w.memSrcFList()->Text(), "");
    EXPECT_TRUE(w.memSrcFList()->Modified());

    clipboard->setText(QStringLiteral("/c.bmp\r\n"));
    MenuItem(w, "貼り付け(&P)")->trigger();
    MenuItem(w, "貼り付け(&P)")->trigger();
    EXPECT_EQ(w.memSrcFList()->Text(), "/c.bmp\r\n/c.bmp\r\n");

    // A selection replaced by a paste; a selection deleted.
    QTextCursor first(w.memSrcFList()->document());
    first.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    w.memSrcFList()->setTextCursor(first);
    clipboard->setText(QStringLiteral("/d"));
    MenuItem(w, "貼り付け(&P)")->trigger();
    EXPECT_EQ(w.memSrcFList()->Text(), "/d\r\n/c.bmp\r\n");
    first.movePosition(QTextCursor::Start);
    first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    w.memSrcFList()->setTextCursor(first);
    MenuItem(w, "ｺﾋﾟｰ(&C)")->trigger();
    MenuItem(w, "削除(D)")->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("/d\n"));
    EXPECT_EQ(w.memSrcFList()->Text(), "/c.bmp\r\n");
    EXPECT_EQ(w.focusWidget(), w.btnOpenView());
}

// ---- Clearing ----

TEST_F(MainFormList, ClearingAListOfEmptyLinesAsksAndThenFocusesTheList) {
    TfrmMain w(input);
    w.memSrcFList()->ReplaceText("\r\n\r\n");
    ShowWithFocusElsewhere(w);
    ModalRecord rec;
    AnswerNextModal(rec, kEscape);
    MenuItem(w, "ファイル・フォルダ一覧を消去(&C)")->trigger();
    EXPECT_EQ(rec.text, QStringLiteral("一覧の内容を消去しますか？"));
    EXPECT_EQ(rec.defaultButton, QStringLiteral("OK"));
    EXPECT_EQ(w.memSrcFList()->LineCount(), 2);
    EXPECT_EQ(w.focusWidget(), w.btnOpenView());

    AnswerNextModal(rec, QStringLiteral("OK"));
    w.btnClearFileList()->click();
    EXPECT_EQ(w.memSrcFList()->Text(), "");
    EXPECT_EQ(w.focusWidget(), w.memSrcFList());
}

// ---- The choosers ----

TEST_F(MainFormList, FileChooserListsEveryFileAndAppendsEveryChosenOne) {
    // The dialogs leave Qt's own settings file as it was.
    QFile qtSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/QtProject.conf");
    const QByteArray before = qtSettings.open(QIODevice::ReadOnly) ? qtSettings.readAll() : QByteArray();
    qtSettings.close();
    Touch("a.jpg");
    Touch("README");
    Touch("b.txt");
    TfrmMain w(input);
    ShowWithFocusElsewhere(w);
    QStringList filters, listed;
    OnNextFileDialog([&](QFileDialog* d) {
        filters = ShownFilters(d);
        d->setDirectory(files.path());
        listed = ListedNames(d, 3);
        Choose(d, QStringLiteral("\"b.txt\" \"README\" \"a.jpg\""));
    });
    MenuItem(w, "ファイルの選択(&F)...")->trigger();
    EXPECT_EQ(filters, QStringList{"全てのファイル (*.*)"});
    EXPECT_EQ(listed, (QStringList{"README", "a.jpg", "b.txt"}));
    EXPECT_EQ(w.memSrcFList()->Lines(), (std::vector<std::string>{dir + "b.txt", dir + "README", dir + "a.jpg"}));
    EXPECT_TRUE(w.memSrcFList()->Modified());
    EXPECT_EQ(w.focusWidget(), w.memSrcFList());

    // Cancel adds nothing and leaves the focus where it was.
    w.btnOpenView()->setFocus();
    OnNextFileDialog([](QFileDialog* d) { d->reject(); });
    w.SelectFile();
    EXPECT_EQ(w.memSrcFList()->LineCount(), 3);
    EXPECT_EQ(w.focusWidget(), w.btnOpenView());
    EXPECT_EQ(qtSettings.open(QIODevice::ReadOnly) ? qtSettings.readAll() : QByteArray(), before);
}

TEST_F(MainFormList, FolderChooserAppendsTheFolderWithOneFinalSeparator) {
    QDir(files.path()).mkdir(QStringLiteral("写真"));
    TfrmMain w(input);
    ShowWithFocusElsewhere(w);
    QString title;
    OnNextFileDialog([&](QFileDialog* d) {
        title = d->windowTitle();
        Choose(d, files.filePath(QStringLiteral("写真")));
    });
    MenuItem(w, "フォルダの選択(&D)...")->trigger();
    EXPECT_EQ(title, QStringLiteral("フォルダを選択してください。"));
    EXPECT_EQ(w.focusWidget(), w.memSrcFList());
    OnNextFileDialog([](QFileDialog* d) { Choose(d, QStringLiteral("/")); });
    w.SelectPath();
    OnNextFileDialog([](QFileDialog* d) { d->reject(); });
    w.SelectPath();
    EXPECT_EQ(w.memSrcFList()->Text(), dir + "写真/\r\n/\r\n");
}

// ---- List files ----

TEST_F(MainFormList, OpeningAListFile) {
    const std::string sjis = "C:\\\x89\xE6\x91\x9C\\\x95\x5C.jpg";  // Shift-JIS, not UTF-8
    Spit(dir + "list.txt", sjis + "\nb\rc");
    Touch("README");
    TfrmMain w(input);
    w.memSrcFList()->AppendLine("/old.jpg");

    QStringList filters, listed;
    OnNextFileDialog([&](QFileDialog* d) {
        filters = ShownFilters(d);
        d->setDirectory(files.path());
        listed = ListedNames(d, 1);
        Choose(d, files.filePath(QStringLiteral("list")));  // no extension: ".txt" is added
    });
    MenuItem(w, "ファイルリストを開く(&O)...")->trigger();
    EXPECT_EQ(filters, (QStringList{"テキスト文書 (*.txt)", "全てのファイル (*.*)"}));
    EXPECT_EQ(listed, QStringList{"list.txt"});  // the first filter is the one in force
    EXPECT_EQ(w.ListFileName(), dir + "list.txt");
    EXPECT_EQ(w.memSrcFList()->Text(), sjis + "\r\nb\r\nc");
    EXPECT_FALSE(w.memSrcFList()->Modified());

    // The same text again, with other line breaks, leaves the flag as it is.
    Spit(dir + "same.lst", sjis + "\r\nb\nc");
    w.memSrcFList()->SetModified(true);
    QString startName;
    OnNextFileDialog([&](QFileDialog* d) {
        startName = d->directory().absoluteFilePath(NameBox(d)->text());
        Choose(d, files.filePath(QStringLiteral("same.lst")));
    });
    w.O1Click();
    EXPECT_EQ(startName, files.filePath(QStringLiteral("list.txt")));  // the name it gave last time
    EXPECT_EQ(w.ListFileName(), dir + "same.lst");
    EXPECT_TRUE(w.memSrcFList()->Modified());
    EXPECT_TRUE(errors.empty());

    // A name that does not exist: the error, the old lines, and the name current.
    OnNextFileDialog([&](QFileDialog* d) { Choose(d, files.filePath(QStringLiteral("new.txt"))); });
    MenuItem(w, "ファイルリストを開く(&O)...")->trigger();
    EXPECT_EQ(errors, std::vector<std::string>{"ファイル " + dir + "new.txt は開けません."});
    EXPECT_EQ(w.ListFileName(), dir + "new.txt");
    EXPECT_EQ(w.memSrcFList()->Text(), sjis + "\r\nb\r\nc");
    MenuItem(w, "ファイルリストを保存(&S)")->trigger();
    EXPECT_EQ(Slurp(dir + "new.txt"), sjis + "\r\nb\r\nc");  // the bytes as they were read
    EXPECT_TRUE(w.memSrcFList()->Modified());  // saving leaves the flag alone

    // Cancel changes nothing.
    OnNextFileDialog([](QFileDialog* d) { d->reject(); });
    w.O1Click();
    EXPECT_EQ(w.ListFileName(), dir + "new.txt");
}

TEST_F(MainFormList, SavingUnderANameStartsAtTheCurrentFileAndReplacesWithoutAsking) {
    TfrmMain w(input);
    w.memSrcFList()->AppendLine("/a.jpg");
    w.memSrcFList()->SetModified(false);
    Spit(dir + "old.lst", "old contents");
    QString startDir, startName, afterSwitch;
    QStringList filters;
    OnNextFileDialog([&](QFileDialog* d) {
        startDir = d->directory().absolutePath();
        startName = NameBox(d)->text();
        filters = ShownFilters(d);
        auto* combo = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);  // to "every file"
        afterSwitch = NameBox(d)->text();
        d->setDirectory(files.path());
        Choose(d, QStringLiteral("old.lst"));
    });
    {
        BoxWatch boxes;  // a question before replacing would show here
        MenuItem(w, "ファイルリストに名前を付けて保存(&A)...")->trigger();
        EXPECT_TRUE(boxes.texts.isEmpty());
    }
    EXPECT_EQ(startDir, app.path());
    EXPECT_EQ(startName, QStringLiteral("default.txt"));
    EXPECT_EQ(filters, (QStringList{"テキスト文書 (*.txt)", "全てのファイル (*.*)"}));
    EXPECT_EQ(afterSwitch, QStringLiteral("default.txt"));
    EXPECT_EQ(w.ListFileName(), dir + "old.lst");
    EXPECT_EQ(Slurp(dir + "old.lst"), "/a.jpg\r\n");
    EXPECT_FALSE(w.memSrcFList()->Modified());

    OnNextFileDialog([&](QFileDialog* d) { Choose(d, files.filePath(QStringLiteral("named"))); });
    w.A1Click();
    EXPECT_EQ(w.ListFileName(), dir + "named.txt");
    EXPECT_EQ(Slurp(dir + "named.txt"), "/a.jpg\r\n");
    OnNextFileDialog([](QFileDialog* d) { d->reject(); });
    w.A1Click();
    EXPECT_EQ(w.ListFileName(), dir + "named.txt");
    EXPECT_TRUE(errors.empty());

    // A list whose folder is gone: the nearest folder there is, with the
    // name; a save that fails leaves the list's name as it was.
    w.SetListFileName(dir + "gone/deeper/list.txt");
    OnNextFileDialog([&](QFileDialog* d) {
        startDir = d->directory().absolutePath();
        startName = NameBox(d)->text();
        Choose(d, files.filePath(QStringLiteral("gone/new.txt")));
    });
    EXPECT_THROW(w.A1Click(), Exception);
    EXPECT_EQ(startDir, files.path());
    EXPECT_EQ(startName, QStringLiteral("list.txt"));
    EXPECT_EQ(w.ListFileName(), dir + "gone/deeper/list.txt");
}

// ---- Closing ----

TEST_F(MainFormList, TheDefaultListIsSavedAtEveryCloseWithoutAQuestion) {
    const std::string defaultList = app.path().toStdString() + "/default.txt";
    {
        TfrmMain w(input);
        w.show();
        EXPECT_TRUE(w.close());  // empty and unmodified: an empty file all the same
        EXPECT_TRUE(Exists(defaultList));
        EXPECT_EQ(Slurp(defaultList), "");
    }
    Spit(defaultList, "/kept.jpg");
    TfrmMain w(input);
    w.memSrcFList()->AppendLine("/new.jpg");
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_EQ(Slurp(defaultList), "/kept.jpg\r\n/new.jpg");
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainFormList, ANamedListAsksWhenModifiedAndTheAnswerDecides) {
    TfrmMain w(input);
    // The default file's name in other letter case is a list of its own.
    const std::string named = w.BaseDir() + "Default.txt";
    w.SetListFileName(named);
    w.show();
    EXPECT_TRUE(w.close());  // not modified: no question, nothing written
    EXPECT_FALSE(Exists(named));

    w.show();
    w.memSrcFList()->AppendLine("/a.jpg");
    w.S1Click();  // saving keeps the flag, so the question still comes
    Spit(named, "on disk");
    ModalRecord rec;
    AnswerNextModal(rec, QStringLiteral("キャンセル"));
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(rec.text, QStringLiteral("ファイル・フォルダリストは変更されています。このまま保存しますか？"));
    EXPECT_EQ(rec.title, QStringLiteral("警告"));
    EXPECT_EQ(rec.buttons, (QStringList{"はい(&Y)", "いいえ(&N)", "キャンセル"}));
    EXPECT_EQ(rec.defaultButton, QStringLiteral("はい(&Y)"));

    AnswerNextModal(rec, kEscape);
    EXPECT_FALSE(w.close());
    AnswerNextModal(rec, QStringLiteral("いいえ(&N)"));
    EXPECT_TRUE(w.close());
    EXPECT_EQ(Slurp(named), "on disk");

    w.show();
    AnswerNextModal(rec, QStringLiteral("はい(&Y)"));
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Slurp(named), "/a.jpg\r\n");
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainFormList, AFailedSaveAtCloseLosesNothingUnseen) {
    const std::string defaultList = app.path().toStdString() + "/default.txt";
    Spit(defaultList, "/a.jpg\r\n");
    TfrmMain w(input);
    w.show();
    // A folder where the default list should be: the file cannot be written,
    // but it holds what the list holds, so closing loses nothing.
    ASSERT_EQ(::unlink(defaultList.c_str()), 0);
    ASSERT_EQ(::mkdir(defaultList.c_str(), 0755), 0);
    {
        BoxWatch boxes;
        EXPECT_TRUE(w.close());
        EXPECT_TRUE(boxes.texts.isEmpty());
    }
    // A change it does not hold: the box names the file and the reason, and
    // staying is the default.
    w.show();
    w.memSrcFList()->AppendLine("/b.jpg");
    ModalRecord rec;
    AnswerNextModal(rec, kEscape);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(rec.text.contains(QString::fromStdString(defaultList))) << rec.text.toStdString();
    EXPECT_TRUE(rec.text.contains(QString::fromLocal8Bit(std::strerror(EISDIR)))) << rec.text.toStdString();
    EXPECT_EQ(rec.defaultButton, QStringLiteral("いいえ(&N)"));
    AnswerNextModal(rec, QStringLiteral("はい(&Y)"));
    EXPECT_TRUE(w.close());  // closing without saving, as asked
    EXPECT_TRUE(errors.empty());

    ::rmdir(defaultList.c_str());
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_EQ(Slurp(defaultList), "/a.jpg\r\n/b.jpg\r\n");
}
