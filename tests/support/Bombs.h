#pragma once
// Decompression bombs: small files that unpack to, or claim, far larger pictures. Made here in
// a moment, without ever holding what they unpack to, so that tests and benchmarks can throw
// them at the decoders.

#include <QByteArray>
#include <QSize>

namespace gvtest {

// A complete, valid PNG of zero samples (black, or transparent black with alpha), compressed
// as tightly as deflate allows (about 1:1000). colourType as libpng names it: 0 grey, 2 RGB,
// 6 RGBA; bitDepth 8 or 16.
QByteArray zeroPng(int width, int height, int colourType = 6, int bitDepth = 8);

// A JPEG of under a kilobyte whose frame header declares `declared`: its data ends after the
// first blocks, as a file cut short does. Progressive when asked, which makes libjpeg keep
// every coefficient of the declared picture.
QByteArray jpegDeclaring(QSize declared, bool progressive = false);

// A complete, valid baseline JPEG of the given size, flat grey: three components without
// subsampling, and Huffman tables whose only codes (DC difference 0, end of block) take one
// bit each, so each block costs two bits and a 400-megapixel picture under 5 MB.
QByteArray flatJpeg(QSize size);

// A complete run-length PCX of 8-bit planes (3: RGB), all zero, about 1/31 of its raster.
QByteArray zeroPcx(int width, int height, int planes = 3);

// An EMF+ picture of the given pixel size holding `count` image objects, each a zeroPng of
// side x side in an object slot of its own, each drawn over the whole picture.
QByteArray emfPlusOfPngs(QSize picture, int count, int side);

}  // namespace gvtest
