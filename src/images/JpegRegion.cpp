#include "images/JpegRegion.h"

#include <algorithm>
#include <csetjmp>

#include "images/JpegDecompressor.h"

namespace gv {
namespace {

// Columns and rows decoded beyond the region: the smoothing of subsampled colour at the edge
// of a crop is not that of the full image, so the edge itself is decoded and then dropped.
constexpr int kEdgeMargin = 32;
// How often a decode on a worker looks whether the picture is still wanted.
constexpr JDIMENSION kRowsBetweenLooks = 64;

// Everything that may longjmp, with no C++ object of its own that needs destroying.
bool decodeInto(JpegDecompressor& d, const QByteArray& jpeg, QRect region, QImage* out) {
    if (setjmp(d.errors.jump)) {
        return false;
    }
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    if (!readJpegColourHeader(d)) {
        return false;
    }
    // What the full decoder does: the same colour conversion into 32-bit pixels.
    d.info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&d.info);
    const auto imageWidth = static_cast<int>(d.info.output_width);
    const auto imageHeight = static_cast<int>(d.info.output_height);
    region &= QRect(0, 0, imageWidth, imageHeight);
    if (region.isEmpty()) {
        return false;
    }
    // libjpeg widens the crop to whole blocks, to the left too.
    const int left = std::max(region.left() - kEdgeMargin, 0);
    const int right = std::min(region.left() + region.width() + kEdgeMargin, imageWidth);
    JDIMENSION xOffset = static_cast<JDIMENSION>(left);
    JDIMENSION cropWidth = static_cast<JDIMENSION>(right - left);
    jpeg_crop_scanline(&d.info, &xOffset, &cropWidth);
    if (static_cast<int>(xOffset) > region.left() ||
        static_cast<int>(xOffset + cropWidth) < region.left() + region.width()) {
        return false;
    }
    const int top = std::max(region.top() - kEdgeMargin, 0);
    const int rows = std::min(region.top() + region.height() + kEdgeMargin, imageHeight);
    if (top > 0 && jpeg_skip_scanlines(&d.info, static_cast<JDIMENSION>(top)) !=
                       static_cast<JDIMENSION>(top)) {
        return false;
    }
    *out = QImage(static_cast<int>(cropWidth), rows - top, QImage::Format_RGB32);
    if (out->isNull()) {
        return false;
    }
    while (static_cast<int>(d.info.output_scanline) < rows) {
        JSAMPROW line = out->scanLine(static_cast<int>(d.info.output_scanline) - top);
        if (jpeg_read_scanlines(&d.info, &line, 1) != 1) {
            return false;
        }
    }
    jpeg_abort_decompress(&d.info);
    // A damaged stream (data cut short, say) is filled in by libjpeg with a warning; what the
    // full decoder makes of it is its own business.
    if (d.errors.base.num_warnings > 0) {
        return false;
    }
    *out = out->copy(region.left() - static_cast<int>(xOffset), region.top() - top, region.width(),
                     region.height());
    return true;
}

bool readSize(JpegDecompressor& d, const QByteArray& jpeg, QSize* out) {
    if (setjmp(d.errors.jump)) {
        return false;
    }
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    if (!readJpegColourHeader(d)) {
        return false;
    }
    *out = QSize(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height));
    return true;
}

JpegRead decodeWholeInto(JpegDecompressor& d, const QByteArray& jpeg,
                         const std::atomic<bool>* cancelled, QImage* out, JpegMetadata* metadata) {
    if (setjmp(d.errors.jump)) {
        return d.headerRead ? JpegRead::Damaged : JpegRead::OtherKind;
    }
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    keepJpegMetadataMarkers(d);
    if (!readJpegColourHeader(d)) {
        return JpegRead::OtherKind;
    }
    readJpegMetadata(d, metadata);
    d.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.info);
    *out = QImage(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height),
                  QImage::Format_RGB888);
    if (out->isNull()) {
        return JpegRead::Stopped;
    }
    while (d.info.output_scanline < d.info.output_height) {
        if (cancelled && d.info.output_scanline % kRowsBetweenLooks == 0 && cancelled->load()) {
            return JpegRead::Stopped;
        }
        JSAMPROW line = out->scanLine(static_cast<int>(d.info.output_scanline));
        if (jpeg_read_scanlines(&d.info, &line, 1) != 1) {
            return JpegRead::Damaged;
        }
    }
    jpeg_finish_decompress(&d.info);
    return d.errors.base.num_warnings == 0 ? JpegRead::Done : JpegRead::Damaged;
}

}  // namespace

std::optional<QSize> colourJpegSize(const QByteArray& jpeg) {
    JpegDecompressor d;
    QSize size;
    if (!readSize(d, jpeg, &size)) {
        return std::nullopt;
    }
    return size;
}

std::optional<QImage> decodeJpegWhole(const QByteArray& jpeg, const std::atomic<bool>* cancelled,
                                      bool* damaged) {
    QImage image;
    JpegMetadata metadata;
    JpegRead outcome = JpegRead::Stopped;
    {
        JpegDecompressor d;
        outcome = decodeWholeInto(d, jpeg, cancelled, &image, &metadata);
    }
    if (damaged) {
        *damaged = outcome == JpegRead::Damaged;
    }
    if (outcome != JpegRead::Done) {
        return std::nullopt;
    }
    metadata.applyTo(image);
    return image;
}

std::optional<QImage> decodeJpegTopLeft(const QByteArray& jpeg, QSize region) {
    return decodeJpegRegion(jpeg, QRect(QPoint(0, 0), region));
}

std::optional<QImage> decodeJpegRegion(const QByteArray& jpeg, const QRect& region) {
    if (region.isEmpty()) {
        return std::nullopt;
    }
    JpegDecompressor d;
    QImage image;
    if (!decodeInto(d, jpeg, region, &image) || image.isNull()) {
        return std::nullopt;
    }
    return image;
}

}  // namespace gv
