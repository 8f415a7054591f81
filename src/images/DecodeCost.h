#pragma once
// What decoding a file will allocate at its peak, read from its header before any decoder
// sees it: the raster in the pixel format the decoder really produces, the decoder's working
// memory (libjpeg's coefficients of a progressive or multi-scan JPEG, the images inside an
// EMF+ picture), the copies made on the way and the file's bytes held in memory. The decode
// reserves this much of the memory budget first.

#include <QByteArrayView>
#include <QSize>
#include <optional>

#include "images/ImageTypeCatalogue.h"

namespace gv {

// How many leading bytes of a file decodeCost() looks at (a JPEG's size follows its Exif and
// colour profile segments).
inline constexpr qsizetype kCostPeekBytes = 256 * 1024;

// What a JPEG's frame header and first scan say.
struct JpegFrame {
    QSize size;
    int components = 0;
    // Sampling factors per component, and their largest values.
    int h[4] = {};
    int v[4] = {};
    int hMax = 1;
    int vMax = 1;
    // libjpeg holds every coefficient of the image until the last scan: progressive files, and
    // those whose first scan does not carry every component.
    bool multiScan = false;

    // Bytes of libjpeg's whole-image coefficient buffer (0 when it needs none).
    qint64 coefficientBytes() const;
};
std::optional<JpegFrame> readJpegFrame(QByteArrayView head);

// The size libjpeg decodes a JPEG of `full` pixels at when asked for a picture fitting `box`:
// the smallest of its scales n/8 that still covers the box, as Qt's reader picks it.
QSize jpegScaledDecodeSize(QSize full, QSize box);

struct DecodeCost {
    // Peak bytes of the decode; 0 when the header tells nothing (the result is counted once
    // it is there).
    qint64 bytes = 0;
    // The picture's pixel size, as the header declares it.
    QSize declared;
};

// `fitInto` as DecodeRequest has it: a JPEG larger than the box is decoded at a reduced scale.
// Metafiles are costed by the decoder, which has them parsed.
DecodeCost decodeCost(QByteArrayView head, qint64 fileSize, const TypeKeyInfo& info, QSize fitInto);

}  // namespace gv
