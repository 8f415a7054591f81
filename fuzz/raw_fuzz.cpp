// libFuzzer target for the camera raw module: LibRaw parses the file and finds its preview, or
// develops the raw data; our code checks what it hands back. Any bytes give a preview within
// the memory budget, or a reason why not, and never a crash.

#include <QByteArrayView>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/CameraRaw.h"

extern "C" const gv::RawPlugin* glimvane_raw_plugin();

namespace {

constexpr qint64 kBudget = 64 << 20;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // Read as the decoding helper reads a file, in pieces; short ones here, as a file that
    // another program is writing gives them.
    gv::RawSource source;
    source.context = &bytes;
    source.size = bytes.size();
    source.read = [](const void* context, qint64 offset, char* to, qint64 n) -> qint64 {
        const auto* in = static_cast<const QByteArrayView*>(context);
        check(offset >= 0 && n > 0 && offset + n <= in->size());
        n = std::min<qint64>(n, 4093);
        std::memcpy(to, in->data() + offset, std::size_t(n));
        return n;
    };
    QString why;
    bool tooLarge = false;
    const std::optional<gv::RawPreview> preview =
        glimvane_raw_plugin()->read(source, kBudget, &why, &tooLarge);
    if (!preview) {
        check(!why.isEmpty());
        return 0;
    }
    check(preview->orientation >= 1 && preview->orientation <= 8);
    check(!preview->jpeg.isEmpty() || !preview->raster.isNull());
    if (!preview->jpeg.isEmpty()) {
        check(uchar(preview->jpeg[0]) == 0xFF && uchar(preview->jpeg[1]) == 0xD8);
    }
    return 0;
}
