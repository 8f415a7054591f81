// Photographs as cameras write them: turned by their Exif orientation, and in the colours of
// their embedded profile converted to the display's. The files are made here, their metadata
// written by exiftool; colours are compared with lcms2's own transform.

#include <gtest/gtest.h>

#include <lcms2.h>

#include <QTemporaryDir>

#include "images/DecodeCost.h"
#include "images/Decoder.h"
#include "images/EmbeddedMetadata.h"
#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"

using namespace gv;
using namespace gvtest;

namespace {

// Which stored quadrant (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right) each of the
// upright picture's quadrants shows, in the same order, for orientations 1 to 8.
constexpr int kShownQuadrants[9][4] = {{},           {0, 1, 2, 3}, {1, 0, 3, 2},
                                       {3, 2, 1, 0}, {2, 3, 0, 1}, {0, 2, 1, 3},
                                       {2, 0, 3, 1}, {3, 1, 2, 0}, {1, 3, 0, 2}};

// Quadrants with a little noise, so that a part taken from the wrong place differs.
QImage photo(QSize size) {
    QImage image = quadrantImage(size);
    const QImage noise = noisyImage(size, 5);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            const int n = qGray(noise.pixel(x, y)) / 32 - 4;
            image.setPixel(x, y,
                           qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255),
                                qBound(0, qBlue(c) + n, 255)));
        }
    }
    return image;
}

void expectUpright(const QImage& image, QSize stored, int orientation, const char* what) {
    SCOPED_TRACE(std::string(what) + " orientation " + std::to_string(orientation));
    const QSize shown = orientation >= 5 ? stored.transposed() : stored;
    ASSERT_EQ(image.size(), shown);
    const auto centres = quadrantCentres(shown);
    for (int q = 0; q < 4; ++q) {
        const QRgb expected = kQuadrantColours[size_t(kShownQuadrants[orientation][q])].rgb();
        EXPECT_TRUE(sameColour(image.pixel(centres[size_t(q)]), expected, 24))
            << "quadrant " << q << std::hex << ": " << image.pixel(centres[size_t(q)]) << " for "
            << expected;
    }
}

QByteArray savedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// An RGB profile of the given primaries, D65 white and a 2.2 tone curve: Adobe RGB's and
// Display P3's primaries make colours visibly different from sRGB.
QByteArray rgbProfile(cmsCIExyY red, cmsCIExyY green, cmsCIExyY blue) {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries{red, green, blue};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const QByteArray bytes = savedProfile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

QByteArray adobeLike() {
    return rgbProfile({0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1});
}

QByteArray p3Like() {
    return rgbProfile({0.68, 0.32, 1}, {0.265, 0.69, 1}, {0.15, 0.06, 1});
}

// What lcms2 itself makes of the pixels going from one profile to the other (empty: sRGB).
QImage lcmsTransform(const QImage& source, const QByteArray& from, const QByteArray& to) {
    const auto open = [](const QByteArray& icc) {
        return icc.isEmpty() ? cmsCreate_sRGBProfile()
                             : cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
    };
    QImage image = source.convertToFormat(QImage::Format_RGB888);
    cmsHPROFILE in = open(from);
    cmsHPROFILE out = open(to);
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_8, out, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    for (int y = 0; y < image.height(); ++y) {
        cmsDoTransform(t, image.scanLine(y), image.scanLine(y), cmsUInt32Number(image.width()));
    }
    cmsDeleteTransform(t);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    return image;
}

}  // namespace

// Every orientation, through each way a JPEG is decoded (whole, the upright corner first, a
// reduced preview for Best Fit) and through libtiff in the decoding helper.
TEST(Photos, EachExifOrientationIsShownUpright) {
    QTemporaryDir dir;
    const QSize stored(96, 64);
    const QImage original = photo(stored);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString jpeg = dir.filePath(QStringLiteral("o%1.jpg").arg(orientation));
        ASSERT_TRUE(writeJpeg(jpeg, original, 95));
        ASSERT_TRUE(setExifOrientation(jpeg, orientation));

        const DecodeResult whole = DecodeImageFile(jpeg);
        ASSERT_TRUE(whole.ok());
        expectUpright(whole.picture().raster(), stored, orientation, "whole");
        EXPECT_EQ(whole.picture().sizePixels(), whole.picture().raster().size());

        DecodeRequest firstCorner;
        firstCorner.firstRegion = QSize(40, 30);
        const DecodeResult part = DecodeImageFile(jpeg, firstCorner);
        ASSERT_TRUE(part.ok());
        const QImage corner = part.picture().topLeftPart();
        ASSERT_EQ(corner.size(), QSize(40, 30)) << orientation;
        expectUpright(part.picture().raster(), stored, orientation, "rest");
        // The part shown first is the upright picture's own corner, pixel for pixel.
        EXPECT_EQ(corner.convertToFormat(QImage::Format_RGB32),
                  part.picture().raster().copy(0, 0, 40, 30).convertToFormat(QImage::Format_RGB32))
            << orientation;

        DecodeRequest bestFit;
        bestFit.fitInto = QSize(30, 30);
        const DecodeResult fitted = DecodeImageFile(jpeg, bestFit);
        ASSERT_TRUE(fitted.ok());
        EXPECT_TRUE(fitted.picture().holdsPreview());
        expectUpright(fitted.picture().fullRaster(), stored, orientation, "best fit");
        EXPECT_EQ(orientation >= 5,
                  fitted.picture().raster().height() > fitted.picture().raster().width());
    }
    for (const int orientation : {3, 6, 7}) {
        const QString tiff = dir.filePath(QStringLiteral("o%1.tif").arg(orientation));
        ASSERT_TRUE(writeTiff(tiff, original));
        ASSERT_TRUE(setExifOrientation(tiff, orientation));
        const DecodeResult result = DecodeImageFile(tiff);
        ASSERT_TRUE(result.ok()) << result.error().description.toStdString();
        expectUpright(result.picture().raster(), stored, orientation, "tiff");
    }
}

// A photo taken on its side is costed and fitted as shown: its declared size is the upright
// one, and turning it takes one more raster.
TEST(Photos, TheCostOfATurnedPhotoIsThatOfItsUprightSize) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("side.jpg"));
    ASSERT_TRUE(writeJpeg(path, photo({400, 200})));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray upright = f.readAll();
    ASSERT_TRUE(setExifOrientation(path, 6));
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray turned = f.readAll();
    const TypeKeyInfo& info = *typeKeyInfo(QStringLiteral("jpg"));
    const DecodeCost plain = decodeCost(upright, upright.size(), info, {});
    const DecodeCost side = decodeCost(turned, turned.size(), info, {});
    EXPECT_EQ(plain.declared, QSize(400, 200));
    EXPECT_EQ(side.declared, QSize(200, 400));
    EXPECT_GT(side.bytes - turned.size(), plain.bytes - upright.size() + 400 * 200 * 3);
    // Fitted into a tall box, the turned photo needs no reduction the plain one would.
    EXPECT_GT(decodeCost(turned, turned.size(), info, {200, 400}).bytes,
              decodeCost(upright, upright.size(), info, {200, 400}).bytes);
}

// Each format's way of embedding a profile, to an sRGB display and to a wide-gamut one; an
// untagged file is sRGB; a damaged profile leaves the pixels as they are.
TEST(Photos, EmbeddedProfilesAreShownInTheDisplaysColours) {
    QTemporaryDir dir;
    QImage pattern(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y) {
        for (int x = 0; x < pattern.width(); ++x) {
            pattern.setPixel(x, y, qRgb(x * 5, 255 - y * 7, (x * y) % 256));
        }
    }
    const QByteArray adobe = adobeLike();
    QByteArray damaged = adobe;
    damaged[129] = char(0x7F);  // a tag count no profile has
    struct Case {
        const char* format;
        QByteArray file;     // the profile embedded; empty for none
        QByteArray display;  // empty for sRGB
        bool converted;      // whether lcms2 converts from `file`, or leaves the pixels alone
    };
    const Case cases[] = {
        {"png", adobe, {}, true},
        {"jpg", adobe, {}, true},
        {"tif", adobe, {}, true},
        {"png", adobe, p3Like(), true},
        {"png", {}, p3Like(), true},
        {"tif", {}, p3Like(), true},
        {"png", {}, {}, false},
        {"jpg", damaged, {}, false},
        {"png", damaged, p3Like(), false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " case " + std::to_string(n));
        const QString path = dir.filePath(QStringLiteral("p%1.").arg(n++) + c.format);
        const bool jpeg = QByteArray(c.format) == "jpg";
        ASSERT_TRUE(
            jpeg ? writeJpeg(path, pattern, 95)
                 : writeWithQt(path, pattern, c.format == QByteArray("png") ? "png" : "tiff"));
        // What the file holds before it says anything about its colours.
        const QImage stored = jpeg ? decodeToArgb(path) : pattern;
        if (!c.file.isEmpty()) {
            ASSERT_TRUE(embedIccProfile(path, c.file));
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            ASSERT_EQ(readEmbeddedMetadata(f.readAll()).iccProfile, c.file);
        }
        DecodeRequest request;
        request.displayProfile = c.display;
        const DecodeResult result = DecodeImageFile(path, request);
        ASSERT_TRUE(result.ok()) << result.error().description.toStdString();
        const QImage shown = result.picture().raster().convertToFormat(QImage::Format_RGB32);
        // A damaged profile shows the pixels as stored, converted only as sRGB ones would be.
        const QImage expected =
            lcmsTransform(stored, c.converted ? c.file : QByteArray(), c.display)
                .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), expected.size());
        int worst = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = shown.pixel(x, y);
                const QRgb b = expected.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)),
                                  std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            }
        }
        EXPECT_LE(worst, 1);
        if (c.converted) {
            // The conversion made a visible difference, so the comparison above means something.
            EXPECT_NE(expected, stored.convertToFormat(QImage::Format_RGB32));
        }
    }
}
