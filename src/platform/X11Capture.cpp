#include "platform/X11Capture.h"

#include <QList>
#include <cstdlib>
#include <cstring>

#include "platform/X11Connection.h"

namespace gv {
namespace {

template <typename T>
struct Freed {
    T* p;
    explicit Freed(T* reply) : p(reply) {}
    ~Freed() { std::free(p); }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// The window's parent, or none when it is no window or the root.
xcb_window_t parentOf(xcb_connection_t* c, xcb_window_t w) {
    Freed<xcb_query_tree_reply_t> r(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    return r ? r->parent : xcb_window_t(XCB_WINDOW_NONE);
}

// The window's outer rectangle (border included) on the root window.
QRect rootRectOf(xcb_connection_t* c, xcb_window_t w) {
    Freed<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
    if (!g) {
        return {};
    }
    Freed<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, w, x11::root(), 0, 0), nullptr));
    if (!t) {
        return {};
    }
    return QRect(t->dst_x - g->border_width, t->dst_y - g->border_width,
                 g->width + 2 * g->border_width, g->height + 2 * g->border_width);
}

QList<xcb_atom_t> atomList(xcb_window_t w, const char* name) {
    const QByteArray bytes = x11::property(w, x11::atom(name), XCB_ATOM_ATOM, x11::ownConnection());
    QList<xcb_atom_t> atoms;
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4) {
        xcb_atom_t a = 0;
        std::memcpy(&a, bytes.constData() + at, 4);
        atoms << a;
    }
    return atoms;
}

class X11Capture final : public DesktopCapture {
public:
    WindowId desktopWindow() override { return x11::root(); }

    WindowId foregroundWindow() override {
        xcb_connection_t* c = x11::ownConnection();
        if (!c) {
            return 0;
        }
        const xcb_window_t root = x11::root();
        const QByteArray active =
            x11::property(root, x11::atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, c);
        if (active.size() >= 4) {
            xcb_window_t w = 0;
            std::memcpy(&w, active.constData(), 4);
            return w;
        }
        // No window manager says: the window that has the keyboard, up to its top level.
        Freed<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        if (!focus || focus->focus == XCB_WINDOW_NONE ||
            focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus->focus == root) {
            return 0;
        }
        xcb_window_t w = focus->focus;
        for (xcb_window_t up = parentOf(c, w); up != XCB_WINDOW_NONE && up != root;
             up = parentOf(c, w)) {
            w = up;
        }
        return w;
    }

    QRect windowRect(WindowId window) override {
        xcb_connection_t* c = x11::ownConnection();
        if (!c || window == 0) {
            return {};
        }
        const xcb_window_t root = x11::root();
        if (window == root) {
            return QRect(QPoint(0, 0), x11::rootSize());
        }
        // The window manager's frame is the window's ancestor just below the root.
        xcb_window_t frame = window;
        for (xcb_window_t up = parentOf(c, frame); up != root; up = parentOf(c, frame)) {
            if (up == XCB_WINDOW_NONE) {
                return {};
            }
            frame = up;
        }
        const QRect client = rootRectOf(c, window);
        if (frame != window || client.isEmpty()) {
            return rootRectOf(c, frame);
        }
        // A window manager that draws its frame around the window without a parent of its own.
        const QByteArray extents =
            x11::property(window, x11::atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, c);
        if (extents.size() < 16) {
            return client;
        }
        quint32 e[4] = {};  // left, right, top, bottom
        std::memcpy(e, extents.constData(), 16);
        return client.adjusted(-int(e[0]), -int(e[2]), int(e[1]), int(e[3]));
    }

    QRect clientRect(WindowId window) override {
        xcb_connection_t* c = x11::ownConnection();
        if (!c || window == 0) {
            return {};
        }
        if (window == x11::root()) {
            return QRect(QPoint(0, 0), x11::rootSize());
        }
        Freed<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
        if (!g) {
            return {};
        }
        // The inside of the window, within its own border.
        const QRect outer = rootRectOf(c, window);
        return outer.isEmpty() ? QRect()
                               : QRect(outer.topLeft() + QPoint(g->border_width, g->border_width),
                                       QSize(g->width, g->height));
    }

    bool isMaximised(WindowId window) override {
        const QList<xcb_atom_t> state = atomList(window, "_NET_WM_STATE");
        return state.contains(x11::atom("_NET_WM_STATE_MAXIMIZED_VERT")) &&
               state.contains(x11::atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    }

    bool isWindow(WindowId window) override {
        xcb_connection_t* c = x11::ownConnection();
        if (!c || window == 0) {
            return false;
        }
        Freed<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
        return bool(a);
    }

    QImage grab(const QRect& area) override {
        xcb_connection_t* c = x11::ownConnection();
        if (!c || area.isEmpty()) {
            return {};
        }
        const QRect screen(QPoint(0, 0), x11::rootSize());
        const QRect inside = area.intersected(screen);
        if (inside.isEmpty()) {
            return blank(area.size());
        }
        QImage pixels = read(c, inside);
        if (pixels.isNull() || inside == area) {
            return pixels;
        }
        QImage whole = blank(area.size());
        const QPoint at = inside.topLeft() - area.topLeft();
        for (int y = 0; y < pixels.height(); ++y) {
            std::memcpy(whole.scanLine(at.y() + y) + at.x() * 4, pixels.constScanLine(y),
                        static_cast<size_t>(pixels.width()) * 4);
        }
        return whole;
    }

    bool closeWindow(WindowId window) override {
        xcb_connection_t* c = x11::ownConnection();
        if (!c || !isWindow(window)) {
            return false;
        }
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = x11::atom("WM_PROTOCOLS");
        event.data.data32[0] = x11::atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_void_cookie_t sent = xcb_send_event_checked(c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                        reinterpret_cast<const char*>(&event));
        xcb_generic_error_t* error = xcb_request_check(c, sent);
        std::free(error);
        return error == nullptr;
    }

    QString programOf(WindowId window) override {
        // WM_CLASS: the instance name, a NUL, the class name.
        const QByteArray wmClass =
            x11::property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, x11::ownConnection());
        return QString::fromLocal8Bit(wmClass.left(wmClass.indexOf('\0')));
    }

private:
    static QImage blank(QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::black);
        return image;
    }

    // One request for the whole area; the reply's buffer becomes the image's, so the pixels
    // are never copied again.
    static QImage read(xcb_connection_t* c, const QRect& r) {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, x11::root(), static_cast<int16_t>(r.x()),
                          static_cast<int16_t>(r.y()), static_cast<uint16_t>(r.width()),
                          static_cast<uint16_t>(r.height()), ~0u),
            nullptr);
        if (!reply) {
            return {};
        }
        const xcb_setup_t* setup = xcb_get_setup(c);
        int bitsPerPixel = 0;
        for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
            if (it.data->depth == reply->depth) {
                bitsPerPixel = it.data->bits_per_pixel;
            }
        }
        const bool lsb = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
        uint8_t* data = xcb_get_image_data(reply);
        const int length = xcb_get_image_data_length(reply);
        const qsizetype stride = r.height() > 0 ? length / r.height() : 0;
        QImage::Format format = QImage::Format_Invalid;
        if (lsb && bitsPerPixel == 32 && (reply->depth == 24 || reply->depth == 32)) {
            format = QImage::Format_RGB32;
            // The server leaves the unused top byte 0; Qt's RGB32 means it to be 0xff.
            auto* px = reinterpret_cast<quint32*>(data);
            for (qsizetype i = 0, n = length / 4; i < n; ++i) {
                px[i] |= 0xff000000u;
            }
        } else if (lsb && bitsPerPixel == 16 && reply->depth == 16) {
            format = QImage::Format_RGB16;
        }
        if (format == QImage::Format_Invalid || stride * r.height() > length) {
            std::free(reply);
            return blank(r.size());  // a display this program does not read: black, as any failure
        }
        QImage image(
            data, r.width(), r.height(), stride, format, [](void* p) { std::free(p); }, reply);
        return format == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    }
};

std::unique_ptr<DesktopCapture>& slot() {
    static std::unique_ptr<DesktopCapture> current = std::make_unique<X11Capture>();
    return current;
}

// The window that carries the dock type: the root's child itself, or the client inside a
// window manager's frame.
QList<xcb_window_t> dockWindows(xcb_connection_t* c) {
    const xcb_atom_t dock = x11::atom("_NET_WM_WINDOW_TYPE_DOCK");
    const auto children = [c](xcb_window_t w) {
        QList<xcb_window_t> list;
        Freed<xcb_query_tree_reply_t> r(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
        if (r) {
            const xcb_window_t* ids = xcb_query_tree_children(r.p);
            list = QList<xcb_window_t>(ids, ids + xcb_query_tree_children_length(r.p));
        }
        return list;
    };
    QList<xcb_window_t> docks;
    for (xcb_window_t top : children(x11::root())) {
        for (xcb_window_t w : QList<xcb_window_t>{top} + children(top)) {
            if (atomList(w, "_NET_WM_WINDOW_TYPE").contains(dock)) {
                docks << w;
                break;
            }
        }
    }
    return docks;
}

}  // namespace

DesktopCapture& desktopCapture() {
    return *slot();
}

std::unique_ptr<DesktopCapture> setDesktopCapture(std::unique_ptr<DesktopCapture> replacement) {
    std::unique_ptr<DesktopCapture> previous = std::move(slot());
    slot() = replacement ? std::move(replacement) : std::make_unique<X11Capture>();
    return previous;
}

int setDockPanelsShown(bool shown) {
    xcb_connection_t* c = x11::ownConnection();
    if (!c) {
        return 0;
    }
    const QList<xcb_window_t> docks = dockWindows(c);
    for (xcb_window_t w : docks) {
        if (shown) {
            xcb_map_window(c, w);
        } else {
            xcb_unmap_window(c, w);
            // A window taken off the screen by another client is withdrawn as its own client
            // would withdraw it (ICCCM), so the window manager lets it go.
            xcb_unmap_notify_event_t event{};
            event.response_type = XCB_UNMAP_NOTIFY;
            event.event = x11::root();
            event.window = w;
            xcb_send_event(
                c, 0, x11::root(),
                XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                reinterpret_cast<const char*>(&event));
        }
    }
    x11::sync(c);
    return static_cast<int>(docks.size());
}

}  // namespace gv
