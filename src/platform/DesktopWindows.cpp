#include "platform/DesktopWindows.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace gv {
namespace {

struct XcbDisconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// The property's bytes (at most 4096 32-bit units).
QByteArray property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type) {
    if (name == XCB_ATOM_NONE) {
        return {};
    }
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, type, 0, 4096), nullptr);
    QByteArray bytes;
    if (r && r->type != XCB_ATOM_NONE) {
        bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(r)),
                           xcb_get_property_value_length(r));
    }
    std::free(r);
    return bytes;
}

}  // namespace

QList<DesktopWindow> topLevelWindows() {
    int number = 0;
    std::unique_ptr<xcb_connection_t, XcbDisconnect> conn(xcb_connect(nullptr, &number));
    xcb_connection_t* c = conn.get();
    if (xcb_connection_has_error(c)) {
        return {};
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < number; ++i) {
        xcb_screen_next(&it);
    }
    if (!it.rem) {
        return {};
    }
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME");
    const xcb_atom_t netPid = atom(c, "_NET_WM_PID");
    const QByteArray list =
        property(c, it.data->root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    QList<DesktopWindow> windows;
    for (qsizetype at = 0; at + 4 <= list.size(); at += 4) {
        xcb_window_t w = 0;
        std::memcpy(&w, list.constData() + at, 4);
        DesktopWindow window;
        window.id = w;
        QByteArray title = property(c, w, netName, utf8);
        window.title = title.isEmpty()
                           ? QString::fromLatin1(property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING))
                           : QString::fromUtf8(title);
        const QByteArray pid = property(c, w, netPid, XCB_ATOM_CARDINAL);
        if (pid.size() == 4) {
            quint32 value = 0;
            std::memcpy(&value, pid.constData(), 4);
            window.pid = value;
        }
        windows << window;
    }
    return windows;
}

}  // namespace gv
