#include "XClient.h"

#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <QTest>
#include <cstdlib>
#include <cstring>

namespace gvtest {
QImage placePattern(QSize size, int seed) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            line[x] = qRgb(x & 0xff, y & 0xff, ((x >> 8) * 64 + (y >> 8) * 16 + seed * 5) & 0xff);
        }
    }
    return image;
}

XClient::XClient() {
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    m_c = c;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen; ++i) {
        xcb_screen_next(&it);
    }
    m_root = it.data->root;
    m_rootSize = QSize(it.data->width_in_pixels, it.data->height_in_pixels);
    m_depth = it.data->root_depth;
}

XClient::~XClient() {
    if (m_c) {
        for (xcb_window_t w : m_windows) {
            xcb_destroy_window(m_c, w);
        }
        xcb_disconnect(m_c);
    }
}

xcb_atom_t XClient::atom(const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        m_c, xcb_intern_atom(m_c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

xcb_window_t XClient::showWindow(const QImage& picture, const QString& title) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const auto width = static_cast<uint16_t>(image.width());
    const auto height = static_cast<uint16_t>(image.height());
    const xcb_pixmap_t pixmap = xcb_generate_id(m_c);
    xcb_create_pixmap(m_c, m_depth, pixmap, m_root, width, height);
    const xcb_gcontext_t gc = xcb_generate_id(m_c);
    xcb_create_gc(m_c, gc, pixmap, 0, nullptr);
    for (int y = 0; y < height; ++y) {
        xcb_put_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, width, 1, 0,
                      static_cast<int16_t>(y), 0, m_depth, width * 4, image.constScanLine(y));
    }
    xcb_free_gc(m_c, gc);
    const xcb_window_t w = xcb_generate_id(m_c);
    const uint32_t values[] = {pixmap};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_root, 50, 50, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXMAP,
                      values);
    const QByteArray name = title.toUtf8();
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(name.size()), name.constData());
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, 10,
                        "xclient\0X\0");
    xcb_map_window(m_c, w);
    m_windows << w;
    sync();
    (void)QTest::qWaitFor([&] { return isViewable(w) && frameRect(w) != rootRect(w); }, 3000);
    QTest::qWait(100);
    return w;
}

bool XClient::isViewable(xcb_window_t w) {
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr);
    const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(a);
    return viewable;
}

void XClient::clientMessage(xcb_window_t w, const char* type, quint32 d0, quint32 d1, quint32 d2) {
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = w;
    e.type = atom(type);
    e.data.data32[0] = d0;
    e.data.data32[1] = d1;
    e.data.data32[2] = d2;
    xcb_send_event(m_c, 0, m_root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&e));
    sync();
}

xcb_window_t XClient::activeWindow() {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1),
        nullptr);
    xcb_window_t w = 0;
    if (r && xcb_get_property_value_length(r) == 4) {
        std::memcpy(&w, xcb_get_property_value(r), 4);
    }
    std::free(r);
    return w;
}

bool XClient::activate(xcb_window_t w) {
    clientMessage(w, "_NET_ACTIVE_WINDOW", 2, XCB_CURRENT_TIME, 0);
    return QTest::qWaitFor([&] { return activeWindow() == w; }, 3000);
}

bool XClient::maximise(xcb_window_t w) {
    const QRect before = frameRect(w);
    clientMessage(w, "_NET_WM_STATE", 1, atom("_NET_WM_STATE_MAXIMIZED_VERT"),
                  atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    const bool done = QTest::qWaitFor([&] { return frameRect(w) != before; }, 3000);
    QTest::qWait(200);
    return done;
}

QRect XClient::rootRect(xcb_window_t w) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, w), nullptr);
    xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
        m_c, xcb_translate_coordinates(m_c, w, m_root, 0, 0), nullptr);
    QRect r;
    if (g && t) {
        r = QRect(t->dst_x, t->dst_y, g->width, g->height);
    }
    std::free(g);
    std::free(t);
    return r;
}

QRect XClient::frameRect(xcb_window_t w) {
    xcb_window_t top = w;
    for (;;) {
        xcb_query_tree_reply_t* r = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, top), nullptr);
        const xcb_window_t parent = r ? r->parent : m_root;
        std::free(r);
        if (parent == m_root || parent == 0) {
            break;
        }
        top = parent;
    }
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, top), nullptr);
    QRect r;
    if (g) {
        r = QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
    }
    std::free(g);
    return r;
}

void XClient::setRootPicture() {
    const xcb_pixmap_t pixmap = xcb_generate_id(m_c);
    xcb_create_pixmap(m_c, m_depth, pixmap, m_root, 1, 1);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, atom(name), XCB_ATOM_PIXMAP, 32, 1,
                            &pixmap);
    }
    sync();
}

xcb_keycode_t XClient::keycode(quint32 keysym) {
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    xcb_key_symbols_free(symbols);
    return code;
}

bool XClient::grabKey(uint16_t modifiers, quint32 keysym) {
    xcb_generic_error_t* e =
        xcb_request_check(m_c, xcb_grab_key_checked(m_c, 1, m_root, modifiers, keycode(keysym),
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(e);
    return e == nullptr;
}

void XClient::ungrabKey(uint16_t modifiers, quint32 keysym) {
    xcb_ungrab_key(m_c, keycode(keysym), m_root, modifiers);
    sync();
}

void XClient::key(quint32 keysym, bool press) {
    xcb_test_fake_input(m_c, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode(keysym),
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

void XClient::tap(const QList<quint32>& keysyms) {
    for (quint32 k : keysyms) {
        key(k, true);
    }
    for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it) {
        key(*it, false);
    }
}

void XClient::moveMouse(QPoint to) {
    xcb_test_fake_input(m_c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root,
                        static_cast<int16_t>(to.x()), static_cast<int16_t>(to.y()), 0);
    sync();
}

void XClient::button(int number, bool press) {
    xcb_test_fake_input(m_c, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                        static_cast<uint8_t>(number), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

void XClient::sync() {
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

}  // namespace gvtest
