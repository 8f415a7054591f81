// Printing a picture to fit the page, on a PDF printer whose page is rendered back by
// Ghostscript: the page's orientation and where the picture lands on it.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

#include "capture/clsScreen.h"
#include "platform/Printing.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

// Left half red, right half blue.
Picture halves(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter(&image).fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(),
                              Qt::blue);
    return Picture::fromRaster(image);
}

// The page at 72 dots per inch, one dot per PDF point.
QImage renderPage(const QString& pdf) {
    QProcess gs;
    gs.start("gs", {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=png16m", "-r72",
                    "-sOutputFile=-", pdf});
    gs.waitForFinished(30000);
    return QImage::fromData(gs.readAllStandardOutput(), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

QRect inkOf(const QImage& page) {
    QRect ink;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (page.pixel(x, y) != qRgb(255, 255, 255)) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

}  // namespace

TEST(PrintToFitPage, WidePicturesInLandscapeTallOnesInPortrait) {
    if (QStandardPaths::findExecutable("gs").isEmpty()) {
        GTEST_SKIP() << "needs Ghostscript to read the page back";
    }
    const struct {
        QSize picture;
        QSize page;  // A4 in points
        bool fillsWidth;
    } cases[] = {{{400, 200}, {842, 595}, true}, {{100, 300}, {595, 842}, false}};
    for (const auto& c : cases) {
        const QString pdf = gvtest::testFolders().root + "/page.pdf";
        auto job = PrintJob::toPdfFile(pdf);
        const Picture picture = halves(c.picture);
        clsScreen::PrintPictureToFitPage(*job, picture);
        ASSERT_TRUE(job->finish());
        const QImage page = renderPage(pdf);
        ASSERT_EQ(page.size(), c.page);
        const QRect ink = inkOf(page);
        ASSERT_TRUE(ink.isValid());
        // From the top-left corner of the printable area, inside the page's margins.
        EXPECT_GT(ink.left(), 0);
        EXPECT_NEAR(ink.left(), ink.top(), 2);
        const int margin = ink.left();
        if (c.fillsWidth) {
            EXPECT_NEAR(ink.width(), c.page.width() - 2 * margin, 2);
        } else {
            EXPECT_NEAR(ink.height(), c.page.height() - 2 * margin, 2);
        }
        // In the picture's own shape, the right way round.
        EXPECT_NEAR(double(ink.width()) / ink.height(),
                    double(c.picture.width()) / c.picture.height(), 0.02);
        const QRgb left = page.pixel(ink.left() + 2, ink.center().y());
        const QRgb right = page.pixel(ink.right() - 2, ink.center().y());
        EXPECT_TRUE(qRed(left) > 240 && qBlue(left) < 16) << std::hex << left;
        EXPECT_TRUE(qBlue(right) > 240 && qRed(right) < 16) << std::hex << right;
        QFile::remove(pdf);
    }
}
