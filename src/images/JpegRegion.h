#pragma once
// The top-left part of a JPEG decoded on its own, so that a view at 1:1 can show what it
// covers before the whole image is decoded. libjpeg-turbo crops the columns and stops after
// the rows needed; the pixels are those of a full decode of the same file.

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <atomic>
#include <optional>

namespace gv {

// The pixel size of a colour JPEG of the kind the functions below decode; nullopt for any
// other file (greyscale, CMYK, not a JPEG, a damaged header).
std::optional<QSize> colourJpegSize(const QByteArray& jpeg);

// The region of `jpeg` from (0, 0) of the given size (clipped to the image). nullopt when the
// file is not a colour JPEG this path decodes exactly as the full decoder does (greyscale,
// CMYK), or when it is damaged: the caller then decodes the whole file as usual.
std::optional<QImage> decodeJpegTopLeft(const QByteArray& jpeg, QSize region);
// Any region of such a JPEG, in the file's own pixel coordinates (clipped to the image); nullopt
// as above.
std::optional<QImage> decodeJpegRegion(const QByteArray& jpeg, const QRect& region);

// The whole of such a JPEG, decoded straight into one image of 3 bytes a pixel (a quarter less
// memory than the usual 32-bit raster, with the same colours). nullopt as above, and *damaged
// (when given) tells a damaged file from one of another kind; nullopt too once *cancelled is
// set, which is looked at every few rows.
std::optional<QImage> decodeJpegWhole(const QByteArray& jpeg,
                                      const std::atomic<bool>* cancelled = nullptr,
                                      bool* damaged = nullptr);

}  // namespace gv
