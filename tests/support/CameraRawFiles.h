#pragma once
// Camera raw files as a camera writes a DNG: the raw CFA data (16-bit, RGGB) in the first
// directory with its Orientation tag, and the full-size JPEG preview in a sub-directory
// (baseline JPEG in one strip). No packaged tool writes one, so the TIFF layout is ours and
// the preview comes from libjpeg (through Qt's writer).

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace gvtest {

struct DngParts {
    QByteArray previewJpeg;  // left out when empty
    QSize previewSize;
    QSize rawSize{64, 48};
    int orientation = 1;
};
QByteArray dngBytes(const DngParts& parts);
// A DNG whose preview is `preview` as a JPEG.
QByteArray dngWithPreview(const QImage& preview, int orientation = 1);

}  // namespace gvtest
