#pragma once
// The program's decode of a test file, as pixels to compare with what the test wrote.

#include <QImage>
#include <QString>

namespace gvtest {

// The program's decode of the file (at a budget of 1 GiB) as straight ARGB32; a null image,
// with the reason in *why, when it refuses the file.
QImage decodeToArgb(const QString& path, QString* why = nullptr);
// Whether two colours are within `tolerance` in each channel, alpha included; colour is not
// compared where both are fully transparent.
bool sameColour(QRgb a, QRgb b, int tolerance = 0);

}  // namespace gvtest
