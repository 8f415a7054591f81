#include "support/DecodedPixels.h"

#include <cstdlib>

#include "images/Decoder.h"

namespace gvtest {

QImage decodeToArgb(const QString& path, QString* why) {
    gv::DecodeRequest request;
    request.dpi = 96;
    request.memoryBudget = qint64(1) << 30;
    const gv::DecodeResult r = gv::DecodeImageFile(path, request);
    if (!r.ok()) {
        if (why) {
            *why = QString::number(r.error().number) + ' ' + r.error().description;
        }
        return QImage();
    }
    return r.picture().fullRaster().convertToFormat(QImage::Format_ARGB32);
}

bool sameColour(QRgb a, QRgb b, int tolerance) {
    if (qAlpha(a) == 0 && qAlpha(b) == 0) {
        return true;
    }
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance &&
           std::abs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

}  // namespace gvtest
