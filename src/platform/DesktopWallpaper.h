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
// after the program ends. True when the X server took it.
bool paintRootWindow(const QImage& background);

}  // namespace gv
