// Holding off the screensaver. ScreenSaverBus and ScreenSaverQuit run on a
// private session bus (dbus-run-session) against a stand-in service, which is
// this binary started with --stand-in; ScreenSaverX runs under Xvfb with no
// bus; ScreenSaverNone has neither.
#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include "platform/ErrorDisplay.h"
#include "platform/ScreenSaver.h"
#include "tests/ui/ViewerFixture.h"
#include "viewer/grpform.h"

namespace pelumir {
namespace {

using Route = ScreenSaverInhibitor::Route;
using Calls = std::vector<std::string>;

// The desktop's screensaver service as far as we use it: each call is
// written to a log, a line a call, before it is answered.
class StandInService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit StandInService(const QString& logPath) : log_(logPath) { log_.open(QIODevice::WriteOnly); }
public slots:
    uint Inhibit(const QString& app, const QString& reason) {
        Write(QStringLiteral("Inhibit %1 %2 %3").arg(app, reason).arg(++cookie_));
        return cookie_;
    }
    void UnInhibit(uint cookie) { Write(QStringLiteral("UnInhibit %1").arg(cookie)); }

private:
    void Write(const QString& line) {
        log_.write((line + '\n').toUtf8());
        log_.flush();
    }
    QFile log_;
    uint cookie_ = 100;
};

// The stand-in, run as a process of its own.
class StandIn {
public:
    explicit StandIn(QStringList extra = {}) {
        process_.start(QCoreApplication::applicationFilePath(), QStringList{"--stand-in", log_} + extra);
        // "ready" comes once the name is on the bus.
        ready_ = process_.waitForReadyRead(20000) && process_.readAll().contains("ready");
    }
    ~StandIn() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool Ready() const { return ready_; }
    Calls Log() const {
        QFile f(log_);
        Calls lines;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty()) lines.push_back(line.toStdString());
        return lines;
    }

private:
    QTemporaryDir dir_;
    QString log_ = dir_.filePath("calls.log");
    QProcess process_;
    bool ready_ = false;
};

TEST(ScreenSaverBus, InhibitsOnceAndLetsGoOnceOnEitherPath) {
    for (const QStringList& paths : {QStringList{}, QStringList{"--old-path-only"}}) {
        StandIn service(paths);
        ASSERT_TRUE(service.Ready());
        {
            ScreenSaverInhibitor inhibitor;
            EXPECT_EQ(inhibitor.Inhibit("Pelumir", "show"), Route::SessionBus);
            EXPECT_EQ(inhibitor.Inhibit("Pelumir", "show"), Route::SessionBus);  // already held: no second cookie
            EXPECT_EQ(service.Log(), (Calls{"Inhibit Pelumir show 101"}));
            inhibitor.Release();
            inhibitor.Release();
            EXPECT_EQ(inhibitor.Held(), Route::NotHeld);
            EXPECT_EQ(service.Log(), (Calls{"Inhibit Pelumir show 101", "UnInhibit 101"}));
        }
        // A scope left by an exception lets go as well.
        try {
            ScreenSaverInhibitor inhibitor;
            inhibitor.Inhibit("Pelumir", "again");
            throw std::runtime_error("handler failed");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(service.Log().back(), "UnInhibit 102");
    }
}

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
        whileShown = service.Log();
        during(viewer);
        // Whatever `during` did, the show must not outlive the test.
        QTimer::singleShot(5000, &viewer, [&] { viewer.reject(); });
    });
    viewer.ShowModal();
    return {whileShown, service.Log()};
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
    // After a second of idleness; a loaded machine may take much longer.
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

// The two helper processes the tests start: the stand-in service, and a
// holder of the X saver for AKilledHolderLetsGo to kill.
int RunHelper(const QStringList& args) {
    if (args[1] == "--stand-in") {
        StandInService service(args[2]);
        QDBusConnection bus = QDBusConnection::sessionBus();
        const auto exportAll = QDBusConnection::ExportAllSlots;
        if (!args.contains("--old-path-only") &&
            !bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service, exportAll))
            return 1;
        // The name last: a client that sees it finds the objects there.
        if (!bus.registerObject(QStringLiteral("/ScreenSaver"), &service, exportAll) ||
            !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")))
            return 1;
        std::printf("ready\n");
        std::fflush(stdout);
        return QCoreApplication::exec();
    }
    ScreenSaverInhibitor inhibitor;
    if (inhibitor.Inhibit("Pelumir", "show") != Route::XExtension) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    QThread::sleep(120);
    return 0;
}

}  // namespace
}  // namespace pelumir

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    pelumir::TApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--stand-in" || mode == "--hold-x-screensaver") return pelumir::RunHelper(app.arguments());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "ScreenSaver_test.moc"
