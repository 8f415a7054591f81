// Photographs as cameras write them: turned by their Exif orientation, and in the colours of
// their embedded profile converted to the display's. The files are made here, their metadata
// written by exiftool; colours are compared with lcms2's own transform.

#include <gtest/gtest.h>

#include <lcms2.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "images/DecodeCost.h"
#include "images/Decoder.h"
#include "images/EmbeddedMetadata.h"
#include "images/HeaderSize.h"
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

// ---- WebP, AVIF, HEIF and JPEG XL, made and decoded by each format's own tools --------------

namespace {

bool run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Each format's encoder (lossless where the format allows, so that pixels compare exactly) and
// reference decoder to PNG; scripts/install-deps installs them.
struct FormatTools {
    const char* extension;
    QStringList encoder;  // the program and its options, before "in out"
    QStringList decoder;
    QStringList lossy;
};
const FormatTools kFormats[] = {
    {"webp", {"cwebp", "-quiet", "-lossless", "-exact", "-metadata", "icc"}, {"dwebp", "-quiet"},
     {"cwebp", "-quiet", "-q", "70"}},
    {"avif", {"avifenc", "-l"}, {"avifdec"}, {"avifenc", "--min", "20", "--max", "30"}},
    {"heic", {"heif-enc", "-L", "-p", "chroma=444"}, {"heif-convert"}, {"heif-enc", "-q", "60"}},
    {"jxl", {"cjxl", "-d", "0"}, {"djxl"}, {"cjxl", "-d", "2"}},
};

// Runs `tool` (program first) from `in` to `out`, as each tool names its output.
bool convert(QStringList tool, const QString& in, const QString& out) {
    const QString program = tool.takeFirst();
    const bool namesOutput = program == "cwebp" || program == "dwebp" || program == "heif-enc";
    return run(program, tool + (namesOutput ? QStringList{in, "-o", out} : QStringList{in, out}));
}

bool toolsMissing(std::string* which) {
    for (const char* tool : {"cwebp", "dwebp", "img2webp", "avifenc", "avifdec", "heif-enc",
                             "heif-convert", "cjxl", "djxl", "exiftool"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            *which = std::string(tool) + " is not installed (scripts/install-deps installs it)";
            return true;
        }
    }
    return false;
}

#define SKIP_WITHOUT_FORMAT_TOOLS()                 \
    do {                                            \
        std::string missing;                        \
        if (toolsMissing(&missing)) {               \
            GTEST_SKIP() << missing;                \
        }                                           \
    } while (false)

int worstDifference(const QImage& a, const QImage& b) {
    int worst = a.size() == b.size() ? 0 : 256;
    for (int y = 0; y < a.height() && worst < 256; ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return worst;
}

}  // namespace

// Lossless and lossy files of each format show the pixels the format's reference decoder makes
// of them; the header's size is the encoder's; a damaged file is an invalid picture.
TEST(Photos, NewFormatsShowTheirReferenceDecodersPixels) {
    SKIP_WITHOUT_FORMAT_TOOLS();
    QTemporaryDir dir;
    const QImage original = photo({97, 61});  // odd sizes, for chroma subsampling's edges
    const QString png = dir.filePath("original.png");
    ASSERT_TRUE(writePng(png, original));
    for (const FormatTools& f : kFormats) {
        for (const bool lossless : {true, false}) {
            SCOPED_TRACE(std::string(f.extension) + (lossless ? " lossless" : " lossy"));
            const QString file = dir.filePath(QString("p%1.").arg(lossless) + f.extension);
            const QString reference = dir.filePath(QString("ref%1%2.png").arg(lossless).arg(f.extension));
            ASSERT_TRUE(convert(lossless ? f.encoder : f.lossy, png, file));
            ASSERT_TRUE(convert(f.decoder, file, reference));
            QString why;
            const QImage shown = decodeToArgb(file, &why);
            ASSERT_FALSE(shown.isNull()) << why.toStdString();
            EXPECT_LE(worstDifference(shown, QImage(reference).convertToFormat(QImage::Format_ARGB32)),
                      lossless ? 0 : 1);
            if (lossless) {
                // x265's lossless mode still goes through YCbCr.
                EXPECT_LE(worstDifference(shown, original.convertToFormat(QImage::Format_ARGB32)),
                          QByteArray(f.extension) == "heic" ? 1 : 0);
            }
            QFile in(file);
            ASSERT_TRUE(in.open(QIODevice::ReadOnly));
            const QByteArray bytes = in.readAll();
            // HEVC codes whole blocks: a HEIC declares those, and crops them when shown.
            const std::optional<QSize> declared =
                declaredImageSize(bytes.left(kHeaderPeekBytes), typeKey(file));
            ASSERT_TRUE(declared);
            EXPECT_EQ(*declared, QByteArray(f.extension) == "heic" ? QSize(98, 64) : original.size());
            // Cut short, or damaged past its header: the loader's own message, never a crash.
            const QString cut = dir.filePath(QString("cut.") + f.extension);
            for (const qsizetype keep : {bytes.size() / 2, qsizetype(40)}) {
                ASSERT_TRUE(writeBytes(cut, bytes.left(keep)));
                EXPECT_EQ(DecodeImageFile(cut).error().number, kErrInvalidPicture) << keep;
            }
            QByteArray damaged = bytes;
            for (qsizetype i = bytes.size() / 3; i < bytes.size(); i += 7) {
                damaged[i] = char(~damaged[i]);
            }
            ASSERT_TRUE(writeBytes(cut, damaged));
            const DecodeResult result = DecodeImageFile(cut);
            EXPECT_TRUE(result.ok() || result.error().number == kErrInvalidPicture);
        }
    }
}

// HEVC pictures are decoded by Glimvane's own use of libde265 (on several threads), heif-convert
// by libheif's: the two agree on every chroma layout and depth x265 writes, grey included.
TEST(Photos, HeicOfEachChromaAndDepthShowsHeifConvertsPixels) {
    SKIP_WITHOUT_FORMAT_TOOLS();
    QTemporaryDir dir;
    const QImage colour = photo({97, 61});
    const QString png = dir.filePath("colour.png");
    const QString deep = dir.filePath("deep.png");
    const QString grey = dir.filePath("grey.png");
    ASSERT_TRUE(writePng(png, colour));
    ASSERT_TRUE(colour.convertToFormat(QImage::Format_RGBA64).save(deep));
    ASSERT_TRUE(writePng(grey, colour.convertToFormat(QImage::Format_Grayscale8)));
    const struct {
        const char* name;
        QString source;
        QStringList options;
    } kinds[] = {{"420", png, {"-q", "70"}},
                 {"422", png, {"-q", "70", "-p", "chroma=422"}},
                 {"444", png, {"-q", "70", "-p", "chroma=444"}},
                 {"10 bit", deep, {"-q", "70", "-b", "10"}},
                 {"grey", grey, {"-q", "70"}}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const QString heic = dir.filePath(QString("%1.heic").arg(kind.name));
        const QString reference = dir.filePath(QString("%1.png").arg(kind.name));
        ASSERT_TRUE(run("heif-enc", kind.options + QStringList{kind.source, "-o", heic}));
        ASSERT_TRUE(run("heif-convert", {heic, reference}));
        QString why;
        const QImage shown = decodeToArgb(heic, &why);
        ASSERT_FALSE(shown.isNull()) << why.toStdString();
        EXPECT_LE(worstDifference(shown, QImage(reference).convertToFormat(QImage::Format_ARGB32)),
                  1);
        if (QByteArray(kind.name) == "grey") {
            EXPECT_TRUE(shown.allGray());
        }
    }
}

// Each way these formats say how a picture is turned: Exif in a WebP, irot and imir in AVIF and
// HEIF (one container; libheif reads AV1 too), the codestream's orientation in JPEG XL (which
// cjxl takes from a JPEG's Exif). Each is applied once.
TEST(Photos, NewFormatsAreShownUprightInEachOrientation) {
    SKIP_WITHOUT_FORMAT_TOOLS();
    QTemporaryDir dir;
    const QSize stored(96, 64);
    const QString png = dir.filePath("stored.png");
    const QString jpeg = dir.filePath("stored.jpg");
    ASSERT_TRUE(writePng(png, photo(stored)));
    // irot (quarter turns anticlockwise) and imir (0 top and bottom, 1 left and right) as HEIF
    // defines them, for Exif's orientations 1 to 8.
    const QStringList transforms[9] = {{},
                                       {},
                                       {"--imir", "1"},
                                       {"--irot", "2"},
                                       {"--imir", "0"},
                                       {"--irot", "1", "--imir", "0"},
                                       {"--irot", "3"},
                                       {"--irot", "1", "--imir", "1"},
                                       {"--irot", "1"}};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString webp = dir.filePath(QString("o%1.webp").arg(orientation));
        ASSERT_TRUE(convert(kFormats[0].encoder, png, webp));
        ASSERT_TRUE(setExifOrientation(webp, orientation));
        const QString avif = dir.filePath(QString("o%1.avif").arg(orientation));
        ASSERT_TRUE(run("avifenc", transforms[orientation] + QStringList{"-l", png, avif}));
        const QString heif = dir.filePath(QString("o%1.heif").arg(orientation));
        ASSERT_TRUE(QFile::copy(avif, heif));
        ASSERT_TRUE(writeJpeg(jpeg, photo(stored), 95));
        ASSERT_TRUE(setExifOrientation(jpeg, orientation));
        const QString jxl = dir.filePath(QString("o%1.jxl").arg(orientation));
        ASSERT_TRUE(run("cjxl", {jpeg, jxl}));
        for (const QString& file : {webp, avif, heif, jxl}) {
            QString why;
            const QImage shown = decodeToArgb(file, &why);
            ASSERT_FALSE(shown.isNull()) << why.toStdString();
            expectUpright(shown, stored, orientation, qPrintable(QFileInfo(file).suffix()));
        }
    }
}

// A profile embedded the way each format embeds one (WebP's ICCP chunk, the colr box of AVIF
// and HEIF, JPEG XL's own) is converted to the display's colours as lcms2 converts it.
TEST(Photos, NewFormatsProfilesAreShownInTheDisplaysColours) {
    SKIP_WITHOUT_FORMAT_TOOLS();
    QTemporaryDir dir;
    QImage pattern(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y) {
        for (int x = 0; x < pattern.width(); ++x) {
            pattern.setPixel(x, y, qRgb(x * 5, 255 - y * 7, (x * y) % 256));
        }
    }
    const QByteArray adobe = adobeLike();
    const QString png = dir.filePath("tagged.png");
    ASSERT_TRUE(writePng(png, pattern));
    ASSERT_TRUE(embedIccProfile(png, adobe));
    for (const FormatTools& f : kFormats) {
        SCOPED_TRACE(f.extension);
        const QString file = dir.filePath(QString("tagged.") + f.extension);
        const QString stored = dir.filePath(QString("stored-%1.png").arg(f.extension));
        ASSERT_TRUE(convert(f.encoder, png, file));
        // The reference decoder's pixels, as lcms2 converts them from the embedded profile.
        ASSERT_TRUE(convert(f.decoder, file, stored));
        const QImage reference = QImage(stored).convertToFormat(QImage::Format_RGB32);
        const QImage expected =
            lcmsTransform(reference, adobe, {}).convertToFormat(QImage::Format_ARGB32);
        ASSERT_GT(worstDifference(expected, reference.convertToFormat(QImage::Format_ARGB32)), 8);
        QString why;
        const QImage shown = decodeToArgb(file, &why);
        ASSERT_FALSE(shown.isNull()) << why.toStdString();
        EXPECT_LE(worstDifference(shown, expected), 1);
    }
}

// An animated WebP keeps every frame, with its own delay, handed over from the helper.
TEST(Photos, AnimatedWebPJpegXlAndAvifKeepTheirFramesAndDelays) {
    SKIP_WITHOUT_FORMAT_TOOLS();
    QTemporaryDir dir;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    const int delays[] = {80, 250, 40};
    QStringList arguments{"-loop", "0", "-lossless"};
    QList<QImage> frames;
    for (int i = 0; i < 3; ++i) {
        frames << quadrantImage({40, 30}, {colours[i], Qt::white, Qt::black, colours[(i + 1) % 3]});
        const QString png = dir.filePath(QString("f%1.png").arg(i));
        ASSERT_TRUE(writePng(png, frames.last()));
        arguments << "-d" << QString::number(delays[i]) << png;
    }
    const QString webp = dir.filePath("moving.webp");
    ASSERT_TRUE(run("img2webp", arguments + QStringList{"-o", webp}));
    // The same frames as an animated GIF (delays in hundredths), which cjxl turns into an
    // animated JPEG XL.
    const QString gif = dir.filePath("moving.gif");
    const QString jxl = dir.filePath("moving.jxl");
    ASSERT_TRUE(run("convert", {"-delay", "8", dir.filePath("f0.png"), "-delay", "25",
                                dir.filePath("f1.png"), "-delay", "4", dir.filePath("f2.png"),
                                "-loop", "0", gif}));
    ASSERT_TRUE(run("cjxl", {gif, jxl, "-d", "0"}));
    // And as an AVIF image sequence, its durations in hundredths of a second.
    const QString avif = dir.filePath("moving.avif");
    ASSERT_TRUE(run("avifenc", {"-l", "--timescale", "100", "--duration", "8",
                                dir.filePath("f0.png"), "--duration", "25", dir.filePath("f1.png"),
                                "--duration", "4", dir.filePath("f2.png"), avif}));
    for (const QString& file : {webp, jxl, avif}) {
        SCOPED_TRACE(file.toStdString());
        const DecodeResult result = DecodeImageFile(file);
        ASSERT_TRUE(result.ok()) << result.error().description.toStdString();
        const auto animation = result.picture().animation();
        ASSERT_NE(animation, nullptr);
        ASSERT_EQ(animation->frames.size(), 3);
        EXPECT_EQ(animation->delaysMs, (QList<int>{80, 250, 40}));
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(worstDifference(animation->frames[i].convertToFormat(QImage::Format_ARGB32),
                                      frames[i].convertToFormat(QImage::Format_ARGB32)),
                      0)
                << i;
        }
        // Its frames count against the budget: all three do not fit where one would.
        DecodeRequest small;
        small.memoryBudget = 40 * 30 * 4 * 2;
        EXPECT_EQ(DecodeImageFile(file, small).error().number, kErrOutOfMemory);
    }
}

// A header declaring a size beyond the budget is refused from the header alone, before a library
// sees the file.
TEST(Photos, NewFormatsDeclaringHugeSizesAreRefused) {
    SKIP_WITHOUT_FORMAT_TOOLS();
    QTemporaryDir dir;
    const QString png = dir.filePath("small.png");
    ASSERT_TRUE(writePng(png, photo({32, 24})));
    // A JPEG XL codestream's size header: 30-bit height and width of 300000 pixels each.
    QByteArray jxl("\xff\x0a");
    quint64 bits = 0;
    int count = 0;
    const auto put = [&](quint64 value, int width) {
        bits |= value << count;
        count += width;
    };
    put(0, 1);  // not a multiple of 8
    put(3, 2);
    put(300000 - 1, 30);
    put(0, 3);  // no ratio: the width follows
    put(3, 2);
    put(300000 - 1, 30);
    for (int i = 0; i < 9; ++i, bits >>= 8) {
        jxl.append(char(bits & 0xFF));
    }
    EXPECT_EQ(declaredImageSize(jxl, "jxl"), std::optional<QSize>(QSize(300000, 300000)));
    for (const FormatTools& f : kFormats) {
        SCOPED_TRACE(f.extension);
        const QString file = dir.filePath(QString("huge.") + f.extension);
        QByteArray bytes = jxl;
        if (QByteArray(f.extension) != "jxl") {
            ASSERT_TRUE(convert(f.encoder, png, file));
            QFile in(file);
            ASSERT_TRUE(in.open(QIODevice::ReadOnly));
            bytes = in.readAll();
            const qsizetype ispe = bytes.indexOf("ispe");
            if (ispe > 0) {
                bytes.replace(ispe + 8, 8, QByteArray("\x00\x04\x00\x00\x00\x04\x00\x00", 8));
            } else {
                ASSERT_EQ(bytes.mid(12, 4), "VP8L");  // 14-bit sides of 16384
                bytes.replace(21, 4, QByteArray("\xff\xff\xff\x0f", 4));
            }
        }
        ASSERT_TRUE(writeBytes(file, bytes));
        const std::optional<QSize> declared = declaredImageSize(bytes, typeKey(file));
        ASSERT_TRUE(declared);
        EXPECT_GE(qint64(declared->width()) * declared->height(), qint64(16384) * 16384);
        DecodeRequest request;
        request.memoryBudget = qint64(512) << 20;
        EXPECT_EQ(DecodeImageFile(file, request).error().number, kErrOutOfMemory);
    }
    // A HEIC whose container declares a small picture and whose coded stream holds a larger
    // one than the budget allows: refused by the stream's own size, not decoded.
    const QString big = dir.filePath("big.png");
    const QString heic = dir.filePath("understated.heic");
    ASSERT_TRUE(writePng(big, photo({1000, 750})));
    ASSERT_TRUE(convert(kFormats[2].lossy, big, heic));
    QFile in(heic);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes.replace(bytes.indexOf("ispe") + 8, 8, QByteArray("\0\0\0\x20\0\0\0\x18", 8));
    ASSERT_TRUE(writeBytes(heic, bytes));
    DecodeRequest request;
    request.memoryBudget = qint64(4) << 20;
    const DecodeResult understated = DecodeImageFile(heic, request);
    EXPECT_EQ(understated.error().number, kErrOutOfMemory);
    request.memoryBudget = qint64(64) << 20;
    EXPECT_EQ(DecodeImageFile(heic, request).picture().sizePixels(), QSize(1000, 750));
}
