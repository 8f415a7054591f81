// What a metafile's header says about the picture, checked once when the file is read.

#pragma once

#include <QRectF>
#include <QSize>

namespace gv::metafile {

// How the picture's reference device relates to the output.
struct FrameSetup final {
    QRectF frame;  // the picture frame in reference device units
    double devicePerMmX = 96 / 25.4;
    double devicePerMmY = 96 / 25.4;
    bool wmfDefaults = false;  // WMF pictures start anisotropic with the frame as window
    // The window starts at logical 0,0 and maps onto device 0,0 at one unit per device
    // unit, rather than onto the frame's corner (WMF pictures sized from their drawing).
    bool windowAtOrigin = false;
    // A window scaled without a viewport keeps GDI's own viewport (one device unit per
    // unit, from 0,0) instead of being stretched over the frame: the picture's drawing was
    // laid out by GDI itself (its bounds say so, or GDI+ recorded it).
    bool gdiViewport = false;
};

struct Layout final {
    FrameSetup setup;
    QSize himetric;          // natural size in 1/100 mm
    qint64 firstRecord = 0;  // byte offset of the first record after the headers
    qint64 end = 0;          // byte offset where the records end
    int objectCount = 0;     // size of the object table the file asks for
};

// Far more records than any real picture holds; a file claiming more is refused.
inline constexpr qint64 kMaxRecords = 4'000'000;

}  // namespace gv::metafile
