#include "platform/NativeWindow.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <xcb/xcb.h>

namespace pelumir {

namespace {

xcb_connection_t* ConnectionFor(const QWidget* window) {
    // The offscreen platform offers the X11 interface too, without a connection.
    if (qGuiApp == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || window == nullptr || !window->testAttribute(Qt::WA_WState_Created)) return nullptr;
    return x11->connection();
}

// An atom keeps its number for as long as the server runs, and windows are
// placed by asking again and again: one round trip per connection is enough.
xcb_atom_t FrameExtentsAtom(xcb_connection_t* c) {
    static xcb_connection_t* askedOn = nullptr;
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (c == askedOn && atom != XCB_ATOM_NONE) return atom;
    static const char name[] = "_NET_FRAME_EXTENTS";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
    if (reply == nullptr) return XCB_ATOM_NONE;
    askedOn = c;
    atom = reply->atom;
    std::free(reply);
    return atom;
}

}  // namespace

QMargins WindowManagerFrame(const QWidget* window) {
    xcb_connection_t* c = ConnectionFor(window);
    if (c == nullptr) return {};
    const xcb_atom_t extents = FrameExtentsAtom(c);
    if (extents == XCB_ATOM_NONE) return {};
    xcb_get_property_reply_t* prop = xcb_get_property_reply(
        c, xcb_get_property(c, 0, xcb_window_t(window->winId()), extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    QMargins frame;
    if (prop != nullptr && prop->format == 32 && xcb_get_property_value_length(prop) == 16) {
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(prop));
        const qreal r = window->devicePixelRatioF();
        auto logical = [r](uint32_t px) { return int(std::ceil(px / r)); };
        frame = QMargins(logical(v[0]), logical(v[2]), logical(v[1]), logical(v[3]));  // left, right, top, bottom
    }
    std::free(prop);
    return frame;
}

QSize NativeVisibleSize(const QWidget* window) {
    xcb_connection_t* c = ConnectionFor(window);
    if (c == nullptr) return {};
    const auto id = xcb_window_t(window->winId());
    xcb_get_geometry_reply_t* geo = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    if (geo == nullptr) return {};
    const xcb_window_t root = geo->root;
    const int w = geo->width, h = geo->height;
    std::free(geo);
    // Both questions go out before either answer is awaited: one round trip, not two.
    const xcb_get_geometry_cookie_t rootCookie = xcb_get_geometry(c, root);
    const xcb_translate_coordinates_cookie_t atCookie = xcb_translate_coordinates(c, id, root, 0, 0);
    xcb_get_geometry_reply_t* rootGeo = xcb_get_geometry_reply(c, rootCookie, nullptr);
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(c, atCookie, nullptr);
    QSize size(w, h);
    // A window a pixel wider than the screen shows one pixel less.
    if (rootGeo != nullptr && at != nullptr) {
        const int right = std::min(int(at->dst_x) + w, int(rootGeo->width));
        const int bottom = std::min(int(at->dst_y) + h, int(rootGeo->height));
        size = QSize(std::max(0, right - std::max(0, int(at->dst_x))), std::max(0, bottom - std::max(0, int(at->dst_y))));
    }
    std::free(rootGeo);
    std::free(at);
    return size;
}

}  // namespace pelumir
