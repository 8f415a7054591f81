#pragma once
// The program's decode of a test file, as pixels to compare with what the test wrote.

#include <QImage>
#include <QList>
#include <QString>

#include "images/Decoder.h"

namespace gvtest {

// Straight ARGB colours the decoding tests write and expect.
inline constexpr QRgb kRed = 0xFFFF0000;
inline constexpr QRgb kGreen = 0xFF00FF00;
inline constexpr QRgb kBlue = 0xFF0000FF;
inline constexpr QRgb kWhite = 0xFFFFFFFF;
inline constexpr QRgb kBlack = 0xFF000000;
inline constexpr QRgb kClear = 0;

// A decode at 96 dpi within a budget of 1 GiB, as the decoding tests ask for one.
gv::DecodeRequest at96();
// The program's decode of the file (at96()) as straight ARGB32; a null image,
// with the reason in *why, when it refuses the file.
QImage decodeToArgb(const QString& path, QString* why = nullptr);
// Whether two colours are within `tolerance` in each channel, alpha included; colour is not
// compared where both are fully transparent.
bool sameColour(QRgb a, QRgb b, int tolerance = 0);
// Compares a decoded image with the expected rows, top row first, pixel by pixel.
void expectPixels(const QImage& image, const QList<QList<QRgb>>& rows, const char* what);

}  // namespace gvtest
