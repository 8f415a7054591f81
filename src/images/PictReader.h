#pragma once
// Macintosh PICT files (.pct), version 1 and 2: the pictures their bitmaps and pixel maps
// draw (plain, packed-bits and direct pixels of 1 to 32 bits), and JPEG images compressed by
// QuickTime. Lines, shapes and text are not drawn; a picture that holds nothing else is
// refused, so that the caller can try another decoder.

#include <QByteArrayView>

#include "images/RasterRead.h"

namespace gv {

RasterRead readPict(QByteArrayView file, qint64 budget);

}  // namespace gv
