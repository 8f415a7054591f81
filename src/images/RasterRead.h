#pragma once
// What the program's own readers of raster formats give back: the decoded image, or why there
// is none. The readers are plain functions over bytes already read into memory; each checks
// the memory budget against the size a header declares before it allocates for it.

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <QtEndian>

namespace gv {

enum class RasterFailure { None, Invalid, TooLarge };

struct RasterRead {
    QImage image;
    RasterFailure failure = RasterFailure::None;
    QString why;

    bool ok() const { return failure == RasterFailure::None; }
};

RasterRead rasterInvalid(const char* why);
RasterRead rasterTooLarge();

// Whether a width x height raster at 4 bytes a pixel is beyond the budget; checked by division
// so that absurd header values cannot overflow. Empty sizes never are.
bool rasterExceedsBudget(qint64 width, qint64 height, qint64 budget);

// A raster of that size for a reader to fill, or the failure to return: beyond the budget, or
// refused by the allocator.
RasterRead allocateRaster(qint64 width, qint64 height, QImage::Format format, qint64 budget);
// The same for a raster the reader only works in, never the one it returns: always ordinary
// memory, whatever allocator the answer's rasters come from.
RasterRead allocateWorkRaster(qint64 width, qint64 height, QImage::Format format, qint64 budget);

// Where allocateRaster takes its memory from: the decoding helper gives its readers rasters in
// memory it can hand over as it is. nullptr (the default) for ordinary images.
using RasterAllocator = QImage (*)(int width, int height, QImage::Format format);
void setRasterAllocator(RasterAllocator allocator);
// A raster from that allocator (ordinary memory by default); null when it has no room. For
// decoders of the platform's libraries that allocate their raster themselves.
QImage newRaster(int width, int height, QImage::Format format);

// An ARGB32 image whose alpha is zero everywhere was written by a program that left the channel
// unused; it is shown opaque, as the format's reference decoders show it. Returns whether the
// image was changed to an opaque format.
bool opaqueWhenAlphaUnused(QImage& image);

// Scales a channel value of `max` levels (its mask's width) to 0..255, rounded to nearest.
inline quint8 scaleToByte(quint32 value, quint32 max) {
    return static_cast<quint8>((quint64(value) * 255 + max / 2) / max);
}

// Little-endian fields of a byte buffer, read without alignment.
inline quint16 le16(const uchar* p) {
    return qFromLittleEndian<quint16>(p);
}
inline quint32 le32(const uchar* p) {
    return qFromLittleEndian<quint32>(p);
}
inline quint16 be16(const uchar* p) {
    return qFromBigEndian<quint16>(p);
}
inline quint32 be32(const uchar* p) {
    return qFromBigEndian<quint32>(p);
}

}  // namespace gv
