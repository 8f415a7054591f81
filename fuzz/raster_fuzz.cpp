// libFuzzer target for Glimvane's own raster readers (bitmaps, icons, Targa, PCX, PICT) and
// its use of libpng. The first byte picks the reader, the rest is the file: any bytes give a
// picture within the memory budget, or a reason why not, and never a crash.

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "images/BmpReader.h"
#include "images/IcoReader.h"
#include "images/PcxReader.h"
#include "images/PictReader.h"
#include "images/TgaReader.h"
#include "platform/Png.h"

namespace {

// Larger images only take longer: the decoding is the same.
constexpr qint64 kBudget = 4 << 20;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

gv::RasterRead readPngAsRaster(QByteArrayView bytes) {
    gv::RasterRead r;
    bool tooLarge = false;
    if (std::optional<QImage> image = gv::readPng(bytes, kBudget, &r.why, &tooLarge)) {
        r.image = *image;
    } else {
        r.failure = tooLarge ? gv::RasterFailure::TooLarge : gv::RasterFailure::Invalid;
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const QByteArrayView file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    gv::RasterRead r;
    switch (data[0] % 6) {
        case 0:
            r = gv::readBmp(file, kBudget);
            break;
        case 1:
            r = gv::readIcon(file, kBudget);
            break;
        case 2:
            r = gv::readTga(file, kBudget);
            break;
        case 3:
            r = gv::readPcx(file, kBudget);
            break;
        case 4:
            r = gv::readPict(file, kBudget);
            break;
        default:
            r = readPngAsRaster(file);
            break;
    }
    if (!r.ok()) {
        check(r.image.isNull() && !r.why.isEmpty());
        return 0;
    }
    check(!r.image.isNull() && qint64(r.image.width()) * r.image.height() * 4 <= kBudget);
    // Every pixel is read, so that a row left unwritten shows under the sanitizers' eyes.
    quint32 sum = 0;
    for (int y = 0; y < r.image.height(); ++y) {
        const uchar* line = r.image.constScanLine(y);
        for (qsizetype i = 0; i < r.image.bytesPerLine(); ++i) {
            sum += line[i];
        }
    }
    volatile quint32 keep = sum;
    (void)keep;
    return 0;
}
