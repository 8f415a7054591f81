#include "support/DecodedPixels.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "images/Decoder.h"

namespace gvtest {

gv::DecodeRequest at96() {
    gv::DecodeRequest request;
    request.dpi = 96;
    request.memoryBudget = qint64(1) << 30;
    return request;
}

QImage decodeToArgb(const QString& path, QString* why) {
    const gv::DecodeResult r = gv::DecodeImageFile(path, at96());
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

void expectPixels(const QImage& image, const QList<QList<QRgb>>& rows, const char* what) {
    ASSERT_EQ(image.size(), QSize(int(rows.first().size()), int(rows.size()))) << what;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            EXPECT_TRUE(sameColour(image.pixel(x, y), rows[y][x]))
                << what << " at " << x << "," << y << ": got " << std::hex << image.pixel(x, y)
                << ", expected " << rows[y][x];
        }
    }
}

}  // namespace gvtest
