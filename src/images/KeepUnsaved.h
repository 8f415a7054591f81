#pragma once
// An image that was never saved (a capture, a paste), kept in a new file when the program must
// end without asking (the session logs out): it is the user's, and no one is there to answer.

#include <QDateTime>
#include <QImage>
#include <QString>

namespace gv {

// "Glimvane unsaved image 2026-12-07 23.15.02.png", and " (2)" and so on before the extension
// for the second and later tries.
QString unsavedImageName(const QDateTime& when, int attempt);

// Writes `image` as PNG under a new name in `folder` (made if missing), never over an existing
// file; returns the path written, or an empty string when nothing could be written.
QString keepUnsavedImage(const QImage& image, const QString& folder, const QDateTime& when);

}  // namespace gv
