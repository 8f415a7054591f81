#include "capture/clsScreen.h"

#include <QPainter>
#include <QWidget>

#include "capture/CaptureRules.h"
#include "images/Metafile.h"
#include "platform/DesktopWallpaper.h"
#include "platform/Printing.h"
#include "platform/Screen.h"
#include "platform/VideoPlayer.h"

namespace gv {

clsScreen::clsScreen(QRect screenAtStart) : m_screen(screenAtStart) {}

Picture clsScreen::CreateBitmapPicture(QImage bitmap) {
    // Pictures of the screen print at the screen's own size.
    return Picture::fromRaster(std::move(bitmap), PictureKind::Bitmap, {},
                               1440.0 / twipsPerPixelX());
}

Picture clsScreen::CaptureWindow(WindowId hWndSrc, bool Client, int LeftSrc, int TopSrc,
                                 int WidthSrc, int HeightSrc) {
    if (WidthSrc <= 0 || HeightSrc <= 0) {
        return {};
    }
    DesktopCapture& desktop = desktopCapture();
    const QRect window = Client ? desktop.clientRect(hWndSrc) : desktop.windowRect(hWndSrc);
    QImage pixels;
    if (!window.isNull()) {
        pixels = desktop.grab(
            QRect(window.topLeft() + QPoint(LeftSrc, TopSrc), QSize(WidthSrc, HeightSrc)));
    }
    if (pixels.isNull()) {
        // A window that has gone, or no display to read: black, as a failed copy leaves it.
        pixels = QImage(WidthSrc, HeightSrc, QImage::Format_RGB32);
        pixels.fill(Qt::black);
    }
    return CreateBitmapPicture(std::move(pixels));
}

Picture clsScreen::CaptureScreen() {
    return CaptureWindow(desktopCapture().desktopWindow(), false, m_screen.x(), m_screen.y(),
                         m_screen.width(), m_screen.height());
}

Picture clsScreen::CaptureForm(QWidget* frmSrc) {
    const QSize outer = frmSrc->frameGeometry().size() * frmSrc->devicePixelRatioF();
    return CaptureWindow(static_cast<WindowId>(frmSrc->winId()), false, 0, 0, outer.width(),
                         outer.height());
}

Picture clsScreen::CaptureClient(QWidget* frmSrc) {
    const QSize inner = frmSrc->size() * frmSrc->devicePixelRatioF();
    return CaptureWindow(static_cast<WindowId>(frmSrc->winId()), true, 0, 0, inner.width(),
                         inner.height());
}

Picture clsScreen::CaptureActiveWindow() {
    DesktopCapture& desktop = desktopCapture();
    const WindowId window = desktop.foregroundWindow();
    const QRect r = desktop.windowRect(window);
    return CaptureWindow(window, false, 0, 0, r.width(), r.height());
}

void clsScreen::PrintPictureToFitPage(PrintJob& printer, const Picture& picture) {
    if (picture.isNull()) {
        return;
    }
    const QSizeF own = picture.sizeHimetric();
    printer.setLandscape(printsLandscape(own));
    const QSizeF printed = fittedToPage(own, printer.printableHimetric());
    printer.draw(printed, [&picture](QPainter& painter, const QRectF& target) {
        if (const Metafile* metafile = picture.metafile()) {
            metafile->play(painter, target);  // stays vector on the page
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(target, picture.fullRaster());
        }
    });
}

QString clsScreen::GetWallPaper() {
    return currentWallpaperFile();
}

void clsScreen::HideTB() {
    setDockPanelsShown(false);
}

void clsScreen::ShowTB() {
    setDockPanelsShown(true);
}

bool clsScreen::AVIplayFullScreen(const QString& file) {
    return playVideoFullScreen(file);
}

}  // namespace gv
