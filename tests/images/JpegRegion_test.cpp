// The shortcuts for large JPEGs (the top-left part decoded on its own, the whole at 3 bytes a
// pixel, the image held as its 4:2:0 planes) show exactly the pixels of a full decode.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "images/JpegPlanes.h"
#include "images/JpegRegion.h"

using namespace gv;

namespace {

// Noise over colour gradients: every block differs, and the colour is subsampled.
QImage noisyImage(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = random.bounded(60);
            line[x] = qRgb((x * 255 / size.width() + n) % 256, (y * 255 / size.height()) ^ n,
                           (x + y + n) % 256);
        }
    }
    return img;
}

QByteArray jpegBytes(const QImage& image, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

QImage fullDecode(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "jpeg").read();
}

}  // namespace

TEST(JpegRegion, TheTopLeftPartEqualsTheFullDecode) {
    struct Case {
        QSize image, region;
        bool progressive;
    };
    const Case cases[] = {
        {{1001, 777}, {640, 480}, false},  // edges off every block boundary
        {{1001, 777}, {17, 9}, false},
        {{1001, 777}, {100, 777}, true},  // full height, a band of columns
        {{300, 200}, {800, 600}, false},  // region beyond the image: the whole image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.region.width());
        const QByteArray bytes = jpegBytes(noisyImage(c.image), c.progressive);
        const std::optional<QImage> part = decodeJpegTopLeft(bytes, c.region);
        ASSERT_TRUE(part);
        const QRect expected(QPoint(0, 0), c.region.boundedTo(c.image));
        EXPECT_EQ(*part, fullDecode(bytes).copy(expected).convertToFormat(part->format()));
    }
}

TEST(JpegRegion, FilesItCannotDecodeExactlyAreLeftToTheFullDecoder) {
    const QByteArray colour = jpegBytes(noisyImage({400, 300}), false);
    const QByteArray grey =
        jpegBytes(noisyImage({400, 300}).convertToFormat(QImage::Format_Grayscale8), false);
    EXPECT_FALSE(decodeJpegTopLeft(grey, {100, 100}));
    EXPECT_FALSE(decodeJpegTopLeft(colour.left(colour.size() / 3), {400, 300}));
    EXPECT_FALSE(decodeJpegTopLeft(QByteArray("not a jpeg at all"), {10, 10}));
    EXPECT_FALSE(decodeJpegTopLeft(colour, {0, 0}));
}

TEST(JpegRegion, TheWholeImageAtThreeBytesAPixelHasTheFullDecodersColours) {
    for (const bool progressive : {false, true}) {
        const QByteArray bytes = jpegBytes(noisyImage({1001, 777}), progressive);
        const std::optional<QImage> whole = decodeJpegWhole(bytes);
        ASSERT_TRUE(whole);
        EXPECT_EQ(whole->format(), QImage::Format_RGB888);
        EXPECT_EQ(whole->convertToFormat(QImage::Format_RGB32),
                  fullDecode(bytes).convertToFormat(QImage::Format_RGB32));
        bool damaged = false;
        EXPECT_FALSE(decodeJpegWhole(bytes.left(bytes.size() / 2), nullptr, &damaged));
        EXPECT_TRUE(damaged);
    }
}

TEST(JpegPlanes, AnyRegionAndTheWholeImageHaveTheFullDecodersPixels) {
    struct Case {
        QSize image;
        bool progressive;
    };
    // Odd sizes end inside a colour sample and inside a block; 16 is the smallest taken.
    const Case cases[] = {{{1001, 777}, false},
                          {{1001, 777}, true},
                          {{640, 480}, false},
                          {{33, 17}, true},
                          {{16, 16}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image.width());
        const QByteArray bytes = jpegBytes(noisyImage(c.image), c.progressive);
        const QImage full = fullDecode(bytes).convertToFormat(QImage::Format_RGB32);
        std::unique_ptr<JpegPlanes> planes = JpegPlanes::decode(bytes);
        ASSERT_TRUE(planes);
        EXPECT_EQ(planes->size(), c.image);
        // Half the memory of 3-byte RGB (rows padded to 16 pixels and bands to pages).
        EXPECT_LT(planes->bytes(),
                  (c.image.width() + 16) * (c.image.height() + 16) * 3 / 2 + 65536);
        const QRect rects[] = {QRect(QPoint(0, 0), c.image), QRect(5, 3, 11, 7),
                               QRect(c.image.width() - 9, c.image.height() - 6, 9, 6),
                               QRect(-4, -4, 10, 10)};
        for (const QRect& r : rects) {
            const QRect inside = r.intersected(full.rect());
            EXPECT_EQ(planes->region(r), full.copy(inside)) << r.x() << "," << r.y();
        }
        const QImage rgb = JpegPlanes::toRgb888(planes);
        EXPECT_FALSE(planes);
        EXPECT_EQ(rgb.format(), QImage::Format_RGB888);
        EXPECT_EQ(rgb.convertToFormat(QImage::Format_RGB32), full);
    }
}

TEST(JpegPlanes, OtherJpegsAndDamagedFilesAreLeftToTheOrdinaryDecoder) {
    const QByteArray colour = jpegBytes(noisyImage({400, 300}), false);
    struct Case {
        const char* what;
        QByteArray bytes;
        bool damaged;
    };
    const Case cases[] = {
        {"grey",
         jpegBytes(noisyImage({400, 300}).convertToFormat(QImage::Format_Grayscale8), false),
         false},
        {"cut short", colour.left(colour.size() / 2), true},
        {"too small", jpegBytes(noisyImage({15, 40}), false), false},
        {"not a jpeg", "not a jpeg", false},
    };
    for (const Case& c : cases) {
        bool damaged = !c.damaged;
        EXPECT_FALSE(JpegPlanes::decode(c.bytes, nullptr, &damaged)) << c.what;
        EXPECT_EQ(damaged, c.damaged) << c.what;
    }
}

// Bytes between the last scan and the end marker, a camera quirk, change no pixel: such a file
// keeps the shortcuts (decoded once, held as planes) with the pixels Qt's reader gives it.
TEST(JpegPlanes, PaddingBeforeTheEndMarkerKeepsTheShortcuts) {
    for (const bool progressive : {false, true}) {
        const QByteArray plain = jpegBytes(noisyImage({640, 480}), progressive);
        const QByteArray padded = QByteArray(plain).insert(plain.size() - 2, QByteArray(300, 0));
        const QImage full = fullDecode(padded).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(full, fullDecode(plain).convertToFormat(QImage::Format_RGB32));
        std::unique_ptr<JpegPlanes> planes = JpegPlanes::decode(padded);
        ASSERT_TRUE(planes) << progressive;
        EXPECT_EQ(JpegPlanes::toRgb888(planes).convertToFormat(QImage::Format_RGB32), full);
        const std::optional<QImage> whole = decodeJpegWhole(padded);
        ASSERT_TRUE(whole);
        EXPECT_EQ(whole->convertToFormat(QImage::Format_RGB32), full);
        // Any other damage still goes to the ordinary decoder.
        const QByteArray cut = padded.left(padded.size() * 3 / 4);
        EXPECT_FALSE(JpegPlanes::decode(cut));
    }
}

TEST(JpegPlanes, TheWholeImageCarriesWhatTheFileSaysAboutItselfAsQtsReaderGivesIt) {
    QTemporaryDir dir;
    QImage described = noisyImage({64, 48});
    described.setDotsPerMeterX(5905);
    described.setDotsPerMeterY(3000);
    described.setText(QStringLiteral("Author"), QStringLiteral("Me"));
    described.setText(QStringLiteral("Description"), QStringLiteral("A view: of things"));
    described.setColorSpace(QColorSpace::AdobeRgb);
    // Qt's writer gives a plain image its default resolution, in dots per inch.
    for (const QImage& source : {described, noisyImage({64, 48})}) {
        const QString path = dir.filePath(source.textKeys().isEmpty() ? "plain.jpg" : "said.jpg");
        ASSERT_TRUE(QImageWriter(path, "jpeg").write(source));
        const QImage expected = QImageReader(path).read();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        std::unique_ptr<JpegPlanes> planes = JpegPlanes::decode(bytes);
        ASSERT_TRUE(planes);
        for (const QImage& image : {*decodeJpegWhole(bytes), JpegPlanes::toRgb888(planes)}) {
            EXPECT_EQ(image.dotsPerMeterX(), expected.dotsPerMeterX());
            EXPECT_EQ(image.dotsPerMeterY(), expected.dotsPerMeterY());
            EXPECT_EQ(image.colorSpace(), expected.colorSpace());
            EXPECT_EQ(image.textKeys(), expected.textKeys());
            for (const QString& key : expected.textKeys()) {
                EXPECT_EQ(image.text(key), expected.text(key)) << key.toStdString();
            }
        }
    }
}
