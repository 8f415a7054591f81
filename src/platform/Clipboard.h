#pragma once
// The desktop's clipboard (QClipboard): pictures in, pictures out.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>

class QObject;

namespace gv {

// Empties the clipboard and puts the image on it, with the picture's own bytes in a format
// of its own when one is given. The image's pixels are shared, not copied; they are
// converted only when another program asks for them.
void putImageOnClipboard(const QImage& image, const QString& ownFormat = QString(),
                         const QByteArray& ownBytes = QByteArray());
void clearClipboard();
// Whether the clipboard holds a raster image.
bool clipboardHoldsImage();
// The clipboard's raster image, or a null image.
QImage clipboardImage();
// The bytes of the first of the MIME formats that the clipboard holds; empty when none.
QByteArray clipboardBytes(const QStringList& formats);
// Calls changed (in context's thread, while context lives) whenever the clipboard changes.
void watchClipboard(QObject* context, std::function<void()> changed);

}  // namespace gv
