// Holding off the screensaver. ScreenSaverBus and ScreenSaverQuit run on a
// private session bus (dbus-run-session) with a stand-in service that logs
// every call;
// ScreenSaverX runs under Xvfb with no bus; ScreenSaverNone has neither.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <QThread>

#include <csignal>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include "platform/ErrorDisplay.h"
#include "platform/ScreenSaver.h"
#include "tests/ui/ViewerFixture.h"
#include "viewer/grpform.h"


namespace pelumir {
namespace {

using Route = ScreenSaverInhibitor::Route;

// ---- the stand-in service ----

class StandIn {
public:
    explicit StandIn(QStringList extra = {}) {
        log_ = dir_.filePath("calls.log");
        process_.start(QStringLiteral(SCREENSAVER_STANDIN), QStringList{log_} + extra);
        // "ready" comes once the name is on the bus.
        ready_ = process_.waitForReadyRead(20000) && process_.readAll().contains("ready");
    }
    ~StandIn() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool Ready() const { return ready_; }
    std::vector<std::string> Calls() const {
        QFile f(log_);
        std::vector<std::string> lines;
        if (!f.open(QIODevice::ReadOnly)) return lines;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty()) lines.push_back(line.toStdString());
        return lines;
    }

private:
    QTemporaryDir dir_;
    QString log_;
    QProcess process_;
    bool ready_ = false;
};

using Calls = std::vector<std::string>;

TEST(ScreenSaverBus, InhibitsOnceAndLetsGoOnce) {
    StandIn service;
    ASSERT_TRUE(service.Ready());
    {
        ScreenSaverInhibitor inhibitor;
        EXPECT_EQ(inhibitor.Inhibit("Pelumir", "show"), Route::SessionBus);
        EXPECT_EQ(inhibitor.Inhibit("Pelumir", "show"), Route::SessionBus);  // already held: no second cookie
        EXPECT_EQ(service.Calls(), (Calls{"Inhibit Pelumir show 101"}));
        inhibitor.Release();
        inhibitor.Release();
        EXPECT_EQ(inhibitor.Held(), Route::NotHeld);
        EXPECT_EQ(service.Calls(), (Calls{"Inhibit Pelumir show 101", "UnInhibit 101"}));
    }
    // A scope left by an exception lets go as well.
    try {
        ScreenSaverInhibitor inhibitor;
        inhibitor.Inhibit("Pelumir", "again");
        throw std::runtime_error("handler failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(service.Calls().back(), "UnInhibit 102");
}

TEST(ScreenSaverBus, ServicesOnTheOlderPathAreUsedToo) {
    StandIn service({"--old-path-only"});
    ASSERT_TRUE(service.Ready());
    ScreenSaverInhibitor inhibitor;
    EXPECT_EQ(inhibitor.Inhibit("Pelumir", "show"), Route::SessionBus);
    inhibitor.Release();
    EXPECT_EQ(service.Calls(), (Calls{"Inhibit Pelumir show 101", "UnInhibit 101"}));
}

// ---- the show ----

// ---- neither a bus nor an X server ----

TEST(ScreenSaverNone, WithoutBusOrDisplayTheShowRunsAsBefore) {
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS"), display = qgetenv("DISPLAY");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    qunsetenv("DISPLAY");
    ScreenSaverInhibitor inhibitor;
    EXPECT_EQ(inhibitor.Inhibit("Pelumir", "show"), Route::NotHeld);
    inhibitor.Release();
    std::vector<std::string> errors;
    SetErrorDisplayHook([&](const std::string& m) { errors.push_back(m); });
    QTemporaryDir dir;
    TfrmGrpView viewer;
    viewer.SourceImages = {testutil::WriteImage(dir, "a.bmp", 1, 1, 0x808080, "BMP")};
    viewer.ApplySettings(TViewerConfig{});
    int shownAt = -1;
    QTimer::singleShot(50, &viewer, [&] {
        shownAt = viewer.CurrentIndex();
        viewer.FormKeyDown(Qt::Key_Escape);
    });
    viewer.ShowModal();
    EXPECT_EQ(shownAt, 0);
    EXPECT_TRUE(errors.empty());
    SetErrorDisplayHook(nullptr);
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    qputenv("DISPLAY", display);
}

// Runs a show of two images; `during` acts while it is on screen. Returns
// the calls seen during the show and those after it.
std::pair<Calls, Calls> RunShow(StandIn& service, const std::function<void(TfrmGrpView&)>& during) {
    QTemporaryDir dir;
    TfrmGrpView viewer;
    viewer.SourceImages = {testutil::WriteImage(dir, "a.bmp", 1, 1, 0x808080, "BMP"),
                           testutil::WriteImage(dir, "b.bmp", 1, 1, 0x808080, "BMP")};
    TViewerConfig config;
    config.LoopMode = false;
    config.AutoSlideEnabled = false;
    viewer.ApplySettings(config);
    Calls whileShown;
    QTimer::singleShot(50, &viewer, [&] {
        whileShown = service.Calls();
        during(viewer);
        // Whatever `during` did, the show must not outlive the test.
        QTimer::singleShot(5000, &viewer, [&] { viewer.reject(); });
    });
    viewer.ShowModal();
    return {whileShown, service.Calls()};
}

TEST(ScreenSaverBus, TheShowHoldsItOffUntilItEnds) {
    StandIn service;
    ASSERT_TRUE(service.Ready());
    const auto escape = RunShow(service, [](TfrmGrpView& v) { v.FormKeyDown(Qt::Key_Escape); });
    EXPECT_EQ(escape.first, (Calls{"Inhibit Pelumir スライドショーを表示中 101"}));
    EXPECT_EQ(escape.second, (Calls{"Inhibit Pelumir スライドショーを表示中 101", "UnInhibit 101"}));

    // Passing the last image with LoopMode off ends the show.
    const auto last = RunShow(service, [](TfrmGrpView& v) {
        v.FormMouseDown(Qt::LeftButton);
        EXPECT_TRUE(v.isVisible());
        v.FormMouseDown(Qt::LeftButton);
    });
    ASSERT_EQ(last.second.size(), 4u);
    EXPECT_EQ(last.first.size(), 3u);  // the second show's Inhibit, not yet let go
    EXPECT_EQ(last.second[3], "UnInhibit 102");
}

// A run of its own: a quit leaves every event loop of this process.
TEST(ScreenSaverQuit, QuittingTheProgramDuringTheShowLetsGo) {
    StandIn service;
    ASSERT_TRUE(service.Ready());
    const auto quit = RunShow(service, [](TfrmGrpView&) { QCoreApplication::exit(0); });
    EXPECT_EQ(quit.second, (Calls{"Inhibit Pelumir スライドショーを表示中 101", "UnInhibit 101"}));
}

// ---- the X server's screen saver ----

// A connection of the test's own, which sets a one-second timeout and
// reads the saver's state.
struct XProbe {
    Display* d = XOpenDisplay(nullptr);
    XProbe() {
        if (d == nullptr) return;
        XSetScreenSaver(d, 1, 0, DefaultBlanking, AllowExposures);
        XResetScreenSaver(d);
        XSync(d, False);
    }
    ~XProbe() {
        if (d != nullptr) XCloseDisplay(d);
    }
    int State() {
        XScreenSaverInfo* info = XScreenSaverAllocInfo();
        XScreenSaverQueryInfo(d, DefaultRootWindow(d), info);
        const int state = info->state;
        XFree(info);
        return state;
    }
    // The saver comes on after a second of idleness; a loaded machine may
    // take longer, so wait generously for it.
    bool ComesOn() {
        return QTest::qWaitFor([this] { return State() == ScreenSaverOn; }, 30000);
    }
    // Well past the timeout, and still off.
    bool StaysOff() {
        XResetScreenSaver(d);
        XSync(d, False);
        QTest::qWait(3000);
        return State() == ScreenSaverOff;
    }
};

TEST(ScreenSaverX, SuspendedWhileHeldAndNotAfter) {
    XProbe x;
    ASSERT_NE(x.d, nullptr) << "run under an X server";
    ASSERT_TRUE(x.ComesOn());  // the server's saver works at all
    ScreenSaverInhibitor inhibitor;
    ASSERT_EQ(inhibitor.Inhibit("Pelumir", "show"), Route::XExtension);
    EXPECT_TRUE(x.StaysOff());
    inhibitor.Release();
    EXPECT_TRUE(x.ComesOn());
}

TEST(ScreenSaverX, AKilledHolderLetsGo) {
    XProbe x;
    ASSERT_NE(x.d, nullptr) << "run under an X server";
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {"--hold-x-screensaver"});
    ASSERT_TRUE(holder.waitForReadyRead(20000));
    ASSERT_TRUE(holder.readAll().contains("held"));
    EXPECT_TRUE(x.StaysOff());
    ::kill(pid_t(holder.processId()), SIGKILL);
    holder.waitForFinished(10000);
    EXPECT_TRUE(x.ComesOn());
}

}  // namespace
}  // namespace pelumir

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    pelumir::TApplication app(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--hold-x-screensaver") {
        // The holder that AKilledHolderLetsGo kills: holds, says so, waits.
        pelumir::ScreenSaverInhibitor inhibitor;
        if (inhibitor.Inhibit("Pelumir", "show") != pelumir::ScreenSaverInhibitor::Route::XExtension) return 1;
        std::printf("held\n");
        std::fflush(stdout);
        QThread::sleep(120);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
