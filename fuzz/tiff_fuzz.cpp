// libFuzzer target for the TIFF module: libtiff reads the file, our code turns its samples
// into pixels. Any bytes give a picture within the memory budget, or a reason why not, and
// never a crash.

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/Tiff.h"

extern "C" const gv::TiffPlugin* glimvane_tiff_plugin();

namespace {

constexpr qint64 kBudget = 4 << 20;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// As the decoding helper gives rasters: in memory the image does not own.
QImage outsideRaster(int width, int height, QImage::Format format) {
    const qsizetype bytesPerLine =
        (qsizetype(width) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
    void* memory = std::malloc(std::size_t(bytesPerLine) * std::size_t(height));
    if (!memory) {
        return QImage();
    }
    return QImage(static_cast<uchar*>(memory), width, height, bytesPerLine, format, std::free,
                  memory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString why;
    bool tooLarge = false;
    const std::optional<QImage> image =
        glimvane_tiff_plugin()->read(bytes, kBudget, &why, &tooLarge, &outsideRaster);
    if (!image) {
        check(!why.isEmpty());
        return 0;
    }
    check(!tooLarge && !image->isNull() && qint64(image->width()) * image->height() * 4 <= kBudget);
    quint32 sum = 0;
    for (int y = 0; y < image->height(); ++y) {
        const uchar* line = image->constScanLine(y);
        for (qsizetype i = 0; i < image->bytesPerLine(); ++i) {
            sum += line[i];
        }
    }
    volatile quint32 keep = sum;
    (void)keep;
    return 0;
}
