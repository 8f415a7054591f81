#pragma once
// Windows and OS/2 bitmaps (.bmp, .dib, .rle) and the bitmaps inside icons and cursors: every
// header the formats define (OS/2's 12-byte and 16- to 64-byte headers, the Windows headers of
// 40, 52, 56, 108 and 124 bytes), 1 to 32 bits a pixel, colour masks of any width and place,
// and run-length compression (8-bit, 4-bit and OS/2's 24-bit) with the pixels its codes skip.

#include <QByteArrayView>
#include <QSize>
#include <optional>

#include "images/RasterRead.h"

namespace gv {

// The whole file, from its 14-byte "BM" header on.
RasterRead readBmp(QByteArrayView file, qint64 budget);

// One image of an icon or cursor file: the bitmap header, palette and colour pixels followed
// by the 1-bit AND mask, with a header height that counts both. Masked pixels come out
// transparent; a 32-bit image keeps its own alpha unless that is zero everywhere.
RasterRead readIconBitmap(QByteArrayView dib, qint64 budget);

// What the header of an icon's bitmap declares: the size of its colour image and its bits
// per pixel; nullopt when the bytes start with no bitmap header.
struct IconBitmapSummary {
    QSize size;
    int bitCount = 0;
};
std::optional<IconBitmapSummary> iconBitmapSummary(QByteArrayView dib);

}  // namespace gv
