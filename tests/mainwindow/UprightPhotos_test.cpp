// The main window with a photo taken on its side: shown, copied and saved upright.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTest>

#include "images/Decoder.h"
#include "images/EmbeddedMetadata.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"
#include "support/WindowFixture.h"
#include "widgets/ImageBox.h"

using namespace gv;

namespace {

class UprightPhotos : public gvtest::WindowFixture {};

// Turned a quarter clockwise (orientation 6), the stored bottom-left quadrant is shown at the
// top left, the top-left one at the top right.
void expectTurnedQuarter(const QImage& image, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(image.size(), QSize(80, 120));
    const auto centres = gvtest::quadrantCentres(image.size());
    const int stored[4] = {2, 0, 3, 1};
    for (int q = 0; q < 4; ++q) {
        EXPECT_TRUE(gvtest::sameColour(image.pixel(centres[size_t(q)]),
                                       gvtest::kQuadrantColours[size_t(stored[q])].rgb(), 24))
            << q;
    }
}

}  // namespace

TEST_F(UprightPhotos, APhotoTakenOnItsSideIsShownCopiedAndSavedUpright) {
    ASSERT_TRUE(gvtest::writeJpeg(file("side.jpg"), gvtest::quadrantImage({120, 80}), 95));
    ASSERT_TRUE(gvtest::setExifOrientation(file("side.jpg"), 6));
    SaveSetting(keys::kImageSize, QStringLiteral("Normal"));
    open();
    click("side.jpg");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Image1->picture().decodingRest(); }, 20000));
    EXPECT_EQ(appState().ImageWidthPx, 80);
    EXPECT_EQ(appState().ImageHeightPx, 120);
    expectTurnedQuarter(w->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32), "shown");

    w->mnuCopy_Click();
    expectTurnedQuarter(QApplication::clipboard()->image(), "copied");

    m_dialogs->fileAnswers.enqueue(FileChoice{file("again"), "again", 1});
    m_dialogs->modalScripts.enqueue([](QDialog&) { return int(QDialog::Accepted); });
    w->mnuSave_Click();
    QFile saved(file("again.jpg"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    // The pixels as shown, and nothing that would turn them again.
    EXPECT_EQ(readEmbeddedMetadata(saved.readAll()).orientation, 1);
    const DecodeResult again = DecodeImageFile(file("again.jpg"));
    ASSERT_TRUE(again.ok());
    expectTurnedQuarter(again.picture().raster(), "saved");
}
