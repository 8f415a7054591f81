#pragma once
// The body of the fuzz targets of the phone and web formats: each library's reading of any
// bytes, through our module, gives frames within the memory budget or a reason why not, and
// never a crash.

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/PhotoFormats.h"

extern "C" const gv::PhotoPlugin* glimvane_photo_plugin();

namespace gvfuzz {

inline constexpr qint64 kBudget = 16 << 20;

inline void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

inline int readPhoto(const uint8_t* data, size_t size, gv::PhotoFormat format) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const gv::PhotoRead read = glimvane_photo_plugin()->read(bytes, format, kBudget, nullptr);
    if (!read.ok()) {
        check(!read.why.isEmpty());
        return 0;
    }
    check(!read.tooLarge && read.frames.size() == read.delaysMs.size());
    check(read.orientation >= 1 && read.orientation <= 8);
    qint64 total = 0;
    quint32 sum = 0;
    for (const QImage& frame : read.frames) {
        check(!frame.isNull());
        total += qint64(frame.width()) * frame.height() * 4;
        for (int y = 0; y < frame.height(); ++y) {
            const uchar* line = frame.constScanLine(y);
            for (qsizetype i = 0; i < frame.bytesPerLine(); ++i) {
                sum += line[i];
            }
        }
    }
    check(total <= 2 * kBudget);
    volatile quint32 keep = sum;
    (void)keep;
    return 0;
}

}  // namespace gvfuzz
