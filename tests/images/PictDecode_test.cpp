#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"
#include "support/RasterFiles.h"

using namespace gvtest;

namespace {

const QSize kSize(24, 16);

QByteArray beBytes(std::initializer_list<int> words) {
    QByteArray out;
    for (int w : words) {
        out.append(char(w >> 8)).append(char(w & 0xFF));
    }
    return out;
}

}  // namespace

TEST(PictDecode, PackedDirectAndQuickTimePicturesDrawAsWritten) {
    const QImage image = quadrantImage(kSize);
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    // Opcodes that draw nothing come first and are read past: a clip region, a pen size, a
    // framed rectangle, a comment.
    const QList<QByteArray> preamble = {beBytes({0x0001, 10, 0, 0, kSize.height(), kSize.width()}),
                                        beBytes({0x0007, 1, 1}), beBytes({0x0030, 2, 2, 8, 8}),
                                        beBytes({0x00A1, 100, 3}) + "abc"};
    struct Case {
        const char* name;
        QList<QByteArray> opcodes;
        int tolerance;
    };
    const Case cases[] = {
        {"packbits8", preamble + QList<QByteArray>{pictPackBitsRect(indexed)}, 0},
        {"direct16", {pictDirectBitsRect(image, 16)}, 8},
        {"direct32", {pictDirectBitsRect(image, 32, 3)}, 0},
        {"direct32planes4", {pictDirectBitsRect(image, 32, 4)}, 0},
        {"quicktimejpeg", preamble + QList<QByteArray>{pictQuickTimeJpeg(image)}, 24},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString(c.name) + ".pct");
        ASSERT_TRUE(writeBytes(path, pictBytes(kSize, c.opcodes)));
        QString why;
        const QImage decoded = decodeToArgb(path, &why);
        ASSERT_EQ(decoded.size(), kSize) << c.name << ": " << why.toStdString();
        const auto centres = quadrantCentres(kSize);
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(
                sameColour(decoded.pixel(centres[i]), kQuadrantColours[i].rgb(), c.tolerance))
                << c.name << " quadrant " << i << ": " << std::hex << decoded.pixel(centres[i]);
        }
    }
}
