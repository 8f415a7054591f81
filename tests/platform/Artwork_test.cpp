#include <gtest/gtest.h>

#include <QtEndian>

#include "platform/Artwork.h"

using namespace gv;

namespace {

QByteArray header(quint32 width, quint32 height) {
    QByteArray bytes(8, '\0');
    qToBigEndian(width, bytes.data());
    qToBigEndian(height, bytes.data() + 4);
    return bytes;
}

QByteArray run(quint16 count, quint32 pixel) {
    QByteArray bytes(6, '\0');
    qToLittleEndian(count, bytes.data());
    qToLittleEndian(pixel, bytes.data() + 2);
    return bytes;
}

}  // namespace

TEST(BuiltInBitmaps, RunsFillThePictureRowAfterRow) {
    // A 3 x 2 picture: one run across the end of the first row, and one pixel alone.
    const QImage image = decodePixelRuns(header(3, 2) + run(2, 0xff102030) + run(3, 0x80404040) +
                                         run(1, 0x00000000));
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    const QList<QList<QRgb>> expected = {{0xff102030, 0xff102030, 0x80404040},
                                         {0x80404040, 0x80404040, 0x00000000}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(image.pixel(x, y), expected[y][x]) << x << "," << y;
        }
    }
}

TEST(BuiltInBitmaps, DataThatDoesNotCoverThePictureExactlyGivesNoImage) {
    const QList<QPair<const char*, QByteArray>> cases = {
        {"too short for a size", header(1, 1).left(7)},
        {"no width", header(0, 1) + run(1, 1)},
        {"too tall", header(1, 4097) + run(4097, 1)},
        {"runs fall short", header(2, 2) + run(3, 1)},
        {"runs run over", header(2, 2) + run(3, 1) + run(2, 1)},
        {"a run of nothing", header(1, 1) + run(0, 1) + run(1, 1)},
        {"a cut-off run", header(1, 1) + run(1, 1) + run(1, 1).left(3)},
    };
    for (const auto& [what, data] : cases) {
        EXPECT_TRUE(decodePixelRuns(data).isNull()) << what;
    }
}

TEST(BuiltInBitmaps, EveryBuiltInPictureIsReadWhole) {
    const QList<QPair<const char*, QPixmap>> pictures = {
        {"splash", splashPicture()}, {"logo", logoBitmap()}, {"toolbar logo", toolbarLogo()}};
    for (const auto& [what, pixmap] : pictures) {
        ASSERT_FALSE(pixmap.isNull()) << what;
        // Neither blank nor one colour: the picture's pixels came through.
        const QImage image = pixmap.toImage();
        const QRgb corner = image.pixel(0, 0);
        bool varied = false;
        for (int y = 0; y < image.height() && !varied; ++y) {
            for (int x = 0; x < image.width() && !varied; ++x) {
                varied = image.pixel(x, y) != corner;
            }
        }
        EXPECT_TRUE(varied) << what;
    }
    EXPECT_EQ(splashPicture().size(), QSize(420, 240));
    EXPECT_EQ(logoBitmap().size(), QSize(420, 200));
    EXPECT_FALSE(applicationIcon().pixmap(64, 64).isNull());
}

TEST(BuiltInBitmaps, TheStoredSizeNearestTheScreensRatioIsRead) {
    // 1.5 takes the larger: scaled down, a picture keeps its edges; scaled up, it blurs.
    const QList<QPair<qreal, int>> cases = {{1.0, 1}, {1.25, 1}, {1.49, 1},
                                            {1.5, 2}, {2.0, 2},  {3.0, 2}};
    for (const auto& [ratio, scale] : cases) {
        EXPECT_EQ(builtInPictureScale(ratio), scale) << ratio;
    }
    // On this screen at 100 %, the 1x pictures, made for one device pixel per unit.
    EXPECT_EQ(logoBitmap().devicePixelRatio(), 1.0);
}
