#pragma once
// The capture engine: what is on the screen turned into a picture (the whole screen, a window
// with or without its frame, the active window), a picture printed to fit a page, and a few
// desktop helpers (the panel hidden and shown, the wallpaper's file, a video full screen).
// Failed platform calls give a black picture of the asked size; nothing is reported.

#include <QRect>
#include <QString>

#include "images/Picture.h"
#include "platform/X11Capture.h"

class QWidget;

namespace gv {

class PrintJob;

class clsScreen final {
public:
    // The screen as measured when the program started: where it lies on the desktop and its
    // size. Captures of the screen keep to it even after the resolution changes.
    explicit clsScreen(QRect screenAtStart);

    // A bitmap picture owning the pixels; a true-colour display gives no palette to keep.
    static Picture CreateBitmapPicture(QImage bitmap);
    // The rectangle of the window (of its client area when Client is set), from its own
    // top-left corner.
    Picture CaptureWindow(WindowId hWndSrc, bool Client, int LeftSrc, int TopSrc, int WidthSrc,
                          int HeightSrc);
    Picture CaptureScreen();
    Picture CaptureForm(QWidget* frmSrc);
    Picture CaptureClient(QWidget* frmSrc);
    Picture CaptureActiveWindow();

    // Landscape for a picture wider than tall; the picture at the page's top-left corner,
    // filling the printable width (or height) in its own shape. The caller ends the job.
    static void PrintPictureToFitPage(PrintJob& printer, const Picture& picture);
    // The wallpaper's file, or "".
    static QString GetWallPaper();
    static void HideTB();
    static void ShowTB();
    static bool AVIplayFullScreen(const QString& file);

    QRect screenAtStart() const { return m_screen; }

private:
    QRect m_screen;
};

}  // namespace gv
