#pragma once
// What a photograph's file says about how to show it, read straight from its bytes: the Exif
// orientation (JPEG APP1, a TIFF file's own tag) and the embedded ICC colour profile (JPEG APP2
// chunks, PNG iCCP, TIFF tag 34675). Every offset the file gives is checked; a damaged or
// missing field reads as absent, never as an error.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

namespace gv {

struct EmbeddedMetadata {
    // 1 (upright) to 8; 1 when the file says nothing or something out of range.
    int orientation = 1;
    // The profile's bytes, empty when there is none.
    QByteArray iccProfile;
};

// Reads JPEG, PNG and TIFF files (by their signatures); anything else has no metadata. A JPEG
// or PNG is read up to its first image data, so the leading part of a file is enough for
// them; a TIFF's directory may lie anywhere, so it needs the whole file.
EmbeddedMetadata readEmbeddedMetadata(QByteArrayView file);

// A decoded raster as its file means it to be seen: in the colours of the display whose
// profile is `display` (empty: sRGB), and upright. What cannot be converted is shown as it is.
QImage shownAsMeant(QImage stored, const EmbeddedMetadata& metadata, const QByteArray& display);

}  // namespace gv
