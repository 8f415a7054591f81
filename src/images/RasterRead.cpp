#include "images/RasterRead.h"

namespace gv {

RasterRead rasterInvalid(const char* why) {
    RasterRead r;
    r.failure = RasterFailure::Invalid;
    r.why = QString::fromLatin1(why);
    return r;
}

RasterRead rasterTooLarge() {
    RasterRead r;
    r.failure = RasterFailure::TooLarge;
    r.why = QStringLiteral("Out of memory");
    return r;
}

bool rasterExceedsBudget(qint64 width, qint64 height, qint64 budget) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    return width > budget / 4 / height;
}

namespace {
RasterAllocator g_allocator = nullptr;
}  // namespace

void setRasterAllocator(RasterAllocator allocator) {
    g_allocator = allocator;
}

QImage newRaster(int width, int height, QImage::Format format) {
    return g_allocator ? g_allocator(width, height, format) : QImage(width, height, format);
}

namespace {

RasterRead allocateWith(RasterAllocator allocator, qint64 width, qint64 height,
                        QImage::Format format, qint64 budget) {
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
        return rasterInvalid("image without a valid size");
    }
    if (rasterExceedsBudget(width, height, budget)) {
        return rasterTooLarge();
    }
    RasterRead r;
    r.image = allocator ? allocator(int(width), int(height), format)
                        : QImage(static_cast<int>(width), static_cast<int>(height), format);
    if (r.image.isNull()) {
        return rasterTooLarge();
    }
    return r;
}

}  // namespace

RasterRead allocateRaster(qint64 width, qint64 height, QImage::Format format, qint64 budget) {
    return allocateWith(g_allocator, width, height, format, budget);
}

RasterRead allocateWorkRaster(qint64 width, qint64 height, QImage::Format format, qint64 budget) {
    return allocateWith(nullptr, width, height, format, budget);
}

bool opaqueWhenAlphaUnused(QImage& image) {
    if (image.format() != QImage::Format_ARGB32) {
        return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) != 0) {
                return false;
            }
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            row[x] |= 0xFF000000u;
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return true;
}

}  // namespace gv
