// The camera raw module: built as a shared object of its own (libglimvane_raw.so) and loaded
// by CameraRawPlugin.cpp on the first raw file. LibRaw finds the preview the camera embedded;
// it develops the raw data itself only for files without a usable preview.

#include "platform/CameraRaw.h"

#include <libraw.h>

#include <cstring>
#include <memory>

namespace gv {
namespace {

constexpr qint64 kMaxPreviewBytes = qint64(1) << 30;

// LibRaw's flip (dcraw's bits: 4 swaps the axes, 2 mirrors rows, 1 mirrors columns) as the
// Exif orientation it was read from.
int exifOrientation(int flip) {
    static const int kFromFlip[8] = {1, 2, 4, 3, 5, 8, 6, 7};
    return flip >= 0 && flip < 8 ? kFromFlip[flip] : 1;
}

QString reason(int code) {
    return QString::fromLatin1(libraw_strerror(code));
}

// The raw data developed at half size, without turning it (the caller turns it once).
std::optional<QImage> develop(LibRaw& raw, qint64 budget, QString* why, bool* tooLarge) {
    const libraw_image_sizes_t& s = raw.imgdata.sizes;
    const qint64 rawBytes = qint64(s.raw_width) * s.raw_height * 2;
    const qint64 halfPixels = qint64(s.width / 2 + 1) * (s.height / 2 + 1);
    if (rawBytes + halfPixels * (8 + 3 + 4) > budget) {
        *tooLarge = true;
        *why = QStringLiteral("the raw data would not fit the memory budget");
        return std::nullopt;
    }
    raw.imgdata.params.half_size = 1;
    raw.imgdata.params.use_camera_wb = 1;
    raw.imgdata.params.output_bps = 8;
    raw.imgdata.params.user_flip = 0;
    int rc = raw.unpack();
    if (rc == LIBRAW_SUCCESS) {
        rc = raw.dcraw_process();
    }
    if (rc != LIBRAW_SUCCESS) {
        *why = reason(rc);
        return std::nullopt;
    }
    libraw_processed_image_t* image = raw.dcraw_make_mem_image(&rc);
    if (!image) {
        *why = reason(rc);
        return std::nullopt;
    }
    const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> held(
        image, LibRaw::dcraw_clear_mem);
    if (image->type != LIBRAW_IMAGE_BITMAP || image->colors != 3 || image->bits != 8 ||
        qint64(image->width) * image->height * 3 != qint64(image->data_size)) {
        *why = QStringLiteral("the raw data cannot be developed");
        return std::nullopt;
    }
    QImage out(image->width, image->height, QImage::Format_RGB888);
    if (out.isNull()) {
        *tooLarge = true;
        *why = QStringLiteral("out of memory");
        return std::nullopt;
    }
    for (int y = 0; y < image->height; ++y) {
        std::memcpy(out.scanLine(y), image->data + qint64(y) * image->width * 3,
                    std::size_t(image->width) * 3);
    }
    return out;
}

std::optional<RawPreview> read(QByteArrayView bytes, qint64 budget, QString* why, bool* tooLarge) {
    *tooLarge = false;
    // LibRaw's object holds its tables inline: far too large for a thread's stack.
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    int rc = raw->open_buffer(const_cast<char*>(bytes.data()), std::size_t(bytes.size()));
    if (rc != LIBRAW_SUCCESS) {
        *why = reason(rc);
        return std::nullopt;
    }
    RawPreview preview;
    preview.orientation = exifOrientation(raw->imgdata.sizes.flip);
    rc = raw->unpack_thumb();
    const libraw_thumbnail_t& t = raw->imgdata.thumbnail;
    if (rc == LIBRAW_SUCCESS && t.thumb && t.tlength > 2 && t.tlength < kMaxPreviewBytes) {
        if (t.tformat == LIBRAW_THUMBNAIL_JPEG && uchar(t.thumb[0]) == 0xFF &&
            uchar(t.thumb[1]) == 0xD8) {
            preview.jpeg = QByteArray(t.thumb, qsizetype(t.tlength));
            return preview;
        }
        if (t.tformat == LIBRAW_THUMBNAIL_BITMAP && t.tcolors == 3 && t.twidth > 0 &&
            t.theight > 0 && qint64(t.twidth) * t.theight * 3 == qint64(t.tlength)) {
            QImage image(reinterpret_cast<const uchar*>(t.thumb), t.twidth, t.theight,
                         qsizetype(t.twidth) * 3, QImage::Format_RGB888);
            preview.raster = image.copy();
            if (!preview.raster.isNull()) {
                return preview;
            }
        }
    }
    std::optional<QImage> developed = develop(*raw, budget, why, tooLarge);
    if (!developed) {
        return std::nullopt;
    }
    preview.raster = std::move(*developed);
    return preview;
}

const RawPlugin kPlugin{kRawPluginVersion, read};

}  // namespace
}  // namespace gv

extern "C" __attribute__((visibility("default"))) const gv::RawPlugin* glimvane_raw_plugin() {
    return &gv::kPlugin;
}
