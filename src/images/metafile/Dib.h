// Decoding of the device-independent bitmaps embedded in metafile records. Written by hand
// because the headers come from untrusted files and every field must be checked before any
// pixel is touched.

#pragma once

#include <QImage>
#include <QString>

#include <optional>

#include "images/metafile/ByteReader.h"

namespace gv::metafile {

// Largest bitmap side and pixel count we agree to decode (a 32-bit image of this many pixels
// is 256 MB).
inline constexpr qint64 kMaxDibSide = 32768;
inline constexpr qint64 kMaxDibPixels = 64 * 1024 * 1024;

struct DecodedDib final {
    QImage image;  // always top-down, Format_RGB32 or premultiplied ARGB32
    bool bottomUp = true;
};

// info holds the BITMAPINFO (header, masks, colour table); bits the pixel rows. When
// paletteIndices is set the colour table holds 16-bit palette indices, which we have no
// palette for: they are shown as a grey ramp. Bitmaps are opaque as GDI draws them, except
// 32-bit ones with keepAlpha set, whose fourth byte is premultiplied alpha (alpha blending).
std::optional<DecodedDib> decodeDib(const ByteReader& info, const ByteReader& bits,
                                    bool paletteIndices, bool keepAlpha = false,
                                    QString* error = nullptr);

// A packed DIB: BITMAPINFO immediately followed by the pixel rows, as WMF records store it.
std::optional<DecodedDib> decodePackedDib(const ByteReader& packed, bool paletteIndices,
                                          QString* error = nullptr);

}  // namespace gv::metafile
