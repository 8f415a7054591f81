#pragma once
// What the capture windows ask of the main window, and what they hand back to it.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "images/Picture.h"
#include "platform/TrayIcon.h"

namespace gv {

class clsScreen;

struct CaptureHost {
    // Hidden while an invisible capture waits; the owner of the capture's messages.
    QPointer<QWidget> mainWindow;
    // The main window's notification-area icon, hidden with it.
    QPointer<TrayIcon> trayIcon;
    // "Capture Screen", disabled while a capture waits.
    QPointer<QWidget> captureButton;
    // The program's capture engine.
    clsScreen* screen = nullptr;
    // GetCapture: the capture windows unloaded, the main window in front, the picture shown.
    std::function<void(const Picture&)> getCapture;
    // Opens the help at a context number; none while the program has no help.
    std::function<void(int)> showHelp;
};

}  // namespace gv
