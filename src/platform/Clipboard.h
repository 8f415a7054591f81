#pragma once
// The desktop's clipboard (QClipboard): pictures in, pictures out.

#include <QImage>
#include <functional>

class QObject;

namespace gv {

// Empties the clipboard and puts the image on it. The image's pixels are shared, not copied;
// they are converted only when another program asks for them.
void putImageOnClipboard(const QImage& image);
void clearClipboard();
// Whether the clipboard holds a picture that can be pasted.
bool clipboardHoldsPicture();
// The clipboard's picture, or a null image.
QImage clipboardImage();
// Calls changed (in context's thread, while context lives) whenever the clipboard changes.
void watchClipboard(QObject* context, std::function<void()> changed);

}  // namespace gv
