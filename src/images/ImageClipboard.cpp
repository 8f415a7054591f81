#include "images/ImageClipboard.h"

namespace gv {

QImage copiedImage(const Picture& picture, const QImage& shown, const QRect& selection) {
    if (selection.width() > 0 && selection.height() > 0) {
        return shown.copy(selection.intersected(shown.rect()));
    }
    if (picture.isNull()) {
        return shown;
    }
    return picture.fullRaster();
}

}  // namespace gv
