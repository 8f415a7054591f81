#pragma once
// "Set as Wallpaper": the shown bitmap written to GVWallpaper.bmp and made the desktop's
// wallpaper, centred or tiled.

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include "images/Picture.h"

namespace gv {

// $XDG_DATA_HOME/Glimvane/GVWallpaper.bmp; overwritten on every use.
QString wallpaperFile();
// The picture laid on a screen of the given size: centred on the colour, or tiled from the
// top left corner.
QImage composeWallpaper(const QImage& picture, QSize screen, bool tiled,
                        QColor background = Qt::black);
// Writes the bitmap and sets it; the tile flag is "0" (centred) or "1" (tiled). False when
// the picture is no bitmap or the desktop would not take it.
bool SetWallpaper(const Picture& picture, const QString& tileFlag);

}  // namespace gv
