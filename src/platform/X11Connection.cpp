#include "platform/X11Connection.h"

#include <QGuiApplication>
#include <QHash>
#include <cstdlib>
#include <cstring>

namespace gv::x11 {
namespace {

struct Own {
    xcb_connection_t* connection = nullptr;
    int screen = 0;
    bool tried = false;
};

Own& own() {
    static Own o;
    return o;
}

xcb_connection_t* qtConnection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < number; ++i) {
        xcb_screen_next(&it);
    }
    return it.rem ? it.data : nullptr;
}

xcb_screen_t* defaultScreen() {
    if (xcb_connection_t* qt = qtConnection()) {
        // Qt's display is opened on $DISPLAY's screen, as ours would be.
        int number = 0;
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &number) == 0) {
            number = 0;
        }
        std::free(host);
        return screenOf(qt, number);
    }
    xcb_connection_t* c = ownConnection();
    return c ? screenOf(c, own().screen) : nullptr;
}

}  // namespace

xcb_connection_t* connection() {
    if (xcb_connection_t* qt = qtConnection()) {
        return qt;
    }
    return ownConnection();
}

xcb_connection_t* ownConnection() {
    Own& o = own();
    if (!o.tried) {
        o.tried = true;
        xcb_connection_t* c = xcb_connect(nullptr, &o.screen);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
        } else {
            o.connection = c;
        }
    }
    return o.connection;
}

bool sharedWithQt() {
    return qtConnection() != nullptr;
}

xcb_window_t root() {
    const xcb_screen_t* s = defaultScreen();
    return s ? s->root : xcb_window_t(XCB_WINDOW_NONE);
}

QSize rootSize() {
    const xcb_screen_t* s = defaultScreen();
    return s ? QSize(s->width_in_pixels, s->height_in_pixels) : QSize();
}

xcb_atom_t atom(const char* name) {
    xcb_connection_t* c = connection();
    if (!c) {
        return XCB_ATOM_NONE;
    }
    static QHash<QByteArray, xcb_atom_t> cache;
    const QByteArray key(name);
    if (const auto it = cache.constFind(key); it != cache.constEnd()) {
        return *it;
    }
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    if (a != XCB_ATOM_NONE) {
        cache.insert(key, a);
    }
    return a;
}

QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type, xcb_connection_t* c) {
    if (!c || name == XCB_ATOM_NONE || window == XCB_WINDOW_NONE) {
        return {};
    }
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 4096), nullptr);
    QByteArray bytes;
    if (r && r->type != XCB_ATOM_NONE) {
        bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(r)),
                           xcb_get_property_value_length(r));
    }
    std::free(r);
    return bytes;
}

void sync(xcb_connection_t* c) {
    if (c) {
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
}

}  // namespace gv::x11
