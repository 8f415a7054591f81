#pragma once
// Colour management of decoded rasters: pixels described by the profile their file embeds are
// turned into the display's colours, so that a photograph in a wide-gamut space (Adobe RGB,
// Display P3, a camera's own) looks as its maker saw it rather than washed out. A file without
// a profile is taken as sRGB, and so is a desktop that names no profile of its display.

#include <QByteArray>
#include <QImage>

namespace gv {

// The profile of the display pictures are shown on, for every decode from now on; empty means
// sRGB. Set once the desktop has told which it is.
void setDisplayProfile(QByteArray icc);
QByteArray displayProfile();

// Whether `icc` describes sRGB (its primaries and tone curves, whatever its name); empty
// counts as sRGB.
bool isSrgbProfile(const QByteArray& icc);

// Converts `image` in place from the colours of the profile `from` to those of `to` (ICC
// profiles; empty means sRGB), and tags it with the colour space of `to`, so that a save or a
// copy writes the profile that describes the pixels it holds. Returns false, leaving the image
// as it was, when there is nothing to convert (the two are alike) or the conversion cannot be
// made: a profile for another kind of data than the image holds (CMYK on an RGB raster), a
// target that is not RGB or is damaged. A damaged `from` is taken as sRGB, as no profile is.
bool convertColours(QImage& image, const QByteArray& from, const QByteArray& to);

}  // namespace gv
