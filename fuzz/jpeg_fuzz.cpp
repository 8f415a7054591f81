// libFuzzer target for Glimvane's own JPEG decoding (the size from the header, the top-left
// part, the whole at 3 bytes a pixel, the 4:2:0 planes and the parts made from them): any
// bytes give pictures of the size the header declared, or none, and never a crash.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "images/JpegPlanes.h"
#include "images/JpegRegion.h"

namespace {

// Larger images only take longer: the decoding is the same.
constexpr qint64 kMostPixels = 1 << 20;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QSize> declared = gv::colourJpegSize(bytes);
    if (!declared || qint64(declared->width()) * declared->height() > kMostPixels) {
        return 0;
    }
    if (const auto part = gv::decodeJpegTopLeft(bytes, QSize(40, 24))) {
        check(part->size() == QSize(40, 24).boundedTo(*declared));
    }
    if (const auto whole = gv::decodeJpegWhole(bytes)) {
        check(whole->size() == *declared);
    }
    if (std::unique_ptr<gv::JpegPlanes> planes = gv::JpegPlanes::decode(bytes)) {
        check(planes->size() == *declared);
        const QRect inside(QPoint(0, 0), *declared);
        for (const QRect& r : {QRect(3, 5, 17, 9), QRect(-8, -8, 1 << 20, 1 << 20)}) {
            check(planes->region(r).size() == r.intersected(inside).size());
        }
        check(gv::JpegPlanes::toRgb888(planes).size() == *declared && !planes);
    }
    return 0;
}
