#include "platform/NativeWindow.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
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

xcb_atom_t Atom(xcb_connection_t* c, const std::string& name, bool onlyIfExists) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, onlyIfExists ? 1 : 0, uint16_t(name.size()), name.data()), nullptr);
    if (reply == nullptr) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// An atom keeps its number for as long as the server runs, and windows are
// placed by asking again and again: one round trip per connection is enough.
xcb_atom_t FrameExtentsAtom(xcb_connection_t* c) {
    static xcb_connection_t* askedOn = nullptr;
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (c == askedOn && atom != XCB_ATOM_NONE) return atom;
    atom = Atom(c, "_NET_FRAME_EXTENTS", true);
    if (atom != XCB_ATOM_NONE) askedOn = c;
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

std::vector<uint8_t> ScreenColourProfile(const QWidget* window, size_t limit) {
    xcb_connection_t* c = ConnectionFor(window);
    if (c == nullptr) return {};
    // The first X screen's profile is _ICC_PROFILE, the others' _ICC_PROFILE_<n>.
    xcb_get_geometry_reply_t* geo =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, xcb_window_t(window->winId())), nullptr);
    if (geo == nullptr) return {};
    const xcb_window_t root = geo->root;
    std::free(geo);
    int number = 0;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem > 0;
         xcb_screen_next(&it), ++number)
        if (it.data->root == root) break;
    const xcb_atom_t atom = Atom(c, number == 0 ? "_ICC_PROFILE" : "_ICC_PROFILE_" + std::to_string(number), true);
    if (atom == XCB_ATOM_NONE) return {};
    const uint32_t words = uint32_t((limit + 3) / 4);
    xcb_get_property_reply_t* prop =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom, XCB_ATOM_CARDINAL, 0, words), nullptr);
    std::vector<uint8_t> profile;
    if (prop != nullptr && prop->format == 8 && prop->bytes_after == 0) {
        const auto* data = static_cast<const uint8_t*>(xcb_get_property_value(prop));
        const int length = xcb_get_property_value_length(prop);
        if (length > 0 && size_t(length) <= limit) profile.assign(data, data + length);
    }
    std::free(prop);
    return profile;
}

}  // namespace pelumir
