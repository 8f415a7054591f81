// SVG drawings: rendered by the helper at the size they are shown at and compared with
// librsvg's rsvg-convert; sized by their own width, height or viewBox; hostile drawings refused
// with the program's messages.

#include <gtest/gtest.h>
#include <zlib.h>

#include <QProcess>
#include <QTemporaryDir>

#include "images/Decoder.h"
#include "images/SvgDocument.h"
#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"

using namespace gv;
using namespace gvtest;

namespace {

constexpr const char* kShapes = R"(<?xml version="1.0"?>
<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink"
     width="80" height="60" viewBox="0 0 80 60">
  <rect x="0" y="0" width="80" height="60" fill="#ffffff"/>
  <rect x="5" y="5" width="30" height="20" fill="#d02020"/>
  <circle cx="55" cy="35" r="18" fill="#2040d0"/>
  <defs><path id="bar" d="M5 45 h40 v8 h-40 z"/></defs>
  <use xlink:href="#bar" fill="#20b030"/>
</svg>)";

QByteArray gzip(const QByteArray& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

// The share of pixels whose colour differs by more than a little: edges are anti-aliased
// differently by each renderer, the areas inside must agree.
double differingShare(const QImage& a, const QImage& b) {
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            differing += sameColour(a.pixel(x, y), b.pixel(x, y), 40) ? 0 : 1;
        }
    }
    return double(differing) / (a.width() * a.height());
}

}  // namespace

TEST(SvgDecode, RenderedSharpAtEveryZoomAsLibrsvgRendersIt) {
    QTemporaryDir dir;
    for (const char* name : {"shapes.svg", "shapes.svgz"}) {
        const QString path = dir.filePath(name);
        const bool packed = QString(name).endsWith("z");
        ASSERT_TRUE(writeBytes(path, packed ? gzip(kShapes) : QByteArray(kShapes)));
        const DecodeResult r = DecodeImageFile(path, at96());
        ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
        ASSERT_TRUE(r.picture().isMetafile());
        EXPECT_EQ(r.picture().kind(), PictureKind::Bitmap);  // saved and copied as a raster
        EXPECT_EQ(r.picture().sizePixels(), QSize(80, 60));
        for (const int zoom : {1, 4}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(zoom * 100) + " %");
            const QSize size(80 * zoom, 60 * zoom);
            const QImage ours =
                r.picture().render(size, Qt::white).convertToFormat(QImage::Format_ARGB32);
            const QString reference = dir.filePath(QString("ref%1.png").arg(zoom));
            ASSERT_EQ(QProcess::execute("rsvg-convert",
                                        {"-w", QString::number(size.width()), "-h",
                                         QString::number(size.height()), "-o", reference, path}),
                      0);
            const QImage theirs = QImage(reference).convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(ours.size(), theirs.size());
            EXPECT_LT(differingShare(ours, theirs), 0.02);
            // Sharp: a 4x render has the circle's edge within a pixel or two, not a blur.
            EXPECT_TRUE(sameColour(ours.pixel(55 * zoom, 35 * zoom), 0xFF2040D0, 8));
        }
    }
}

TEST(SvgDecode, ActualSizeComesFromWidthHeightOrTheViewBox) {
    struct Case {
        const char* attributes;
        QSizeF size;
    };
    const Case cases[] = {
        {R"(width="120" height="40")", {120, 40}},
        {R"(width="120px" height="1in")", {120, 96}},
        {R"(width="25.4mm" height="72pt")", {96, 96}},
        {R"(viewBox="0 0 300 200")", {300, 200}},
        {R"(width="100%" height="100%" viewBox="0,0,50,25")", {50, 25}},
        {R"(width="200" viewBox="0 0 100 50")", {200, 100}},
        {R"(height="10cm" viewBox="0 0 2 1")", {2 * 96 / 2.54 * 10, 96 / 2.54 * 10}},
        {R"(width="2em")", {}},
    };
    for (const Case& c : cases) {
        const QByteArray svg = QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" ") +
                               c.attributes + "><rect width=\"1\" height=\"1\"/></svg>";
        QString why;
        const std::optional<SvgDocument> doc = readSvgDocument(svg, 1 << 20, &why);
        ASSERT_TRUE(doc) << c.attributes << why.toStdString();
        EXPECT_NEAR(doc->size.width(), c.size.width(), 0.01) << c.attributes;
        EXPECT_NEAR(doc->size.height(), c.size.height(), 0.01) << c.attributes;
    }
}

TEST(SvgDecode, HostileDrawingsAreRefusedWithTheProgramsMessage) {
    QTemporaryDir dir;
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY a \"lollollol\">\n";
    for (char e = 'b'; e <= 'k'; ++e) {
        laughs += QByteArray("<!ENTITY ") + e + " \"";
        for (int i = 0; i < 10; ++i) {
            laughs += QByteArray("&") + char(e - 1) + ";";
        }
        laughs += "\">\n";
    }
    laughs += "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\"><text>&k;</text></svg>";
    QByteArray nested = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">";
    for (int i = 0; i < 5000; ++i) {
        nested += "<g>";
    }
    nested += "<rect width=\"5\" height=\"5\"/>";
    for (int i = 0; i < 5000; ++i) {
        nested += "</g>";
    }
    nested += "</svg>";
    struct Case {
        const char* name;
        QByteArray bytes;
        int error;
    };
    const Case cases[] = {
        {"huge.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="900000" height="900000"/>)",
         kErrOutOfMemory},
        {"laughs.svg", laughs, kErrInvalidPicture},
        {"nested.svg", nested, kErrInvalidPicture},
        {"packed-bomb.svgz", gzip(QByteArray(300 << 20, ' ')), kErrOutOfMemory},
        {"html.svg", "<html><body/></html>", kErrInvalidPicture},
        {"broken.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect></svg>",
         kErrInvalidPicture},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(writeBytes(path, c.bytes));
        DecodeRequest request = at96();
        request.memoryBudget = 256 << 20;
        const DecodeResult r = DecodeImageFile(path, request);
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_EQ(r.error().number, c.error)
            << c.name << ": " << r.error().description.toStdString();
        EXPECT_FALSE(r.error().description.isEmpty());
    }
}

TEST(SvgDecode, FilesAndAddressesItRefersToAreNeverFetched) {
    QTemporaryDir dir;
    const QString secret = dir.filePath("secret.png");
    QImage red(20, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(secret));
    const QByteArray svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"20\" height=\"20\"><rect width=\"20\" height=\"20\" fill=\"white\"/>"
        "<image width=\"20\" height=\"20\" xlink:href=\"" +
        QFile::encodeName(secret) +
        "\"/>"
        "<image width=\"20\" height=\"20\" href=\"file://" +
        QFile::encodeName(secret) +
        "\"/>"
        "</svg>";
    QString why;
    const std::optional<SvgDocument> doc = readSvgDocument(svg, 1 << 20, &why);
    ASSERT_TRUE(doc);
    EXPECT_FALSE(doc->xml.contains("secret.png"));
    const QString path = dir.filePath("refers.svg");
    ASSERT_TRUE(writeBytes(path, svg));
    const DecodeResult r = DecodeImageFileInProcess(path, at96());
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_EQ(r.picture().fullRaster().pixel(10, 10), 0xFFFFFFFFu);
}
