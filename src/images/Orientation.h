#pragma once
// The eight Exif orientations: how the pixels stored in a file are turned and mirrored to show
// the picture upright. 1 is as stored; 2 to 4 mirror or turn half way; 5 to 8 swap rows and
// columns (a camera held on its side).

#include <QImage>
#include <QRect>
#include <QSize>

namespace gv {

// Whether the shown picture's width is the file's height.
bool orientationSwapsAxes(int orientation);

// The size shown for a file of `stored` pixels.
QSize orientedSize(QSize stored, int orientation);

// The image upright; any value outside 2..8 leaves it as it is. Format, resolution, colour
// space and texts are kept.
QImage applyOrientation(const QImage& stored, int orientation);

// The rectangle of the stored pixels that becomes `shown` (in the upright picture's
// coordinates) once turned; `stored` is the file's pixel size.
QRect storedRect(const QRect& shown, QSize stored, int orientation);

}  // namespace gv
