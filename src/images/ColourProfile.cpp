#include "images/ColourProfile.h"

#include <lcms2.h>

#include <QColorSpace>
#include <QtGlobal>
#include <memory>
#include <mutex>
#include <thread>

namespace gv {
namespace {

std::mutex g_displayMutex;
QByteArray g_display;

// From this many pixels on, the conversion is split between two threads: a large photograph
// is converted in about half the time on the worker that decodes it.
constexpr qint64 kSplitFromPixels = 2'000'000;

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

Profile openProfile(const QByteArray& icc) {
    if (icc.isEmpty()) {
        return Profile(cmsCreate_sRGBProfile());
    }
    return Profile(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kPixel32 = TYPE_BGRA_8;
#else
constexpr cmsUInt32Number kPixel32 = TYPE_ARGB_8;
#endif

// The lcms2 layout of an image's pixels as they are, or 0 when they are first to be brought
// into an 8-bit format lcms2 reads: premultiplied colours are not those the profile describes,
// and deeper formats are shown at 8 bits anyway.
cmsUInt32Number layoutOf(QImage::Format format) {
    switch (format) {
        case QImage::Format_RGB888:
            return TYPE_RGB_8;
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
            return kPixel32;
        case QImage::Format_RGBX8888:
        case QImage::Format_RGBA8888:
            return TYPE_RGBA_8;
        default:
            return 0;
    }
}

void transformRows(void* transform, uchar* bits, qsizetype stride, int width, int first, int last) {
    uchar* rows = bits + stride * first;
    cmsDoTransformLineStride(transform, rows, rows, cmsUInt32Number(width),
                             cmsUInt32Number(last - first), cmsUInt32Number(stride),
                             cmsUInt32Number(stride), 0, 0);
}

// Converts in place, sharing the rows between two threads for a large image.
void transformImage(void* transform, QImage& image) {
    uchar* bits = image.bits();  // detached here, once, before any thread writes
    const qsizetype stride = image.bytesPerLine();
    const int width = image.width();
    const int rows = image.height();
    if (qint64(width) * rows < kSplitFromPixels) {
        transformRows(transform, bits, stride, width, 0, rows);
        return;
    }
    // Both halves share the transform, which NOCACHE keeps free of state.
    std::thread other([&] { transformRows(transform, bits, stride, width, 0, rows / 2); });
    transformRows(transform, bits, stride, width, rows / 2, rows);
    other.join();
}

QImage greyToColour(void* transform, const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    QImage out(grey.size(), QImage::Format_RGB32);
    if (out.isNull()) {
        return out;
    }
    cmsDoTransformLineStride(transform, grey.constBits(), out.bits(), cmsUInt32Number(out.width()),
                             cmsUInt32Number(out.height()), cmsUInt32Number(grey.bytesPerLine()),
                             cmsUInt32Number(out.bytesPerLine()), 0, 0);
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    for (const QString& key : image.textKeys()) {
        out.setText(key, image.text(key));
    }
    return out;
}

}  // namespace

void setDisplayProfile(QByteArray icc) {
    std::lock_guard lock(g_displayMutex);
    g_display = std::move(icc);
}

QByteArray displayProfile() {
    std::lock_guard lock(g_displayMutex);
    return g_display;
}

bool isSrgbProfile(const QByteArray& icc) {
    return icc.isEmpty() || QColorSpace::fromIccProfile(icc) == QColorSpace(QColorSpace::SRgb);
}

bool convertColours(QImage& image, const QByteArray& from, const QByteArray& to) {
    if (image.isNull() || from == to || (isSrgbProfile(from) && isSrgbProfile(to))) {
        return false;
    }
    Profile source = openProfile(from);
    if (!source) {
        // A damaged profile says nothing: the pixels are taken as those of an untagged file.
        if (isSrgbProfile(to)) {
            return false;
        }
        source = openProfile({});
    }
    const Profile target = openProfile(to);
    if (!source || !target || cmsGetColorSpace(target.get()) != cmsSigRgbData ||
        cmsGetDeviceClass(target.get()) == cmsSigLinkClass) {
        return false;
    }
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    const bool grey = space == cmsSigGrayData;
    // CMYK, Lab and the like describe data the raster no longer holds; a grey profile only
    // describes a grey raster.
    if ((space != cmsSigRgbData && !grey) || (grey && !image.isGrayscale())) {
        return false;
    }
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA;
    const cmsUInt32Number layout = layoutOf(image.format());
    const cmsUInt32Number input = grey ? TYPE_GRAY_8 : layout ? layout : kPixel32;
    const cmsUInt32Number output = grey ? kPixel32 : input;
    const Transform t(
        cmsCreateTransform(source.get(), input, target.get(), output, INTENT_PERCEPTUAL, flags));
    if (!t) {
        return false;
    }
    if (grey) {
        QImage colour = greyToColour(t.get(), image);
        if (colour.isNull()) {
            return false;
        }
        image = std::move(colour);
    } else if (image.format() == QImage::Format_Indexed8) {
        QList<QRgb> table = image.colorTable();
        cmsDoTransform(t.get(), table.data(), table.data(), cmsUInt32Number(table.size()));
        image.setColorTable(table);
    } else {
        if (!layout) {
            image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        }
        transformImage(t.get(), image);
    }
    image.setColorSpace(to.isEmpty() ? QColorSpace(QColorSpace::SRgb)
                                     : QColorSpace::fromIccProfile(to));
    return true;
}

}  // namespace gv
