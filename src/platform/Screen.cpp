#include "platform/Screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdlib>

#include <xcb/xcb.h>

namespace gv {
namespace {
QSize g_override;

QScreen* primary() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::primaryScreen()
               : nullptr;
}
}  // namespace

void waitForDisplay() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        return;
    }
    // The server answers requests in order: the answer means everything before it is done.
    xcb_connection_t* c = x11->connection();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

QSize screenSizePx() {
    if (g_override.isValid()) {
        return g_override;
    }
    QScreen* s = primary();
    return s ? s->size() : QSize(800, 600);
}

double twipsPerPixelX() {
    QScreen* s = primary();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

double twipsPerPixelY() {
    QScreen* s = primary();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

QRect monitorOf(const QWidget* widget) {
    QScreen* s = nullptr;
    if (widget) {
        // A window not yet shown has no screen of its own: the one under its centre.
        const QWidget* window = widget->window();
        s = window->isVisible() ? window->screen()
                                : QGuiApplication::screenAt(window->geometry().center());
    }
    if (!s) {
        s = primary();
    }
    QRect r = s ? s->geometry() : QRect(0, 0, 800, 600);
    if (g_override.isValid()) {
        r.setSize(g_override);
    }
    return r;
}

void overrideScreenSize(const QSize& size) {
    g_override = size;
}

}  // namespace gv
