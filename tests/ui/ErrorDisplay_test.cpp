#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/ErrorDisplay.h"
#include "platform/Exception.h"
#include "viewer/BitmapUtils.h"

using namespace pelumir;

namespace {
struct Seen {
    QString title, text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

void CloseNextBox(Seen& seen) {
    QTimer::singleShot(50, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        box->close();
    });
}
}  // namespace

TEST(ErrorDisplay, AnEscapingErrorIsShownCaptionedWithTheTitleAndTheProgramGoesOn) {
    SetApplicationTitle("Pelumir");
    Seen seen;
    CloseNextBox(seen);
    bool after = false;
    Guarded([] { throw ERotateError("Bitmap Size Error"); });
    after = true;
    EXPECT_TRUE(after);
    EXPECT_EQ(seen.title, QStringLiteral("Pelumir"));
    EXPECT_EQ(seen.text, QStringLiteral("Bitmap Size Error."));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QStringList{"OK"});

    Seen japanese;
    CloseNextBox(japanese);
    Guarded([] { throw Exception("ファイル /x/y.txt は開けません"); });
    EXPECT_EQ(japanese.text, QStringLiteral("ファイル /x/y.txt は開けません."));
}

TEST(ErrorDisplay, TheApplicationCatchesWhatAHandlerLetsThrough) {
    // The runner's application is ours: an event whose receiver throws is
    // reported, and delivery goes on.
    struct Thrower : QObject {
        bool event(QEvent*) override { throw Exception("broken handler"); }
    } thrower;
    std::vector<std::string> shown;
    SetErrorDisplayHook([&](const std::string& m) { shown.push_back(m); });
    QEvent e(QEvent::User);
    const bool handled = QCoreApplication::sendEvent(&thrower, &e);
    SetErrorDisplayHook(nullptr);
    EXPECT_FALSE(handled);
    EXPECT_EQ(shown, std::vector<std::string>{"broken handler."});
}
