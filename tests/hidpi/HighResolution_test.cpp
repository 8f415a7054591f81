// The program on a screen at 200 %: images at Actual Size show one image pixel per device
// pixel, and the main window keeps its layout in the screen's units.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "fullscreen/frmFullscn.h"
#include "platform/Controls.h"
#include "platform/Screen.h"
#include "support/ImageFiles.h"
#include "support/WindowFixture.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

using namespace gv;
using gvtest::onWindow;

namespace {

class HighResolution : public gvtest::WindowFixture {};

}  // namespace

TEST_F(HighResolution, ActualSizeShowsCopiesAndTilesOneImagePixelPerDevicePixel) {
    // Odd sides: the last pixel takes a whole unit of the screen.
    const QImage image = gvtest::noisyImage(QSize(65, 49), 7);
    ASSERT_TRUE(gvtest::writePng(file("n.png"), image));
    open();
    w->show();
    ASSERT_EQ(w->devicePixelRatioF(), 2.0);
    click("n.png");
    if (w->displayMode() != kActualSize) {
        w->ToggleDisplayMode();
    }
    QCoreApplication::processEvents();
    frmFullscn viewer(fullScreenStart("n.png", QRect(0, 0, 640, 480)), FullScreenHost{});
    viewer.show();
    QCoreApplication::processEvents();
    // The main window and the full-screen viewer alike.
    for (ImageBox* box : {w->Image1, viewer.findChild<ImageBox*>(QStringLiteral("Image1"))}) {
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->size(), QSize(33, 25));
        const QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), QSize(66, 50));
        EXPECT_EQ(shown.copy(0, 0, 65, 49), image);
    }

    // A rectangle drawn with the mouse in crop mode, from (5, 4) to (25, 19) on the screen.
    w->mnuCrop->trigger();
    QTest::mousePress(w->Image1, Qt::LeftButton, {}, QPoint(5, 4));
    QMouseEvent move(QEvent::MouseMove, QPointF(25, 19), w->Image1->mapToGlobal(QPointF(25, 19)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->Image1, &move);
    QTest::mouseRelease(w->Image1, Qt::LeftButton, {}, QPoint(25, 19));
    EXPECT_EQ(w->lblSelSize->text(), QStringLiteral("40x30"));
    QApplication::clipboard()->clear();
    w->mnuCopy->trigger();
    const QImage copied = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(copied, image.copy(10, 8, 40, 30));

    // Tiled, the view repeats the image side by side, with no gap after an odd last pixel.
    bool untile = false;
    w->TileImage(untile);
    QCoreApplication::processEvents();
    const QImage tiles =
        w->Picture1->grab(QRect(0, 0, 65, 49)).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(tiles.size(), QSize(130, 98));
    EXPECT_EQ(tiles.copy(0, 0, 65, 49), image);
    EXPECT_EQ(tiles.copy(65, 49, 65, 49), image);
}

TEST_F(HighResolution, TheMainWindowKeepsItsLayoutInTheScreensUnits) {
    // Twips are converted with the logical dpi, so a layout in twips is the same in units.
    EXPECT_DOUBLE_EQ(twipsPerPixelX(), 15.0);
    EXPECT_DOUBLE_EQ(twipsPerPixelY(), 15.0);
    open();
    w->show();
    QCoreApplication::processEvents();
    const QRect client = w->rect();
    QRect previous;
    for (QWidget* button : w->Toolbar) {
        const QRect r = onWindow(button);
        EXPECT_TRUE(client.contains(r)) << button->objectName().toStdString();
        if (!previous.isNull()) {
            EXPECT_EQ(r.top(), previous.top()) << button->objectName().toStdString();
            EXPECT_GT(r.left(), previous.right()) << button->objectName().toStdString();
        }
        previous = r;
    }
    const QRect drive = onWindow(w->Drive1);
    const QRect folders = onWindow(w->Dir1);
    const QRect files = onWindow(w->File1);
    const QRect view = onWindow(w->Picture1);
    EXPECT_GT(drive.top(), previous.bottom());
    EXPECT_GT(folders.top(), drive.bottom());
    EXPECT_GT(files.top(), folders.bottom());
    EXPECT_EQ(folders.left(), drive.left());
    EXPECT_EQ(files.left(), drive.left());
    EXPECT_FALSE(files.intersects(view));
    for (const QRect& r : {drive, folders, files, view}) {
        EXPECT_TRUE(client.contains(r));
    }
}
