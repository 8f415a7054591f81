#pragma once
// Setting the desktop wallpaper: through the running desktop's own settings tool where one
// runs (GNOME family, Cinnamon, MATE, Xfce, KDE Plasma), otherwise by painting the X root
// window and publishing the picture as _XROOTPMAP_ID, as root-window setters do.

#include <QImage>
#include <QSize>
#include <QString>

namespace gv {

// True when a desktop's own tool took the file (tiled or centred).
bool setWallpaperWithDesktopTool(const QString& bitmapPath, bool tiled);
// The size of the X screen's root window; empty when there is no X server.
QSize rootWindowSize();
// Makes the image (of the root window's size) the root window's background; it stays
// after the program ends. The file it came from is noted beside it, to be read back. True when
// the X server took it.
bool paintRootWindow(const QImage& background, const QString& file = QString());
// The wallpaper's file as the place that set it tells: the desktop's own settings where one of
// the desktops above runs, else the root window when this program painted it last. "" when
// none is known.
QString currentWallpaperFile();

}  // namespace gv
