// Windows open inside the screen's available area, shrunk where they must.
// The offscreen screen is 800 x 800; message boxes in the screen's middle
// are checked on a real screen at every scale factor.
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

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
