#include "support/FakeDesktop.h"

#include <QPainter>

namespace gvtest {

QRgb screenPixelAt(int x, int y) {
    return qRgb(x & 0xff, y & 0xff, ((x >> 8) << 4) | (y >> 8));
}

QRect FakeDesktopCapture::windowRect(gv::WindowId w) {
    return w == kRoot ? screen.rect() : windows.value(w).outer;
}

QRect FakeDesktopCapture::clientRect(gv::WindowId w) {
    return w == kRoot ? screen.rect() : windows.value(w).client;
}

QImage FakeDesktopCapture::grab(const QRect& area) {
    if (area.isEmpty()) {
        return {};
    }
    QImage out(area.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter(&out).drawImage(QPoint(0, 0), screen, area);
    return out;
}

bool FakeDesktopCapture::closeWindow(gv::WindowId w) {
    if (!isWindow(w)) {
        return false;
    }
    closed << w;
    return true;
}

bool FakeHotkeys::grab(quintptr owner, int id, quint32 modifiers, quint32 virtualKey,
                       QString* systemText) {
    if (heldElsewhere.contains({modifiers, virtualKey})) {
        *systemText =
            QStringLiteral("Another program holds this key combination (X error BadAccess).");
        return false;
    }
    held << Held{owner, id, modifiers, virtualKey};
    return true;
}

bool FakeHotkeys::release(quintptr owner, int id) {
    for (qsizetype i = 0; i < held.size(); ++i) {
        if (held[i].owner == owner && held[i].id == id) {
            held.removeAt(i);
            return true;
        }
    }
    return false;
}

bool FakeHotkeys::press(quint32 modifiers, quint32 virtualKey) {
    for (const Held& h : held) {
        if (h.modifiers == modifiers && h.key == virtualKey) {
            Q_EMIT pressed(h.owner, h.id, (modifiers & 0xffff) | (virtualKey << 16));
            return true;
        }
    }
    return false;
}

ScopedFakeDesktop::ScopedFakeDesktop()
    : m_desktop(new FakeDesktopCapture), m_hotkeys(new FakeHotkeys) {
    m_desktop->screen = QImage(1280, 1024, QImage::Format_RGB32);
    for (int y = 0; y < 1024; ++y) {
        auto* line = reinterpret_cast<QRgb*>(m_desktop->screen.scanLine(y));
        for (int x = 0; x < 1280; ++x) {
            line[x] = screenPixelAt(x, y);
        }
    }
    m_previousDesktop = gv::setDesktopCapture(std::unique_ptr<gv::DesktopCapture>(m_desktop));
    m_previousHotkeys = gv::setGlobalHotkeys(std::unique_ptr<gv::GlobalHotkeys>(m_hotkeys));
}

ScopedFakeDesktop::~ScopedFakeDesktop() {
    gv::setDesktopCapture(std::move(m_previousDesktop));
    gv::setGlobalHotkeys(std::move(m_previousHotkeys));
}

}  // namespace gvtest
