#pragma once
// The screen's pixels and the desktop's windows as screen capture needs them: the desktop is
// the X root window, the foreground window _NET_ACTIVE_WINDOW (the input focus where no window
// manager says), a window with its frame is its window manager's frame window, its client area
// the window itself. Tests install a scripted stand-in.

#include <QImage>
#include <QRect>
#include <QString>
#include <memory>

namespace gv {

using WindowId = quint32;

class DesktopCapture {
public:
    virtual ~DesktopCapture() = default;

    virtual WindowId desktopWindow() = 0;
    // 0 when no window is in front.
    virtual WindowId foregroundWindow() = 0;
    // On the desktop: the window with its frame, and its client area; empty when it is no
    // window (any more).
    virtual QRect windowRect(WindowId window) = 0;
    virtual QRect clientRect(WindowId window) = 0;
    // Maximised both ways.
    virtual bool isMaximised(WindowId window) = 0;
    virtual bool isWindow(WindowId window) = 0;
    // The pixels of an area of the desktop, black where it reaches beyond the screen; empty
    // when there is no screen to read or the area is empty.
    virtual QImage grab(const QRect& area) = 0;
    // Asks the window to close, as its close button does. False when it is no window.
    virtual bool closeWindow(WindowId window) = 0;
    // The name of the program that made the window (its WM_CLASS instance), or "".
    virtual QString programOf(WindowId window) = 0;
};

DesktopCapture& desktopCapture();
// Replaces the service (tests install a scripted one); null restores the real one.
std::unique_ptr<DesktopCapture> setDesktopCapture(std::unique_ptr<DesktopCapture> replacement);

// The desktop's panels (windows of type _NET_WM_WINDOW_TYPE_DOCK) taken off the screen or put
// back. Returns how many panels there were; 0 where the desktop has none.
int setDockPanelsShown(bool shown);

}  // namespace gv
