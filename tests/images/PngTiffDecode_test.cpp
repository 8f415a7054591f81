#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"
#include "support/RasterFiles.h"

using namespace gvtest;

namespace {

// Four levels every even bit depth holds exactly: level * max / 255 is a whole number there,
// and scales back to the level.
constexpr int kLevels[4] = {0, 85, 170, 255};

int level(int x, int y) {
    return kLevels[y == 0 ? x : 3 - x];
}

void expectImage(const QString& path, QSize size, const std::function<QRgb(int x, int y)>& expected,
                 int tolerance, const char* what) {
    QString why;
    const QImage image = decodeToArgb(path, &why);
    ASSERT_FALSE(image.isNull()) << what << ": " << why.toStdString();
    ASSERT_EQ(image.size(), size) << what;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            EXPECT_TRUE(sameColour(image.pixel(x, y), expected(x, y), tolerance))
                << what << " at " << x << "," << y << ": got " << std::hex << image.pixel(x, y)
                << ", expected " << expected(x, y);
        }
    }
}

QRgb grey(int v, int alpha = 255) {
    return qRgba(v, v, v, alpha);
}

}  // namespace

TEST(PngDecode, TransparencyChunksGiveAlphaAndSixteenBitsScaleToEight) {
    // Samples are 8-bit levels times 257, so each scales back to its level exactly; pixels of
    // the tRNS colour are transparent, all others opaque.
    const QList<quint16> key = {85 * 257, 170 * 257, 0};
    auto rgbSample = [](int x, int y) {
        return QList<quint16>{quint16(level(x, y) * 257), quint16(170 * 257), 0};
    };
    auto rgbExpected = [](int x, int y) {
        return level(x, y) == 85 ? QRgb(0) : qRgb(level(x, y), 170, 0);
    };
    struct Case {
        const char* name;
        PngLayout layout;
        std::function<QList<quint16>(int, int)> samples;
        std::function<QRgb(int, int)> expected;
    };
    const Case cases[] = {
        {"rgb16trns", {4, 2, 2, 16, false, {}, key}, rgbSample, rgbExpected},
        {"rgb16trnsinterlaced", {4, 2, 2, 16, true, {}, key}, rgbSample, rgbExpected},
        {"grey16trns",
         {4, 2, 0, 16, false, {}, {170 * 257}},
         [](int x, int y) { return QList<quint16>{quint16(level(x, y) * 257)}; },
         [](int x, int y) { return level(x, y) == 170 ? QRgb(0) : grey(level(x, y)); }},
        {"grey2",
         {4, 2, 0, 2, false, {}, {}},
         [](int x, int y) { return QList<quint16>{quint16(level(x, y) / 85)}; },
         [](int x, int y) { return grey(level(x, y)); }},
        {"palettetrns",
         {4, 2, 3, 8, false, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}, {255, 128, 0}},
         [](int x, int y) { return QList<quint16>{quint16(level(x, y) / 85)}; },
         [](int x, int y) {
             const QRgb colours[4] = {0xFFFF0000, 0x8000FF00, 0, 0xFFFFFFFF};
             return colours[level(x, y) / 85];
         }},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString(c.name) + ".png");
        ASSERT_TRUE(writePngSamples(path, c.layout, c.samples)) << c.name;
        expectImage(path, QSize(4, 2), c.expected, 0, c.name);
    }
    // libpng's own decode of the 8-bit palette file draws it the same way.
    const QImage reference = referencePngDecode(dir.filePath("palettetrns.png"));
    expectImage(
        dir.filePath("palettetrns.png"), QSize(4, 2),
        [&](int x, int y) { return reference.pixel(x, y); }, 0, "libpng");
}

namespace {

struct TiffCase {
    std::string name;
    TiffLayout layout;
    std::function<double(int x, int y, int s)> sample;
    std::function<QRgb(int x, int y)> expected;
    int tolerance = 0;
};

constexpr QRgb kQuadrants[4] = {0xFFDC1E1E, 0xFF1EC828, 0xFF1E28D2, 0xFFF0DC14};

QRgb quadrant(int x, int y, QSize size) {
    return kQuadrants[(y < size.height() / 2 ? 0 : 2) + (x < size.width() / 2 ? 0 : 1)];
}

TiffLayout layout(int bits, int samples, int photometric, int width = 4, int height = 2) {
    TiffLayout l;
    l.width = width;
    l.height = height;
    l.bits = bits;
    l.samples = samples;
    l.photometric = photometric;
    return l;
}

double scaled(int level8, int bits) {
    return std::round(level8 * (std::ldexp(1.0, bits) - 1) / 255.0);
}

QList<TiffCase> tiffCases() {
    QList<TiffCase> cases;
    // Grey at every bit depth libtiff's RGBA interface does not read, and the ones it does.
    for (int bits : {2, 4, 6, 10, 12, 14, 16, 24, 32}) {
        cases.append({"grey" + std::to_string(bits), layout(bits, 1, 1),
                      [bits](int x, int y, int) { return scaled(level(x, y), bits); },
                      [](int x, int y) { return grey(level(x, y)); }});
    }
    // White is zero.
    cases.append({"miniswhite4", layout(4, 1, 0),
                  [](int x, int y, int) { return scaled(255 - level(x, y), 4); },
                  [](int x, int y) { return grey(level(x, y)); }});
    // RGB(A) in planes, in strips and in tiles that overhang the image.
    const QSize big(20, 18);
    TiffLayout planar = layout(16, 3, 2, big.width(), big.height());
    planar.planar = true;
    auto quadrantSample = [big](int x, int y, int s) {
        const QRgb c = quadrant(x, y, big);
        return double((s == 0 ? qRed(c) : s == 1 ? qGreen(c) : s == 2 ? qBlue(c) : 85) * 257);
    };
    cases.append({"rgb16planar", planar, quadrantSample,
                  [big](int x, int y) { return quadrant(x, y, big); }});
    TiffLayout tiled = layout(16, 4, 2, big.width(), big.height());
    tiled.planar = true;
    tiled.tile = 16;
    tiled.extraSamples = {2};
    cases.append({"rgba16planartiled", tiled, quadrantSample,
                  [big](int x, int y) { return (quadrant(x, y, big) & 0xFFFFFF) | 0x55000000u; }});
    TiffLayout rgba4 = layout(4, 4, 2);
    rgba4.extraSamples = {2};
    cases.append(
        {"rgba4", rgba4,
         [](int x, int y, int s) { return s == 3 ? 15.0 - level(x, y) / 17 : level(x, y) / 17.0; },
         [](int x, int y) { return grey(level(x, y), 255 - level(x, y)); }});
    // A 16-bit palette, and an 8-bit one whose map holds 8-bit values.
    TiffLayout palette16 = layout(16, 1, 3);
    for (int table = 0; table < 3; ++table) {
        for (int i = 0; i < 65536; ++i) {
            palette16.colourMap << quint16(table == 0 ? i : table == 1 ? 65535 - i : 0x8080);
        }
    }
    cases.append({"palette16", palette16, [](int x, int y, int) { return level(x, y) * 257.0; },
                  [](int x, int y) { return qRgb(level(x, y), 255 - level(x, y), 0x80); }});
    TiffLayout palette8 = layout(8, 1, 3);
    for (int table = 0; table < 3; ++table) {
        for (int i = 0; i < 256; ++i) {
            palette8.colourMap << quint16(table == 0 ? i : table == 1 ? 255 - i : 0x40);
        }
    }
    cases.append({"palette8values", palette8, [](int x, int y, int) { return double(level(x, y)); },
                  [](int x, int y) { return qRgb(level(x, y), 255 - level(x, y), 0x40); }});
    // Ink: none is white, black ink black, cyan alone cyan, yellow alone yellow.
    const QRgb inkColours[4] = {0xFFFFFFFF, 0xFF000000, 0xFF00FFFF, 0xFFFFFF00};
    cases.append({"cmyk16", layout(16, 4, 5),
                  [](int x, int, int s) {
                      const int ink[4] = {-1, 3, 0, 2};  // which ink is full at each column
                      return s == ink[x] ? 65535.0 : 0.0;
                  },
                  [inkColours](int x, int) { return inkColours[x]; }});
    // Grey with alpha: unassociated stays as written; associated was stored premultiplied.
    TiffLayout greyAlpha = layout(8, 2, 1);
    greyAlpha.extraSamples = {2};
    cases.append(
        {"greyalpha", greyAlpha,
         [](int x, int y, int s) { return double(s == 0 ? level(x, y) : 255 - level(x, y)); },
         [](int x, int y) { return grey(level(x, y), 255 - level(x, y)); }});
    TiffLayout greyPremultiplied = greyAlpha;
    greyPremultiplied.extraSamples = {1};
    cases.append({"greyalphaassociated", greyPremultiplied,
                  [](int x, int y, int) { return double(level(x, y)); },
                  [](int x, int y) { return grey(255, level(x, y)); }});
    // Floating point: 64-bit with the floating-point predictor, 32-bit RGB out of range,
    // 16-bit half precision.
    TiffLayout f64 = layout(64, 1, 1);
    f64.sampleFormat = 3;
    f64.compression = 8;
    f64.predictor = 3;
    cases.append({"float64predictor", f64, [](int x, int y, int) { return level(x, y) / 255.0; },
                  [](int x, int y) { return grey(level(x, y)); }});
    TiffLayout f32 = layout(32, 3, 2);
    f32.sampleFormat = 3;
    cases.append({"float32range", f32,
                  [](int x, int, int s) { return s == 0   ? (x - 1.5) * 4
                                                 : s == 1 ? 2.0
                                                          : -0.5; },
                  [](int x, int) { return qRgb(x >= 2 ? 255 : 0, 255, 0); }});
    TiffLayout f16 = layout(16, 1, 1);
    f16.sampleFormat = 3;
    cases.append({"float16", f16, [](int x, int y, int) { return level(x, y) / 255.0; },
                  [](int x, int y) { return grey(level(x, y)); }, 1});
    // Stored bottom row first.
    TiffLayout flipped = layout(8, 1, 1);
    flipped.orientation = 4;
    cases.append({"bottomleft", flipped, [](int x, int y, int) { return double(level(x, y)); },
                  [](int x, int y) { return grey(level(x, 1 - y)); }});
    return cases;
}

}  // namespace

TEST(TiffDecode, EveryDepthLayoutAndSampleFormatDrawsAsWritten) {
    QTemporaryDir dir;
    for (const TiffCase& c : tiffCases()) {
        const QString path = dir.filePath(QString::fromStdString(c.name) + ".tif");
        ASSERT_TRUE(writeTiffSamples(path, c.layout, c.sample)) << c.name;
        expectImage(path, QSize(c.layout.width, c.layout.height), c.expected, c.tolerance,
                    c.name.c_str());
        // Where libtiff's RGBA interface reads the file, it draws the same picture (it leaves
        // unassociated grey alpha unmultiplied, so that case is left to the values above).
        QImage reference = referenceTiffDecode(path);
        if (reference.isNull() || c.name == "greyalpha") {
            continue;
        }
        reference = reference.convertToFormat(QImage::Format_ARGB32);
        expectImage(
            path, reference.size(), [&](int x, int y) { return reference.pixel(x, y); }, 2,
            (c.name + " (libtiff)").c_str());
    }
}

TEST(TiffDecode, LabAndYCbCrFollowLibtiffsOwnConversion) {
    QTemporaryDir dir;
    // The same colours as 8-bit CIELab, which libtiff's RGBA interface reads, and as 16-bit
    // CIELab with alpha, which it does not.
    const int labs[4][3] = {{100, 0, 0}, {50, 60, -40}, {70, -50, 50}, {20, 10, 30}};
    TiffLayout lab8 = layout(8, 3, 8);
    auto lab8Sample = [&](int x, int, int s) {
        const int v = s == 0 ? int(std::lround(labs[x][0] * 2.55)) : labs[x][s];
        return double(s == 0 ? v : (v & 0xFF));
    };
    ASSERT_TRUE(writeTiffSamples(dir.filePath("lab8.tif"), lab8, lab8Sample));
    TiffLayout lab16 = layout(16, 4, 8);
    lab16.extraSamples = {2};
    ASSERT_TRUE(writeTiffSamples(dir.filePath("lab16.tif"), lab16, [&](int x, int y, int s) {
        if (s == 3) {
            return double(y == 0 ? 65535 : 0x8080);
        }
        const int v = int(lab8Sample(x, y, s));
        return double(s == 0 ? v * 257 : (qint8(v) * 256) & 0xFFFF);
    }));
    QImage reference = referenceTiffDecode(dir.filePath("lab8.tif"));
    ASSERT_FALSE(reference.isNull());
    reference = reference.convertToFormat(QImage::Format_ARGB32);
    expectImage(
        dir.filePath("lab8.tif"), QSize(4, 2), [&](int x, int y) { return reference.pixel(x, y); },
        0, "lab8");
    expectImage(
        dir.filePath("lab16.tif"), QSize(4, 2),
        [&](int x, int y) {
            return (reference.pixel(x, y) & 0xFFFFFF) | (y == 0 ? 0xFF000000 : 0x80000000);
        },
        1, "lab16");
    // JPEG-compressed YCbCr goes through libtiff's RGBA interface.
    TiffLayout ycc = layout(8, 3, 6, 32, 32);
    ycc.compression = 7;
    ycc.jpegYCbCr = 90;
    ycc.rowsPerStrip = 16;
    const QSize size(32, 32);
    ASSERT_TRUE(writeTiffSamples(dir.filePath("ycc.tif"), ycc, [size](int x, int y, int s) {
        const QRgb c = quadrant(x, y, size);
        return double(s == 0 ? qRed(c) : s == 1 ? qGreen(c) : qBlue(c));
    }));
    const QImage ycbcr = decodeToArgb(dir.filePath("ycc.tif"));
    ASSERT_EQ(ycbcr.size(), size);
    for (const QPoint& p : quadrantCentres(size)) {
        EXPECT_TRUE(sameColour(ycbcr.pixel(p), quadrant(p.x(), p.y(), size), 12))
            << std::hex << ycbcr.pixel(p);
    }
}
