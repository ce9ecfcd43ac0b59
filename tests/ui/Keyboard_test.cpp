// The program used from the keyboard alone: focus moves out of the list,
// Enter presses the button it is on, Escape puts the help away.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "MainFormFixture.h"
#include "ModalAnswer.h"
#include "app/MainForm.h"
#include "app/SourceListBox.h"
#include "help/HelpWindow.h"
#include "platform/ErrorDisplay.h"
#include "settings/ConfigFrm.h"

using namespace pelumir;
using testutil::AnswerNextModal;
using testutil::ModalRecord;

namespace {

class Keyboard : public testutil::MainFormFixture {
protected:
};

}  // namespace

TEST_F(Keyboard, TabLeavesTheListAndCtrlTabTypesOne) {
    TfrmMain w(input);
    Activate(w);
    TSourceListBox* list = w.memSrcFList();
    list->AppendLine("/pics/a.jpg");
    const std::string before = list->Text();
    for (Qt::KeyboardModifiers shift : {Qt::NoModifier, Qt::ShiftModifier}) {
        list->setFocus();
        ASSERT_TRUE(list->hasFocus());
        QTest::keyClick(list, shift ? Qt::Key_Backtab : Qt::Key_Tab, shift);
        EXPECT_FALSE(list->hasFocus()) << int(shift);
        EXPECT_EQ(list->Text(), before);
    }
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(list->hasFocus());
    EXPECT_EQ(list->Text(), before + "\t");
}

TEST_F(Keyboard, EnterAndKeypadEnterPressTheToolBarButtonThatHasTheFocus) {
    TfrmMain w(input);
    Activate(w);
    // An empty list: "画像の表示" reports that nothing was found.
    for (Qt::KeyboardModifiers pad : {Qt::NoModifier, Qt::KeypadModifier}) {
        Activate(w);  // the box that closed last may have taken the activation with it
        w.btnOpenView()->setFocus();
        ModalRecord rec;
        AnswerNextModal(rec, QStringLiteral("OK"));
        QTest::keyClick(w.btnOpenView(), pad ? Qt::Key_Enter : Qt::Key_Return, pad);
        EXPECT_EQ(rec.text, QStringLiteral("画像ファイルが見つかりません。")) << int(pad);
    }
    w.memSrcFList()->AppendLine("/pics/a.jpg");
    Activate(w);
    w.btnClearFileList()->setFocus();
    ModalRecord rec;
    AnswerNextModal(rec, QStringLiteral("OK"));
    QTest::keyClick(w.btnClearFileList(), Qt::Key_Return);
    EXPECT_EQ(rec.text, QStringLiteral("一覧の内容を消去しますか？"));
    EXPECT_EQ(w.memSrcFList()->LineCount(), 0);
    w.memSrcFList()->SetModified(false);
}

TEST_F(Keyboard, EnterOnADialogButtonPressesThatButtonNotTheDefault) {
    TfrmConfig dialog;
    // Return on Cancel drops the edit; keypad Enter on OK takes it.
    const struct {
        QPushButton* button;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool taken;
    } cases[] = {{dialog.btnCancel, Qt::Key_Return, Qt::NoModifier, false},
                 {dialog.btnOk, Qt::Key_Enter, Qt::KeypadModifier, true}};
    for (const auto& c : cases) {
        TViewerConfig config;
        config.AutoSlideTime = 7;
        bool focused = false;
        QTimer::singleShot(0, [&] {
            dialog.edtAutoSlideTime->setText(QStringLiteral("9"));
            focused = QTest::qWaitForWindowActive(&dialog);
            c.button->setFocus();
            focused = focused && c.button->hasFocus();
            QTest::keyClick(c.button, c.key, c.modifiers);
            if (dialog.isVisible()) dialog.done(-1);
        });
        EXPECT_EQ(ExecuteConfigDialog(dialog, config), c.taken);
        EXPECT_TRUE(focused);
        EXPECT_EQ(dialog.result(), c.taken ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(config.AutoSlideTime, c.taken ? 9 : 7);
    }
}

TEST_F(Keyboard, EscapeClosesTheHelpWindowFromAnyOfItsParts) {
    const QString path = app.filePath(QStringLiteral("pelumir.hlp"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("@title t\n@topic a A\n@keywords k\ntext\n");
    }
    for (bool keywords : {false, true}) {
        if (keywords) ShowHelpKeywordSearch(nullptr, path, QString());
        else ShowHelpContents(nullptr, path);
        THelpWindow* help = CurrentHelpWindow();
        ASSERT_NE(help, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(help));
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, Qt::Key_Escape);
        EXPECT_FALSE(help->isVisible()) << keywords;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(CurrentHelpWindow(), nullptr);
        delete CurrentHelpWindow();
    }
}
