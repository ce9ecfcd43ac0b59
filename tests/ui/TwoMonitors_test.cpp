// With the main window on the second monitor, every window it opens opens
// there. Run with two offscreen screens (see tests/CMakeLists.txt).
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include "MainFormFixture.h"
#include "about/AboutUnt.h"
#include "app/MainForm.h"
#include "help/HelpWindow.h"
#include "settings/ConfigFrm.h"

using namespace pelumir;

namespace {

class TwoMonitors : public testutil::MainFormFixture {};

}  // namespace

TEST_F(TwoMonitors, WindowsOpenOnTheMainWindowsMonitor) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2) GTEST_SKIP() << "needs two screens";
    QScreen* right = screens[1];
    TfrmMain w(input);
    w.setScreen(right);
    w.move(right->geometry().topLeft() + QPoint(100, 100));
    w.show();
    ASSERT_EQ(w.screen(), right);

    ShowHelpContents(&w, QString(), {});
    QWidget* help = w.findChild<THelpWindow*>();
    ASSERT_NE(help, nullptr);
    for (QWidget* window : {static_cast<QWidget*>(&w.frmAbout()), static_cast<QWidget*>(&w.frmConfig()), help}) {
        window->show();
        EXPECT_EQ(window->screen(), right) << window->metaObject()->className();
        EXPECT_TRUE(right->geometry().contains(window->geometry().center())) << window->metaObject()->className();
        window->hide();
    }
}
