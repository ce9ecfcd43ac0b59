// Windows open inside the screen's available area, shrunk where they must,
// and message boxes open in its middle. The offscreen screen is 800 x 800.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "about/AboutUnt.h"
#include "platform/MessageBox.h"
#include "settings/ConfigFrm.h"

using namespace pelumir;

namespace {

QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

}  // namespace

TEST(ScreenFit, AWindowLargerThanTheScreenOpensShrunkInsideIt) {
    QWidget big;
    big.setMinimumSize(100, 100);
    big.move(300, 200);
    big.resize(1200, 900);
    big.show();
    EXPECT_TRUE(Available().contains(big.frameGeometry())) << big.frameGeometry().x() << "," << big.width();
    EXPECT_EQ(big.frameGeometry().size(), Available().size());

    // One that fits is only moved back onto the screen, its size kept.
    QWidget off;
    off.resize(400, 300);
    off.move(700, 650);
    off.show();
    EXPECT_EQ(off.size(), QSize(400, 300));
    EXPECT_TRUE(Available().contains(off.frameGeometry()));
    EXPECT_EQ(off.frameGeometry().bottomRight(), Available().bottomRight());

    // The full-screen viewer and other frameless windows are left alone.
    QWidget frameless(nullptr, Qt::Window | Qt::FramelessWindowHint);
    frameless.setGeometry(-10, -10, 1000, 900);
    frameless.show();
    EXPECT_EQ(frameless.geometry(), QRect(-10, -10, 1000, 900));
}

TEST(ScreenFit, AFixedDialogTooLargeScrollsAndKeepsEveryControl) {
    TfrmConfig dialog;
    dialog.setFixedSize(1000, 301);  // as the preferences are at a large scale factor
    bool inside = false, okReached = false;
    QSize shown;
    QTimer::singleShot(0, [&] {
        inside = Available().contains(dialog.frameGeometry());
        shown = QSize(dialog.frameGeometry().width(), dialog.height());
        auto* area = dialog.findChild<QScrollArea*>();
        if (area != nullptr) {
            area->ensureWidgetVisible(dialog.btnOk);
            okReached = dialog.btnOk->isVisibleTo(&dialog) && dialog.btnOk->window() == &dialog;
        }
        dialog.btnOk->click();
        if (dialog.isVisible()) dialog.reject();
    });
    TViewerConfig config;
    EXPECT_TRUE(ExecuteConfigDialog(dialog, config));  // the button still answers
    EXPECT_TRUE(inside);
    EXPECT_EQ(shown, QSize(Available().width(), 301));
    EXPECT_TRUE(okReached);
}

TEST(ScreenFit, MessageBoxesOpenInTheMiddleOfTheScreen) {
    QWidget owner;
    owner.setGeometry(10, 10, 200, 150);  // far from the middle
    owner.show();
    QRect where;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            where = box->frameGeometry();
            static_cast<QMessageBox*>(box)->reject();
        }
    });
    ShowMessage(&owner, "一覧の内容を消去しますか？", MsgType::Warning, {MsgButton::OK, MsgButton::Cancel});
    ASSERT_FALSE(where.isNull());
    EXPECT_LE(std::abs(where.center().x() - Available().center().x()), 1);
    EXPECT_LE(std::abs(where.center().y() - Available().center().y()), 1);
}
