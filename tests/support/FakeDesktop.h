#pragma once
// Scripted stand-ins for the desktop that screen capture reads: the screen's pixels and
// windows, and the global hot keys, with the other programs that hold some of them.

#include <QHash>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSet>
#include <memory>

#include "platform/GlobalHotkeys.h"
#include "platform/X11Capture.h"

namespace gvtest {

class FakeDesktopCapture final : public gv::DesktopCapture {
public:
    static constexpr gv::WindowId kRoot = 1;
    struct Window {
        QRect outer;
        QRect client;
        bool maximised = false;
        QString program;
    };
    QImage screen;
    QHash<gv::WindowId, Window> windows;
    gv::WindowId foreground = 0;
    QList<gv::WindowId> closed;

    gv::WindowId desktopWindow() override { return kRoot; }
    gv::WindowId foregroundWindow() override { return foreground; }
    QRect windowRect(gv::WindowId w) override;
    QRect clientRect(gv::WindowId w) override;
    bool isMaximised(gv::WindowId w) override { return windows.value(w).maximised; }
    bool isWindow(gv::WindowId w) override { return w == kRoot || windows.contains(w); }
    QImage grab(const QRect& area) override;
    bool closeWindow(gv::WindowId w) override;
    QString programOf(gv::WindowId w) override { return windows.value(w).program; }
};

class FakeHotkeys final : public gv::GlobalHotkeys {
public:
    struct Held {
        quintptr owner = 0;
        int id = 0;
        quint32 modifiers = 0;
        quint32 key = 0;
    };
    QList<Held> held;
    // Combinations (modifiers, key) another program holds.
    QSet<QPair<quint32, quint32>> heldElsewhere;

    bool grab(quintptr owner, int id, quint32 modifiers, quint32 virtualKey,
              QString* systemText) override;
    bool release(quintptr owner, int id) override;
    // The user presses a combination: its holder hears of it.
    bool press(quint32 modifiers, quint32 virtualKey);
};

// Installs both for the lifetime of the object; the screen is 1280 x 1024 of a pattern
// where each pixel tells its place.
class ScopedFakeDesktop {
public:
    ScopedFakeDesktop();
    ~ScopedFakeDesktop();
    FakeDesktopCapture& desktop() { return *m_desktop; }
    FakeHotkeys& hotkeys() { return *m_hotkeys; }

private:
    FakeDesktopCapture* m_desktop;
    FakeHotkeys* m_hotkeys;
    std::unique_ptr<gv::DesktopCapture> m_previousDesktop;
    std::unique_ptr<gv::GlobalHotkeys> m_previousHotkeys;
};

// The pixel the fake screen shows at a place.
QRgb screenPixelAt(int x, int y);

}  // namespace gvtest
