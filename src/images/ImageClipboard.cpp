#include "images/ImageClipboard.h"

#include "images/Metafile.h"
#include "platform/Clipboard.h"

namespace gv {
namespace {

const QStringList kEmfFormats = {QStringLiteral("image/emf"), QStringLiteral("image/x-emf")};
const QStringList kWmfFormats = {QStringLiteral("image/wmf"), QStringLiteral("image/x-wmf")};

}  // namespace

QImage copiedImage(const Picture& picture, const QImage& shown, const QRect& selection) {
    if (selection.width() > 0 && selection.height() > 0) {
        QImage part = shown.copy(selection.intersected(shown.rect()));
        part.setDevicePixelRatio(1);
        return part;
    }
    if (picture.isNull()) {
        return shown;
    }
    return picture.fullRaster();
}

void CopyToClipboard(const Picture& picture, const QImage& shown, const QRect& selection) {
    const QImage image = copiedImage(picture, shown, selection);
    if (image.isNull()) {
        return;
    }
    const bool whole = selection.width() <= 0 || selection.height() <= 0;
    if (whole && picture.metafile() && picture.metafile()->kind() != MetafileKind::Svg) {
        const bool emf = picture.metafile()->kind() == MetafileKind::Emf;
        putImageOnClipboard(image, (emf ? kEmfFormats : kWmfFormats).first(),
                            picture.metafile()->bytes());
    } else {
        putImageOnClipboard(image);
    }
}

bool ClipboardHoldsPicture() {
    return clipboardHoldsImage() || !clipboardBytes(kEmfFormats + kWmfFormats).isEmpty();
}

Picture ClipboardPicture() {
    const QImage image = clipboardImage();
    if (!image.isNull()) {
        return Picture::fromRaster(image);
    }
    for (const QStringList* formats : {&kEmfFormats, &kWmfFormats}) {
        if (const auto metafile = Metafile::fromBytes(clipboardBytes(*formats))) {
            return Picture::fromMetafile(*metafile);
        }
    }
    return Picture();
}

}  // namespace gv
