#pragma once
// The shown picture and the clipboard: what "Copy" puts there and what "&Paste" takes.

#include <QImage>
#include <QRect>

#include "images/Picture.h"

namespace gv {

// The part of the shown image under the selection when a selection of some size is drawn
// (in the image box's pixels), otherwise the whole picture at 1:1.
QImage copiedImage(const Picture& picture, const QImage& shown, const QRect& selection);
// Copy: the image, and for a whole metafile also its own bytes (EMF or WMF), so that
// programs that take metafiles get the vector picture.
void CopyToClipboard(const Picture& picture, const QImage& shown, const QRect& selection);
// Whether the clipboard holds a picture: a bitmap, an enhanced metafile or a metafile.
bool ClipboardHoldsPicture();
// The clipboard's picture in that order of formats; a null picture when it holds none.
Picture ClipboardPicture();

}  // namespace gv
