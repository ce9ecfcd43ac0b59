// A stand-in for the desktop's screensaver service on a private session
// bus: answers Inhibit and UnInhibit and writes each call to a log file,
// one line a call, before it answers.
//   screensaver_standin LOG [--old-path-only]
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QStringList>
#include <cstdio>

class StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit StandIn(const QString& logPath) : log_(logPath) { log_.open(QIODevice::WriteOnly | QIODevice::Append); }

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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) return 2;
    StandIn standIn(args[1]);
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto exportAll = QDBusConnection::ExportAllSlots;
    if (!args.contains(QStringLiteral("--old-path-only")) &&
        !bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &standIn, exportAll))
        return 1;
    if (!bus.registerObject(QStringLiteral("/ScreenSaver"), &standIn, exportAll)) return 1;
    // The name last: a client that sees it finds the objects there.
    if (!bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "ScreenSaverStandIn.moc"
