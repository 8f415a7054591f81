#pragma once
// What "Copy" puts on the clipboard.

#include <QImage>
#include <QRect>

#include "images/Picture.h"

namespace gv {

// The part of the shown image under the selection when a selection of some size is drawn
// (in the image box's pixels), otherwise the whole picture at 1:1.
QImage copiedImage(const Picture& picture, const QImage& shown, const QRect& selection);

}  // namespace gv
