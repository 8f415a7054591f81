#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>

#include "images/Decoder.h"
#include "images/ImageTypeCatalogue.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "support/RasterFiles.h"
#include "support/TestEnvironment.h"

using namespace gv;
using namespace gvtest;

namespace {

constexpr QSize kSize(64, 48);

class Decoder : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Decoding with a fixed resolution and budget keeps the results independent of the
    // machine the tests run on.
    static DecodeRequest request(double dpi = 96, qint64 budget = qint64(1) << 30) {
        DecodeRequest r;
        r.dpi = dpi;
        r.memoryBudget = budget;
        return r;
    }

    QTemporaryDir m_dir;
};

int colourDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

void expectQuadrants(const QImage& image, int tolerance, const QString& what) {
    ASSERT_FALSE(image.isNull()) << what.toStdString();
    const auto centres = quadrantCentres(image.size());
    for (int i = 0; i < 4; ++i) {
        const QColor got = image.pixelColor(centres[i]);
        EXPECT_LE(colourDistance(got, kQuadrantColours[i]), tolerance)
            << what.toStdString() << " quadrant " << i << " got " << got.name().toStdString();
    }
}

bool haveGhostscript() {
    return !QStandardPaths::findExecutable("gs").isEmpty();
}

using Writer = std::function<bool(const QString&, const QImage&)>;

struct TypeCase {
    const char* name;
    Writer write;
    PictureKind kind;
    int tolerance;
};

}  // namespace

TEST_F(Decoder, EveryRasterTypeDecodesWithItsSizeAndColours) {
    const auto tga = [](TgaCompression c, TgaOrigin o, bool alpha) {
        return [=](const QString& p, const QImage& i) { return writeTga(p, i, c, o, alpha); };
    };
    const TypeCase cases[] = {
        {"plain.bmp", writeBmp, PictureKind::Bitmap, 0},
        {"plain.dib", writeBmp, PictureKind::Bitmap, 0},
        {"runs.rle", writeRle8Bmp, PictureKind::Bitmap, 0},
        {"photo.jpg", [](auto& p, auto& i) { return writeJpeg(p, i, 90); }, PictureKind::Bitmap,
         24},
        {"photo.jpe", [](auto& p, auto& i) { return writeJpeg(p, i, 90); }, PictureKind::Bitmap,
         24},
        {"PHOTO.JPEG", [](auto& p, auto& i) { return writeJpeg(p, i, 60); }, PictureKind::Bitmap,
         32},
        {"old.gif", [](auto& p, auto& i) { return writeGif(p, i, GifVersion::V87a); },
         PictureKind::Bitmap, 0},
        {"new.gif", [](auto& p, auto& i) { return writeGif(p, i, GifVersion::V89a); },
         PictureKind::Bitmap, 0},
        {"scan.tif", writeTiff, PictureKind::Bitmap, 0},
        {"scan.TIFF", writeTiff, PictureKind::Bitmap, 0},
        {"lossless.png", writePng, PictureKind::Bitmap, 0},
        {"raw.tga", tga(TgaCompression::None, TgaOrigin::BottomLeft, false), PictureKind::Bitmap,
         0},
        {"packed.tga", tga(TgaCompression::Rle, TgaOrigin::BottomLeft, false), PictureKind::Bitmap,
         0},
        {"topdown.tga", tga(TgaCompression::None, TgaOrigin::TopLeft, true), PictureKind::Bitmap,
         0},
        {"packedalpha.tga", tga(TgaCompression::Rle, TgaOrigin::TopLeft, true), PictureKind::Bitmap,
         0},
        {"paint.pcx", writePcx, PictureKind::Bitmap, 0},
        {"mac.pct", writePict, PictureKind::Bitmap, 0},
        {"app.ico", [](auto& p, auto& i) { return writeIco(p, {i}); }, PictureKind::Icon, 0},
        {"pointer.cur", [](auto& p, auto& i) { return writeCur(p, i, QPoint(3, 5)); },
         PictureKind::Icon, 0},
        {"preview.eps", writeEpsWithTiffPreview, PictureKind::Bitmap, 0},
    };
    const QImage source = quadrantImage(kSize);
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.write(path(c.name), source));
        const DecodeResult result = DecodeImageFile(path(c.name), request());
        ASSERT_TRUE(result.ok()) << result.error().number << " "
                                 << result.error().description.toStdString();
        const Picture& picture = result.picture();
        EXPECT_EQ(picture.kind(), c.kind);
        EXPECT_EQ(picture.sizePixels(), kSize);
        EXPECT_FALSE(picture.holdsPreview());
        expectQuadrants(picture.fullRaster(), c.tolerance, c.name);
        if (c.kind == PictureKind::Icon) {
            QFile f(path(c.name));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(picture.originalBytes(), f.readAll());
        }
    }
}

TEST_F(Decoder, EpsWithoutPreviewIsRenderedByGhostscript) {
    if (!haveGhostscript()) {
        GTEST_SKIP() << "gs is not installed";
    }
    ASSERT_TRUE(writePlainEps(path("plain.eps"), kSize));
    // At 72 DPI a point is a pixel.
    const DecodeResult plain = DecodeImageFile(path("plain.eps"), request(72));
    ASSERT_TRUE(plain.ok()) << plain.error().description.toStdString();
    EXPECT_EQ(plain.picture().sizePixels(), kSize);
    EXPECT_EQ(plain.picture().kind(), PictureKind::Bitmap);
    expectQuadrants(plain.picture().raster(), 2, "plain eps");

    // A DOS EPS that carries only PostScript goes the same way; at 144 DPI it doubles.
    ASSERT_TRUE(writeBytes(path("dos.eps"), dosEpsBytes(quadrantPostScript(kSize), {}, {})));
    const DecodeResult dos = DecodeImageFile(path("dos.eps"), request(144));
    ASSERT_TRUE(dos.ok()) << dos.error().description.toStdString();
    EXPECT_EQ(dos.picture().sizePixels(), kSize * 2);
    expectQuadrants(dos.picture().raster(), 2, "dos eps");
}

TEST_F(Decoder, GhostscriptThatRunsTooLongIsStopped) {
    if (!haveGhostscript()) {
        GTEST_SKIP() << "gs is not installed";
    }
    ASSERT_TRUE(writeBytes(path("loop.eps"),
                           "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n{ } loop\n"));
    DecodeRequest r = request();
    r.ghostscriptTimeoutMs = 1500;
    QElapsedTimer timer;
    timer.start();
    const DecodeResult result = DecodeImageFile(path("loop.eps"), r);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(result.error().number, kErrInvalidPicture);
}

TEST_F(Decoder, HimetricSizeFollowsTheResolution) {
    ASSERT_TRUE(writePng(path("a.png"), quadrantImage(QSize(127, 254))));
    const std::pair<double, QSize> cases[] = {
        {96, QSize(3360, 6720)},  // 127 / 96 * 2540 = 3360.2
        {127, QSize(2540, 5080)},
        {254, QSize(1270, 2540)},
    };
    for (const auto& [dpi, himetric] : cases) {
        const DecodeResult r = DecodeImageFile(path("a.png"), request(dpi));
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.picture().sizeHimetric(), himetric) << dpi;
        EXPECT_EQ(r.picture().sizePixels(), QSize(127, 254));
        EXPECT_EQ(himetricToPixels(himetric.width(), dpi), 127);
    }
}

TEST_F(Decoder, ReducedJpegDecodeFitsTheBoxAndKeepsTheFullImageReachable) {
    const QSize full(640, 400);
    ASSERT_TRUE(writeJpeg(path("big.jpg"), quadrantImage(full), 90));
    struct Case {
        QSize box;
        QSize expectedPreview;  // empty: no preview, decoded 1:1
    };
    const Case cases[] = {
        {QSize(160, 160), QSize(160, 100)}, {QSize(500, 100), QSize(160, 100)},
        {QSize(321, 999), QSize(321, 200)}, {QSize(640, 400), QSize()},
        {QSize(2000, 2000), QSize()},
    };
    for (const Case& c : cases) {
        DecodeRequest r = request();
        r.fitInto = c.box;
        const DecodeResult result = DecodeImageFile(path("big.jpg"), r);
        ASSERT_TRUE(result.ok());
        const Picture& p = result.picture();
        EXPECT_EQ(p.sizePixels(), full);
        if (c.expectedPreview.isEmpty()) {
            EXPECT_FALSE(p.holdsPreview());
            EXPECT_EQ(p.raster().size(), full);
            continue;
        }
        EXPECT_TRUE(p.holdsPreview());
        const QSize preview = p.raster().size();
        EXPECT_LE(std::abs(preview.width() - c.expectedPreview.width()), 1) << preview.width();
        EXPECT_LE(std::abs(preview.height() - c.expectedPreview.height()), 1) << preview.height();
        EXPECT_TRUE(c.box.expandedTo(preview) == c.box);
        expectQuadrants(p.raster(), 24, "preview");
        // The preview serves display sizes up to its own; larger ones come from the full
        // raster, which is decoded once on demand.
        EXPECT_EQ(p.render(preview / 2).size(), preview / 2);
        const QImage fullRaster = p.fullRaster();
        EXPECT_EQ(fullRaster.size(), full);
        expectQuadrants(fullRaster, 24, "full");
        EXPECT_EQ(p.fullRaster().cacheKey(), fullRaster.cacheKey());
        EXPECT_EQ(p.render(QSize(500, 300)).size(), QSize(500, 300));
    }
    // Formats whose readers cannot decode less are decoded once, at full size.
    ASSERT_TRUE(writePng(path("big.png"), quadrantImage(full)));
    DecodeRequest r = request();
    r.fitInto = QSize(100, 100);
    const DecodeResult png = DecodeImageFile(path("big.png"), r);
    ASSERT_TRUE(png.ok());
    EXPECT_FALSE(png.picture().holdsPreview());
    EXPECT_EQ(png.picture().raster().size(), full);
}

namespace {

QByteArray bmpHeaderClaiming(int width, int height) {
    return bmpBytes({40, width, height, 24, 0, {}, {}, QByteArray(16, '\x7f')});
}

QByteArray tgaHeaderClaiming(int width, int height) {
    TgaLayout tga;
    tga.width = width;
    tga.height = height;
    tga.pixels = QByteArray(64, '\x10');
    return tgaBytes(tga);
}

QByteArray gifHeaderClaiming(int width, int height) {
    // No colour table; an image as large as the screen, then a scrap of data.
    Bytes b;
    b.raw("GIF89a").le16(width).le16(height).zeros(3).u8(0x2C).zeros(4).le16(width);
    return b.le16(height).u8(0).raw(QByteArray("\x02\x02\x4c\x01\x00\x3b", 6)).data();
}

QByteArray pcxHeaderClaiming(int width, int height) {
    // Three planes of eight bits, a line of `width` bytes each.
    Bytes b;
    b.u8(0x0A).u8(5).u8(1).u8(8).zeros(4).le16(width - 1).le16(height - 1).zeros(53).u8(3);
    return b.le16(width).zeros(60).raw(QByteArray(64, '\x01')).data();
}

}  // namespace

TEST_F(Decoder, HeadersClaimingHugeImagesAreRefusedBeforeDecoding) {
    const std::pair<const char*, QByteArray> cases[] = {
        {"huge.bmp", bmpHeaderClaiming(60000, 60000)},
        {"huge.tga", tgaHeaderClaiming(60000, 60000)},
        {"huge.gif", gifHeaderClaiming(60000, 60000)},
        {"huge.pcx", pcxHeaderClaiming(60000, 60000)},
        {"huge.eps", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 900000 900000\nshowpage\n"},
    };
    for (const auto& [name, bytes] : cases) {
        ASSERT_TRUE(writeBytes(path(name), bytes));
        QElapsedTimer timer;
        timer.start();
        const DecodeResult r = DecodeImageFile(path(name), request());
        EXPECT_EQ(r.error().number, kErrOutOfMemory)
            << name << " " << r.error().description.toStdString();
        EXPECT_LT(timer.elapsed(), 5000) << name;
    }
}

TEST_F(Decoder, TheBudgetDecidesWhatFits) {
    // (Not an icon: its 32-bit file is larger than its raster, and the bytes read count too.)
    const char* names[] = {"a.png", "a.jpg", "a.pcx", "a.tif", "a.tga", "a.bmp", "a.rle", "a.pct"};
    for (const char* name : names) {
        ASSERT_TRUE(writeImageFile(path(name), quadrantImage(QSize(200, 100)))) << name;
    }
    const qint64 exact = 200 * 100 * 4;
    for (const char* name : names) {
        EXPECT_TRUE(DecodeImageFile(path(name), request(96, exact)).ok()) << name;
        EXPECT_EQ(DecodeImageFile(path(name), request(96, exact - 1)).error().number,
                  kErrOutOfMemory)
            << name;
    }
    // A reduced decode does not lift the limit: the view still needs the 1:1 picture.
    DecodeRequest r = request(96, exact - 1);
    r.fitInto = QSize(20, 20);
    EXPECT_EQ(DecodeImageFile(path("a.jpg"), r).error().number, kErrOutOfMemory);
    EXPECT_GT(defaultMemoryBudget(), qint64(64) * 1024 * 1024);
}

TEST_F(Decoder, BrokenFilesAreInvalidPictures) {
    const QImage image = quadrantImage(kSize);
    // Good files of each kind, to cut short or mislabel.
    QStringList broken;
    for (const char* name :
         {"good.bmp", "good.rle", "good.jpg", "good.gif", "good.png", "good.tif", "good.tga",
          "good.pcx", "good.pct", "good.ico", "good.cur", "good.eps"}) {
        ASSERT_TRUE(writeImageFile(path(name), image)) << name;
        const QString ext = QString(name).mid(4);
        // Empty, cut inside the header, and noise, each under the type's own extension.
        writeEmptyFile(path("empty" + ext));
        writeTruncatedCopy(path(name), path("cut" + ext), 12);
        writeRandomBytes(path("noise" + ext), 3000, qHash(ext));
        broken << "empty" + ext << "cut" + ext << "noise" + ext;
    }
    // Contents of one type under another type's extension.
    const std::pair<const char*, const char*> mislabelled[] = {
        {"good.png", "png.jpg"}, {"good.jpg", "jpg.png"}, {"good.gif", "gif.bmp"},
        {"good.png", "png.pcx"}, {"good.png", "png.pct"}, {"good.png", "png.ico"},
        {"good.bmp", "bmp.tga"}, {"good.jpg", "jpg.tif"}, {"good.png", "png.eps"},
        {"good.bmp", "bmp.gif"},
    };
    for (const auto& [from, to] : mislabelled) {
        ASSERT_TRUE(QFile::copy(path(from), path(to)));
        broken << to;
    }
    for (const QString& name : broken) {
        const DecodeResult r = DecodeImageFile(path(name), request());
        EXPECT_EQ(r.error().number, kErrInvalidPicture) << name.toStdString();
        EXPECT_TRUE(r.picture().isNull()) << name.toStdString();
    }
}

TEST_F(Decoder, FilesCutShortNeverCrash) {
    // Cut at every few hundred bytes: each result is an error or a picture of the file's
    // own size, never anything else.
    const QImage image = quadrantImage(QSize(40, 30));
    const char* files[] = {"a.bmp", "a.rle", "a.jpg", "a.gif", "a.png", "a.tif",
                           "a.tga", "a.pcx", "a.pct", "a.ico", "a.cur", "a.eps"};
    for (const char* name : files) {
        ASSERT_TRUE(writeImageFile(path(name), image)) << name;
        const qint64 size = QFileInfo(path(name)).size();
        for (qint64 keep = 1; keep < size; keep += std::max<qint64>(1, size / 23)) {
            const QString cut = path(QString("cut%1_").arg(keep) + name);
            writeTruncatedCopy(path(name), cut, keep);
            const DecodeResult r = DecodeImageFile(cut, request());
            if (r.ok()) {
                EXPECT_EQ(r.picture().sizePixels(), image.size()) << name << " " << keep;
            } else {
                EXPECT_EQ(r.error().number, kErrInvalidPicture) << name << " " << keep;
            }
        }
    }
}

TEST_F(Decoder, UnknownTypesAndMissingFiles) {
    ASSERT_TRUE(writePng(path("picture.xcf"), quadrantImage(kSize)));
    ASSERT_TRUE(writePng(path("noextension"), quadrantImage(kSize)));
    for (const char* name : {"picture.xcf", "noextension", "never-written.txt"}) {
        EXPECT_EQ(DecodeImageFile(path(name), request()).error().number, kErrNoDecoder) << name;
    }
    EXPECT_EQ(DecodeImageFile(path("never-written.png"), request()).error().number,
              kErrFileNotFound);
}

TEST_F(Decoder, GifVersionFromTheFirstLine) {
    const std::pair<QByteArray, bool> cases[] = {
        {"GIF89a\x10\x00", false}, {"gif89a", false},  {"GiF89A rest", false},
        {"GIF87a\x10\x00", true},  {"GIF89\na", true},  // the first line is too short
        {"\nGIF89a", true},        {"", true},         {"PNG", true},
    };
    int n = 0;
    for (const auto& [bytes, is87a] : cases) {
        const QString file = path(QString("v%1.gif").arg(n++));
        ASSERT_TRUE(writeBytes(file, bytes));
        EXPECT_EQ(gifIs87a(file), is87a) << bytes.toStdString();
    }
    ASSERT_TRUE(writeGif(path("w87.gif"), quadrantImage(kSize), GifVersion::V87a));
    ASSERT_TRUE(writeGif(path("w89.gif"), quadrantImage(kSize), GifVersion::V89a));
    EXPECT_TRUE(gifIs87a(path("w87.gif")));
    EXPECT_FALSE(gifIs87a(path("w89.gif")));
}

TEST_F(Decoder, AnimatedGifShowsItsFirstFrame) {
    const QuadrantColours other = {Qt::black, Qt::white, Qt::cyan, Qt::magenta};
    QList<GifFrame> frames = {{quadrantImage(kSize), 20},
                              {quadrantImage(kSize, other), 35},
                              {quadrantImage(kSize, kQuadrantColours), 50}};
    ASSERT_TRUE(writeAnimatedGif(path("anim.gif"), frames));
    const DecodeResult r = DecodeImageFile(path("anim.gif"), request());
    ASSERT_TRUE(r.ok());
    expectQuadrants(r.picture().raster(), 0, "first frame");

    QImageReader reader(path("anim.gif"));
    EXPECT_EQ(reader.imageCount(), 3);
    EXPECT_EQ(reader.loopCount(), -1);  // for ever
    QList<int> delays;
    while (reader.canRead()) {
        const QImage frame = reader.read();
        delays << reader.nextImageDelay();
        if (delays.size() == 2) {
            EXPECT_EQ(frame.pixelColor(quadrantCentres(kSize)[1]), QColor(Qt::white));
        }
    }
    EXPECT_EQ(delays, QList<int>({200, 350, 500}));
}

TEST_F(Decoder, LargeGifsUseTheWholeCodeTable) {
    // Noise makes the LZW table fill and reset several times.
    QImage noise(300, 200, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x) {
            noise.setPixel(x, y, qRgb(random.bounded(4) * 80, random.bounded(4) * 80, 0));
        }
    }
    ASSERT_TRUE(writeGif(path("noise.gif"), noise));
    const DecodeResult r = DecodeImageFile(path("noise.gif"), request());
    ASSERT_TRUE(r.ok());
    const QImage decoded = r.picture().raster().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(decoded, noise);
}

TEST_F(Decoder, IconsKeepTheirLargestImage) {
    const QImage small = quadrantImage(QSize(16, 16));
    const QImage large = quadrantImage(QSize(48, 48));
    QImage translucent(32, 32, QImage::Format_ARGB32);
    translucent.fill(QColor(10, 20, 30, 128));
    ASSERT_TRUE(writeIco(path("multi.ico"), {small, large, translucent}));
    const DecodeResult r = DecodeImageFile(path("multi.ico"), request());
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.picture().kind(), PictureKind::Icon);
    EXPECT_EQ(r.picture().sizePixels(), QSize(48, 48));
    expectQuadrants(r.picture().raster(), 0, "48x48 entry");

    ASSERT_TRUE(writeIco(path("alpha.ico"), {translucent}));
    const DecodeResult a = DecodeImageFile(path("alpha.ico"), request());
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.picture().raster().pixelColor(5, 5).alpha(), 128);
    // Shown over a background, the icon's transparency lets it through.
    const QImage onWhite = a.picture().render(QSize(32, 32), Qt::white);
    EXPECT_GT(onWhite.pixelColor(5, 5).red(), 120);
}
