// libFuzzer target for the tips file reader: any bytes give tips of one line each, none
// longer than the limit and its ellipsis, and no more tips than the bytes have lines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tips/TipsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const gv::TipsRead read = gv::parseTips(bytes);
    if (read.status == gv::TipsRead::Status::NotText) {
        if (!read.tips.isEmpty()) {
            std::abort();
        }
        return 0;
    }
    if (read.status != gv::TipsRead::Status::Ok || read.tips.size() > qsizetype(size)) {
        std::abort();
    }
    for (const QString& tip : read.tips) {
        if (tip.size() > gv::kMaxTipChars + 1 || tip.contains(u'\n') || tip.contains(u'\r') ||
            tip.contains(QChar(0))) {
            std::abort();
        }
    }
    return 0;
}
