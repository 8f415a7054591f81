#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "images/Decoder.h"
#include "images/Metafile.h"
#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"
#include "support/TestEnvironment.h"

using namespace gv;
using namespace gvtest;

namespace {

int distinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            colours.insert(image.pixel(x, y));
        }
    }
    return static_cast<int>(colours.size());
}

}  // namespace

TEST(DecoderMetafile, MetafilesStayVectorAndKeepTheirBytes) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray bytes;
        QByteArray metafileBytes;
        PictureKind kind;
    };
    const Case cases[] = {
        {"shapes.wmf", sampleWmf(), sampleWmf(), PictureKind::Metafile},
        {"shapes.emf", sampleEmf(), sampleEmf(), PictureKind::EnhancedMetafile},
        {"preview.eps", dosEpsBytes(quadrantPostScript(QSize(100, 80)), sampleWmf(), {}),
         sampleWmf(), PictureKind::Metafile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeBytes(dir.filePath(c.name), c.bytes));
        const DecodeResult r = DecodeImageFile(dir.filePath(c.name), at96());
        ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
        const Picture& p = r.picture();
        EXPECT_EQ(p.kind(), c.kind);
        ASSERT_NE(p.metafile(), nullptr);
        const auto reference = Metafile::fromBytes(c.metafileBytes);
        ASSERT_TRUE(reference);
        EXPECT_EQ(p.sizePixels(), reference->sizePixels(96));
        EXPECT_EQ(p.sizeHimetric(), reference->sizeHimetric());
        EXPECT_EQ(p.originalBytes(), c.metafileBytes);
        // Painted at any size, not scaled from a fixed raster.
        for (const QSize size : {p.sizePixels(), QSize(37, 23), p.sizePixels() * 3}) {
            const QImage shown = p.render(size, Qt::white);
            EXPECT_EQ(shown.size(), size);
            EXPECT_GT(distinctColours(shown), 1);
        }
        EXPECT_EQ(p.fullRaster().size(), p.sizePixels());
    }
}

TEST(DecoderMetafile, BrokenMetafilesAreInvalidPictures) {
    QTemporaryDir dir;
    ASSERT_TRUE(writePng(dir.filePath("png.emf"), quadrantImage(QSize(20, 20))));
    ASSERT_TRUE(writePng(dir.filePath("png.wmf"), quadrantImage(QSize(20, 20))));
    ASSERT_TRUE(writeEmptyFile(dir.filePath("empty.wmf")));
    ASSERT_TRUE(writeBytes(dir.filePath("cut.emf"), sampleEmf().left(40)));
    ASSERT_TRUE(writeBytes(dir.filePath("cut.wmf"), sampleWmf().left(10)));
    ASSERT_TRUE(writeRandomBytes(dir.filePath("noise.emf"), 2000, 11));
    ASSERT_TRUE(writeBytes(dir.filePath("badpreview.eps"),
                           dosEpsBytes(quadrantPostScript(QSize(10, 10)), "not a metafile", {})));
    for (const char* name :
         {"png.emf", "png.wmf", "empty.wmf", "cut.emf", "cut.wmf", "noise.emf", "badpreview.eps"}) {
        EXPECT_EQ(DecodeImageFile(dir.filePath(name), at96()).error().number, kErrInvalidPicture)
            << name;
    }
}
