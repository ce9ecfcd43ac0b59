#include "platform/ScreenSaver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

#include <sys/stat.h>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace pelumir {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
// KDE and GNOME answer on the first path, some older services only on the second.
const char* const kPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};
// A hung service must not hold up the show for long.
constexpr int kCallTimeoutMs = 2000;

// The session bus as its address says, or the usual socket of a systemd
// session. Never the bus library's own fallback, which may start a new
// bus daemon that outlives us when no session has one.
QString SessionBusAddress() {
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) return QString::fromLocal8Bit(address);
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) return {};
    const QByteArray socket = runtime + "/bus";
    struct stat st;
    if (::stat(socket.constData(), &st) != 0 || !S_ISSOCK(st.st_mode)) return {};
    return QStringLiteral("unix:path=") + QString::fromLocal8Bit(socket);
}

}  // namespace

// The connection stays open while the cookie is held: the services drop a
// client's cookies when its connection closes, so a crash lets go too.
struct ScreenSaverInhibitor::BusHold {
    QString connection;
    QString path;
    uint cookie = 0;

    static std::unique_ptr<BusHold> Take(const std::string& appName, const std::string& reason) {
        const QString address = SessionBusAddress();
        if (address.isEmpty()) return nullptr;
        static int serial = 0;
        const QString name = QStringLiteral("pelumir-screensaver-%1").arg(++serial);
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        if (bus.isConnected()) {
            for (const char* path : kPaths) {
                QDBusMessage call = QDBusMessage::createMethodCall(kService, QString::fromLatin1(path), kService,
                                                                   QStringLiteral("Inhibit"));
                call << QString::fromStdString(appName) << QString::fromStdString(reason);
                const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
                if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1)
                    return std::unique_ptr<BusHold>(new BusHold{name, QString::fromLatin1(path), reply.arguments()[0].toUInt()});
                if (reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.UnknownObject") &&
                    reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
                    break;  // no such service, or it does not answer: no use trying the other path
            }
        }
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }

    ~BusHold() {
        QDBusConnection bus(connection);
        QDBusMessage call = QDBusMessage::createMethodCall(kService, path, kService, QStringLiteral("UnInhibit"));
        call << cookie;
        // Waiting for the answer makes sure the call has left before the
        // connection closes.
        bus.call(call, QDBus::Block, kCallTimeoutMs);
        QDBusConnection::disconnectFromBus(connection);
    }
};

// A connection of our own, apart from the toolkit's: the suspension belongs
// to it and ends when it closes, a crash included.
struct ScreenSaverInhibitor::XHold {
    Display* display = nullptr;

    static std::unique_ptr<XHold> Take() {
        Display* d = XOpenDisplay(nullptr);
        if (d == nullptr) return nullptr;
        int event = 0, error = 0, major = 0, minor = 0;
        // Suspending came with version 1.1 of the extension.
        if (!XScreenSaverQueryExtension(d, &event, &error) || !XScreenSaverQueryVersion(d, &major, &minor) ||
            major < 1 || (major == 1 && minor < 1)) {
            XCloseDisplay(d);
            return nullptr;
        }
        XScreenSaverSuspend(d, True);
        XSync(d, False);
        return std::unique_ptr<XHold>(new XHold{d});
    }

    ~XHold() {
        XScreenSaverSuspend(display, False);
        XSync(display, False);
        XCloseDisplay(display);
    }
};

ScreenSaverInhibitor::ScreenSaverInhibitor() = default;

ScreenSaverInhibitor::~ScreenSaverInhibitor() { Release(); }

ScreenSaverInhibitor::Route ScreenSaverInhibitor::Inhibit(const std::string& appName, const std::string& reason) {
    if (Held() != Route::NotHeld) return Held();
    bus_ = BusHold::Take(appName, reason);
    if (!bus_) x_ = XHold::Take();
    return Held();
}

void ScreenSaverInhibitor::Release() {
    bus_.reset();
    x_.reset();
}

ScreenSaverInhibitor::Route ScreenSaverInhibitor::Held() const {
    return bus_ ? Route::SessionBus : x_ ? Route::XExtension : Route::NotHeld;
}

}  // namespace pelumir
