// libFuzzer target for the EPS layout parser and the bounding-box reader: any bytes must give
// a layout whose sections lie inside the input, or no layout, and never a crash.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "images/EpsPreview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto layout =
        gv::parseEpsLayout(bytes.first(std::min<qsizetype>(bytes.size(), 30)), bytes.size());
    if (layout) {
        for (const gv::EpsSection& s : {layout->postscript, layout->wmf, layout->tiff}) {
            if (s.present() && (s.offset < 0 || s.offset + s.length > bytes.size())) {
                std::abort();
            }
        }
        if (layout->postscript.present()) {
            const auto box = gv::epsBoundingBox(
                bytes.sliced(layout->postscript.offset, layout->postscript.length));
            if (box && (box->width() <= 0 || box->height() <= 0)) {
                std::abort();
            }
        }
    }
    gv::epsBoundingBox(bytes);
    return 0;
}
