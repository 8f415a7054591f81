// The main window with real image files: loading, information, display modes, the view's
// mouse commands, the File Types menu and saving.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "images/MemoryBudget.h"
#include "images/Picture.h"
#include "mainwindow/FilePropertiesDialog.h"
#include "mainwindow/frmGlimvane.h"
#include "mainwindow/frmJpegQual.h"
#include "platform/Controls.h"
#include "platform/Screen.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/Bytes.h"
#include "support/FakeDialogs.h"
#include "support/FakeTrayIcon.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"
#include "support/RasterFiles.h"
#include "support/TestEnvironment.h"
#include "support/Tmpfs.h"
#include "support/WindowFixture.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"
#include "widgets/ViewMath.h"

using namespace gv;

namespace {

class ImageView : public gvtest::WindowFixture {
protected:
    QString panel(const char* key) const { return w->SB1->panelText(QString::fromLatin1(key)); }
    const gvtest::ShownMessage* lastMessage() {
        return m_dialogs->shown.isEmpty() ? nullptr : &m_dialogs->shown.last();
    }
};

QImage testImage(QSize size) {
    return gvtest::quadrantImage(size);
}

// Frames of one flat colour each, their hues hueStep apart, shown 10 hundredths each.
QList<gvtest::GifFrame> flatFrames(int count, QSize size, int hueStep) {
    QList<gvtest::GifFrame> frames;
    for (int i = 0; i < count; ++i) {
        QImage f(size, QImage::Format_RGB32);
        f.fill(QColor::fromHsv(i * hueStep, 200, 200));
        frames << gvtest::GifFrame{f, 10};
    }
    return frames;
}

}  // namespace

TEST_F(ImageView, EveryTypeLoadsWithItsInformation) {
    const QImage img = testImage({200, 120});
    struct Case {
        QString name;
        std::function<bool(const QString&)> write;
        QString ftype;
        PictureKind kind;
        QSize size;
    };
    const QList<Case> cases = {
        {"a.bmp", [&](auto p) { return gvtest::writeBmp(p, img); }, "Bitmap File", PictureKind::Bitmap, {200, 120}},
        {"b.dib", [&](auto p) { return gvtest::writeBmp(p, img); }, "Bitmap File", PictureKind::Bitmap, {200, 120}},
        {"c.rle", [&](auto p) { return gvtest::writeRle8Bmp(p, img); }, "Bitmap File", PictureKind::Bitmap, {200, 120}},
        {"d.jpg", [&](auto p) { return gvtest::writeJpeg(p, img); }, "Jpeg File", PictureKind::Bitmap, {200, 120}},
        {"d2.jpe", [&](auto p) { return gvtest::writeJpeg(p, img); }, "Jpeg File", PictureKind::Bitmap, {200, 120}},
        {"e.JPEG", [&](auto p) { return gvtest::writeJpeg(p, img); }, "Jpeg File", PictureKind::Bitmap, {200, 120}},
        {"f.gif", [&](auto p) { return gvtest::writeGif(p, img); }, "GIF File (89a)", PictureKind::Bitmap, {200, 120}},
        {"g.tif", [&](auto p) { return gvtest::writeTiff(p, img); }, "TIFF File", PictureKind::Bitmap, {200, 120}},
        {"h.TIFF", [&](auto p) { return gvtest::writeTiff(p, img); }, "TIFF File", PictureKind::Bitmap, {200, 120}},
        {"i.pcx", [&](auto p) { return gvtest::writePcx(p, img); }, "Zsoft Paint", PictureKind::Bitmap, {200, 120}},
        {"j.png", [&](auto p) { return gvtest::writePng(p, img); }, "Portable Network Graphics", PictureKind::Bitmap, {200, 120}},
        {"k.pct", [&](auto p) { return gvtest::writePict(p, img); }, "Mac PICT format", PictureKind::Bitmap, {200, 120}},
        {"l.tga", [&](auto p) { return gvtest::writeTga(p, img); }, "TGA File", PictureKind::Bitmap, {200, 120}},
        {"m.eps", [&](auto p) { return gvtest::writeEpsWithTiffPreview(p, img); }, "EPS Preview", PictureKind::Bitmap, {200, 120}},
        {"n.ico", [&](auto p) { return gvtest::writeIco(p, {testImage({32, 32})}); }, "Icon File", PictureKind::Icon, {32, 32}},
        {"o.cur", [&](auto p) { return gvtest::writeCur(p, testImage({32, 32}), {3, 4}); }, "Cursor", PictureKind::Icon, {32, 32}},
        {"p.wmf", [&](auto p) { return gvtest::writeBytes(p, gvtest::sampleWmf()); }, "MetaFile", PictureKind::Metafile, {}},
        {"q.emf", [&](auto p) { return gvtest::writeBytes(p, gvtest::sampleEmf()); }, "MetaFile", PictureKind::EnhancedMetafile, {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.write(file(c.name))) << c.name.toStdString();
    }
    open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        m_dialogs->shown.clear();
        click(c.name);
        EXPECT_TRUE(m_dialogs->shown.isEmpty())
            << (m_dialogs->shown.isEmpty() ? "" : m_dialogs->shown[0].text.toStdString());
        EXPECT_EQ(w->windowTitle(), "Glimvane - " + c.name);
        EXPECT_EQ(panel("fname"), c.name);
        if (!c.ftype.isEmpty()) {
            EXPECT_EQ(panel("ftype"), c.ftype);
        }
        EXPECT_EQ(w->SB1->panelWidth("ftype"), c.ftype == "Portable Network Graphics" ? 200 : 100);
        EXPECT_EQ(w->Text1->text(), c.name.right(3).toLower());
        ASSERT_FALSE(w->Image1->picture().isNull());
        EXPECT_EQ(w->Image1->picture().kind(), c.kind);
        const QSize size = w->Image1->picture().sizePixels();
        if (c.size.isValid()) {
            EXPECT_EQ(size, c.size);
        }
        EXPECT_EQ(panel("dimen"), QString("%1x%2").arg(size.width()).arg(size.height()));
        EXPECT_EQ(panel("size"), fileSizeText(QFileInfo(file(c.name)).size()));
        EXPECT_EQ(appState().CurrentImagePath, file(c.name));
        EXPECT_TRUE(appState().ImageIsSaved);
        EXPECT_TRUE(w->mnuSave->isEnabled());
        EXPECT_FALSE(w->logoShown());
    }
}

TEST_F(ImageView, BrokenFilesGiveTheInvalidFormatMessageAndTheLogo) {
    const QImage img = testImage({64, 48});
    ASSERT_TRUE(gvtest::writePng(file("real.png"), img));
    ASSERT_TRUE(gvtest::writeEmptyFile(file("empty.jpg")));
    ASSERT_TRUE(gvtest::writeTruncatedCopy(file("real.png"), file("cut.png"), 40));
    ASSERT_TRUE(gvtest::writeRandomBytes(file("noise.gif"), 3000, 7));
    ASSERT_TRUE(gvtest::writeRandomBytes(file("noise.wmf"), 3000, 8));
    ASSERT_TRUE(gvtest::writeRandomBytes(file("noise.rle"), 500, 9));
    QFile::copy(file("real.png"), file("mislabelled.jpg"));
    open();
    for (const QString name : {"empty.jpg", "cut.png", "noise.gif", "noise.wmf", "mislabelled.jpg"}) {
        SCOPED_TRACE(name.toStdString());
        click("real.png");
        m_dialogs->shown.clear();
        click(name);
        ASSERT_TRUE(m_dialogs->showedOne(
            {.text = "The file " + file(name) +
                     " is an invalid or unknown image format. The file extension indicates it "
                     "should be supported, it may have an incorrect extension",
             .title = "Glimvane",
             .icon = MsgIcon::None}));
        EXPECT_TRUE(w->logoShown());
        EXPECT_EQ(w->windowTitle(), "Glimvane - Vividra");
    }
    m_dialogs->shown.clear();
    click("noise.rle");
    ASSERT_EQ(m_dialogs->shown.size(), 1);
    EXPECT_EQ(m_dialogs->shown[0].text,
              "Cannot load Compuserve RLE image formats, CVL does not have the rights for this "
              "operation. Glimvane is only compatible with Windows RLE formats.");
}

TEST_F(ImageView, AnImageBeyondTheMemoryBudgetIsRefused) {
    // A bitmap header that claims 60000 x 60000 pixels, with almost no data behind it.
    ASSERT_TRUE(gvtest::writeBytes(
        file("huge.bmp"), gvtest::bmpBytes({40, 60000, 60000, 24, 0, {}, {}, QByteArray(16, 1)})));
    open();
    click("huge.bmp");
    ASSERT_NE(lastMessage(), nullptr);
    EXPECT_EQ(lastMessage()->text, "Sorry, the image you are trying to view is too large!");
    EXPECT_EQ(lastMessage()->title, "Glimvane Error");
    EXPECT_TRUE(w->logoShown());
}

TEST_F(ImageView, ThePictureShownMakesRoomForTheNextWithinTheBudget) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), testImage({800, 600})));
    ASSERT_TRUE(gvtest::writePng(file("b.png"), testImage({800, 600})));
    MemoryBudget& budget = MemoryBudget::program();
    const qint64 saved = budget.limit();
    // Room for one picture of 1.9 MB, not for two.
    budget.setLimit(3'000'000);
    open();
    click("a.png");
    click("b.png");
    budget.setLimit(saved);
    EXPECT_TRUE(messageBoxes().isEmpty());
    EXPECT_FALSE(w->logoShown());
    EXPECT_EQ(w->Image1->picture().sizePixels(), QSize(800, 600));
    EXPECT_EQ(appState().CurrentImagePath, file("b.png"));
}

TEST_F(ImageView, AFileChosenWhileAnotherDecodesSupersedesIt) {
    ASSERT_TRUE(gvtest::writePng(file("slow.png"), testImage({3000, 3000})));
    ASSERT_TRUE(gvtest::writePng(file("next.png"), testImage({40, 30})));
    open();
    QStringList titles;
    QObject::connect(w.get(), &QWidget::windowTitleChanged, [&titles](const QString& t) { titles << t; });
    // Taken by the window while the first file decodes.
    bool chosen = false;
    QTimer::singleShot(0, w.get(), [&] {
        chosen = true;
        click("next.png");
    });
    click("slow.png");
    EXPECT_TRUE(chosen);
    EXPECT_EQ(titles, QStringList{"Glimvane - next.png"});
    EXPECT_EQ(w->Image1->picture().sizePixels(), QSize(40, 30));
    EXPECT_EQ(appState().CurrentImagePath, file("next.png"));
    EXPECT_TRUE(messageBoxes().isEmpty());
}

TEST_F(ImageView, DisplayModesLayOutTheImage) {
    ASSERT_TRUE(gvtest::writePng(file("wide.png"), testImage({3000, 900})));
    ASSERT_TRUE(gvtest::writePng(file("small.png"), testImage({64, 64})));
    ASSERT_TRUE(gvtest::writePng(file("huge.png"), testImage({2000, 2000})));
    ASSERT_TRUE(gvtest::writePng(file("narrow.png"), testImage({40, 2000})));
    open();
    const QSize view = w->Picture1->size();
    click("wide.png");
    ASSERT_EQ(w->displayMode(), kBestFit);
    const FitResult fit = bestFit({3000, 900}, view);
    EXPECT_EQ(w->imageRect(), QRectF(fit.origin, QSizeF(fit.size)));
    EXPECT_FALSE(w->HScroll1->isEnabled());
    EXPECT_FALSE(w->VScroll1->isEnabled());
    EXPECT_EQ(panel("mode"), "Mode: Best Fit");
    // A picture smaller than the view is shown unscaled, in the middle.
    click("small.png");
    EXPECT_EQ(w->imageRect(), QRectF(actualSizeOrigin({64, 64}, view), QSizeF(64, 64)));
    EXPECT_EQ(w->Image1->geometry().center(), w->Picture1->rect().center());
    click("wide.png");

    w->Toolbar[6]->click();
    EXPECT_EQ(w->displayMode(), kActualSize);
    EXPECT_EQ(panel("mode"), "Mode: Actual Size");
    EXPECT_EQ(w->imageRect().size(), QSizeF(3000, 900));
    EXPECT_TRUE(w->HScroll1->isEnabled());
    EXPECT_EQ(w->HScroll1->maximum(), 3000 - view.width());
    // Each bar moves its own edge to minus its value.
    w->HScroll1->setValue(250);
    EXPECT_EQ(w->Image1->x(), -250);
    click("huge.png");
    w->HScroll1->setValue(300);
    w->VScroll1->setValue(200);
    EXPECT_EQ(w->Image1->pos(), QPoint(-300, -200));
    // A taller but narrower image after scrolling both ways is centred across, at the top.
    click("narrow.png");
    EXPECT_EQ(w->Image1->pos(), QPoint((view.width() - 40) / 2, 0));

    // Tiles of a small image cover the view.
    click("small.png");
    w->TilePic->click();
    EXPECT_TRUE(w->tileMode());
    EXPECT_EQ(panel("mode"), "Mode: Tile");
    EXPECT_EQ(w->Picture1->tileGridShown(), tileGrid({64, 64}, view));
    EXPECT_FALSE(w->mnuCrop->isEnabled());
    w->TilePic->click();
    EXPECT_FALSE(w->tileMode());
    EXPECT_EQ(panel("mode"), "Mode: Actual Size");
    EXPECT_FALSE(w->Picture1->tiled());
    EXPECT_EQ(w->imageRect(),
              QRectF(actualSizeOrigin({64, 64}, view), QSizeF(64, 64)));
}

TEST_F(ImageView, DraggingScrollsByTheDistanceOverTheDivisor) {
    ASSERT_TRUE(gvtest::writePng(file("tall.png"), testImage({300, 3000})));
    SaveSetting(keys::kDragSen, "6");  // the most sensitive: divisor 2
    SaveSetting(keys::kImageSize, "Normal");
    open();
    ASSERT_EQ(w->dragStep(), 2);
    click("tall.png");
    w->mnuDrag->trigger();
    w->VScroll1->setValue(100);
    QTest::mousePress(w->Image1, Qt::LeftButton, {}, QPoint(50, 200));
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 210), w->Image1->mapToGlobal(QPointF(50, 210)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->Image1, &move);
    EXPECT_EQ(w->VScroll1->value(), 95);
    QTest::mouseRelease(w->Image1, Qt::LeftButton, {}, QPoint(50, 210));
}

TEST_F(ImageView, TheSelectionRectangleIsClippedToTheImage) {
    ASSERT_TRUE(gvtest::writePng(file("pic.png"), testImage({200, 150})));
    open();
    click("pic.png");
    w->mnuCrop->trigger();
    QTest::mousePress(w->Image1, Qt::LeftButton, {}, QPoint(20, 30));
    QMouseEvent move(QEvent::MouseMove, QPointF(500, 90), w->Image1->mapToGlobal(QPointF(500, 90)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->Image1, &move);
    EXPECT_TRUE(w->Shape1->isVisibleTo(w.get()));
    EXPECT_EQ(w->Shape1->geometry(), QRect(20, 30, 180, 60));
    EXPECT_EQ(w->lblSelSize->text(), "180x60");
    // Beyond the image's edge, and still on the view where it can be seen.
    EXPECT_EQ(w->lblSelSize->pos(), w->Image1->pos() + QPoint(200 + 9, 90 + 9));
    EXPECT_TRUE(w->Picture1->rect().contains(w->lblSelSize->geometry()));
    // Dragged up and to the left: the size of what is drawn.
    QMouseEvent back(QEvent::MouseMove, QPointF(-40, 10), w->Image1->mapToGlobal(QPointF(-40, 10)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->Image1, &back);
    EXPECT_EQ(w->Shape1->geometry(), QRect(-40, 10, 60, 20));
    EXPECT_EQ(w->lblSelSize->text(), "60x20");
    QTest::mouseRelease(w->Image1, Qt::LeftButton, {}, QPoint(-40, 10));
    // Another cursor mode hides the selection.
    w->mnuNorm->trigger();
    EXPECT_FALSE(w->Shape1->isVisibleTo(w.get()));
}

TEST_F(ImageView, BackgroundColoursAreSavedAndRestored) {
    // The stored colour is ticked from the start, before any image.
    SaveSetting(keys::kColour, "Black");
    open();
    EXPECT_TRUE(w->mnuBBlack->isChecked());
    EXPECT_FALSE(w->mnuBGrey->isChecked());
    ASSERT_TRUE(gvtest::writePng(file("pic.png"), testImage({20, 20})));
    click("pic.png");
    w->mnuBWhite->trigger();
    EXPECT_EQ(GetSetting(keys::kColour), "White");
    EXPECT_EQ(w->Picture1->background(), QColor(255, 255, 255));
    EXPECT_TRUE(w->mnuBWhite->isChecked());
    m_dialogs->colourAnswers.enqueue(QColor(0x12, 0x34, 0x56));
    w->mnuChooseCol->trigger();
    EXPECT_EQ(GetSetting(keys::kColour), QString::number(0x563412));
    EXPECT_TRUE(w->mnuChooseCol->isChecked());
    EXPECT_FALSE(w->mnuBWhite->isChecked());
    // Cancelling the colour dialog changes nothing.
    w->mnuChooseCol->trigger();
    EXPECT_EQ(GetSetting(keys::kColour), QString::number(0x563412));
    EXPECT_TRUE(w->mnuChooseCol->isChecked());
    w->ApplyBackColour();
    EXPECT_EQ(w->Picture1->background(), QColor(0x12, 0x34, 0x56));
    SaveSetting(keys::kColour, "Grey");
    w->ApplyBackColour();
    EXPECT_EQ(w->Picture1->background(), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(ImageView, UnsavedPicturesAskBeforeTheyAreReplaced) {
    ASSERT_TRUE(gvtest::writePng(file("one.png"), testImage({40, 30})));
    ASSERT_TRUE(gvtest::writePng(file("two.png"), testImage({50, 30})));
    open();
    click("one.png");
    w->LoadAndShowImage(Picture::fromRaster(testImage({77, 33})));
    EXPECT_EQ(w->windowTitle(), "Glimvane - Unsaved Image");
    EXPECT_EQ(panel("fname"), "Unsaved");
    EXPECT_EQ(panel("size"), "0 Bytes");
    EXPECT_EQ(panel("ftype"), "Unknown");
    EXPECT_EQ(panel("dimen"), "77x33");
    EXPECT_FALSE(appState().ImageIsSaved);
    EXPECT_TRUE(appState().CurrentImagePath.isEmpty());
    EXPECT_FALSE(w->mnuDel->isEnabled());
    EXPECT_TRUE(w->mnuSave->isEnabled());

    // Cancel: the unsaved picture stays and the list has no selection.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Cancel);
    click("two.png");
    ASSERT_EQ(m_dialogs->shown.size(), 1);
    EXPECT_EQ(m_dialogs->shown[0].title, "Save Image?");
    EXPECT_EQ(w->windowTitle(), "Glimvane - Unsaved Image");
    EXPECT_TRUE(w->File1->selectedRows().isEmpty());
    EXPECT_EQ(w->File1->currentRow(), -1);

    // Close asks too; Cancel keeps the picture.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Cancel);
    w->mnuClose->trigger();
    EXPECT_EQ(w->windowTitle(), "Glimvane - Unsaved Image");

    // No: the new file replaces it.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::No);
    click("two.png");
    EXPECT_EQ(w->windowTitle(), "Glimvane - two.png");
    EXPECT_TRUE(appState().ImageIsSaved);

    w->mnuClose->trigger();
    EXPECT_TRUE(w->logoShown());
    EXPECT_FALSE(w->mnuClose->isEnabled());
    EXPECT_TRUE(appState().CurrentImagePath.isEmpty());
    // The logo's website line is shown whole, not in the last image's narrow type panel.
    const QString website = panel("ftype");
    ASSERT_TRUE(website.startsWith("Glimvane Website "));
    const QList<QLabel*> labels = w->SB1->findChildren<QLabel*>();
    const auto label = std::find_if(labels.begin(), labels.end(),
                                    [&](const QLabel* l) { return l->text() == website; });
    ASSERT_NE(label, labels.end());
    EXPECT_GE((*label)->sizeHint().width(),
              (*label)->fontMetrics().horizontalAdvance(website));
}

TEST_F(ImageView, YesToTheUnsavedQuestionSavesBeforeAnythingIsReplaced) {
    ASSERT_TRUE(gvtest::writePng(file("two.png"), testImage({50, 30})));
    open();
    w->LoadAndShowImage(Picture::fromRaster(testImage({77, 33})));
    // Yes, then the save is cancelled: nothing is replaced and nothing written.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
    m_dialogs->fileAnswers.enqueue(std::nullopt);
    click("two.png");
    EXPECT_EQ(w->windowTitle(), "Glimvane - Unsaved Image");
    EXPECT_FALSE(appState().ImageIsSaved);
    EXPECT_TRUE(w->File1->selectedRows().isEmpty());
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files), QStringList{"two.png"});

    // Yes, and saved: the picture is in its file, then the file the user chose is shown.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
    m_dialogs->fileAnswers.enqueue(FileChoice{file("kept"), "kept", 2});
    click("two.png");
    ASSERT_TRUE(QFile::exists(file("kept.bmp")));
    EXPECT_EQ(QImageReader(file("kept.bmp")).size(), QSize(77, 33));
    EXPECT_TRUE(appState().ImageIsSaved);
    EXPECT_EQ(w->windowTitle(), "Glimvane - two.png");

    // Close with Yes: saved, and the saved image stays shown.
    w->LoadAndShowImage(Picture::fromRaster(testImage({12, 34})));
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
    m_dialogs->fileAnswers.enqueue(FileChoice{file("closing"), "closing", 2});
    w->mnuClose->trigger();
    EXPECT_TRUE(QFile::exists(file("closing.bmp")));
    EXPECT_FALSE(w->logoShown());
    EXPECT_EQ(w->windowTitle(), "Glimvane - closing.bmp");
}

TEST_F(ImageView, SavingAPastedBitmapAsJpegSelectsTheNewFile) {
    open();
    w->LoadAndShowImage(Picture::fromRaster(testImage({120, 90})));
    m_dialogs->fileAnswers.enqueue(FileChoice{file("holiday"), "holiday", 1});
    m_dialogs->modalScripts.enqueue([](QDialog& d) {
        auto& q = static_cast<frmJpegQual&>(d);
        EXPECT_EQ(q.windowTitle(), "Jpeg Quality");
        EXPECT_EQ(q.slider()->value(), 50);
        EXPECT_EQ(q.valueText(), "Quality Value: 50");
        q.slider()->setValue(80);
        EXPECT_EQ(q.valueText(), "Quality Value: 80");
        return int(QDialog::Accepted);
    });
    w->mnuSave->trigger();
    const auto& save = m_dialogs->shown[0];
    EXPECT_EQ(save.kind, "save");
    EXPECT_EQ(save.title, "Save Image as...");
    EXPECT_EQ(save.filter, "Jpeg (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp");
    EXPECT_EQ(save.folder, m_folder);
    ASSERT_TRUE(QFile::exists(file("holiday.jpg")));
    QImageReader reader(file("holiday.jpg"));
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.size(), QSize(120, 90));
    EXPECT_TRUE(appState().ImageIsSaved);
    EXPECT_EQ(w->File1->currentText(), "holiday.jpg");
    EXPECT_EQ(w->windowTitle(), "Glimvane - holiday.jpg");

    // A name typed with the extension in capitals is kept as typed; a .jpeg gets .jpg added.
    w->LoadAndShowImage(Picture::fromRaster(testImage({10, 10})));
    m_dialogs->fileAnswers.enqueue(FileChoice{file("KEEP.JPG"), "KEEP.JPG", 1});
    m_dialogs->modalScripts.enqueue([](QDialog&) { return int(QDialog::Accepted); });
    w->mnuSave->trigger();
    EXPECT_TRUE(QFile::exists(file("KEEP.JPG")));
    w->LoadAndShowImage(Picture::fromRaster(testImage({10, 10})));
    m_dialogs->fileAnswers.enqueue(FileChoice{file("x.jpeg"), "x.jpeg", 1});
    m_dialogs->modalScripts.enqueue([](QDialog&) { return int(QDialog::Accepted); });
    w->mnuSave->trigger();
    EXPECT_TRUE(QFile::exists(file("x.jpeg.jpg")));
}

TEST_F(ImageView, CancellingTheQualityWritesNothing) {
    open();
    w->LoadAndShowImage(Picture::fromRaster(testImage({30, 30})));
    m_dialogs->fileAnswers.enqueue(FileChoice{file("never"), "never", 1});
    w->mnuSave->trigger();  // no script: the quality dialog is cancelled
    EXPECT_FALSE(QFile::exists(file("never.jpg")));
    EXPECT_FALSE(appState().ImageIsSaved);
    EXPECT_EQ(w->windowTitle(), "Glimvane - Unsaved Image");

    // Agreeing to replace a file and then cancelling the quality leaves both as they were:
    // the old file is not written and not shown in place of the picture.
    ASSERT_TRUE(gvtest::writeJpeg(file("old.jpg"), testImage({8, 8})));
    const QByteArray oldBytes = gvtest::readBytes(file("old.jpg"));
    m_dialogs->fileAnswers.enqueue(FileChoice{file("old"), "old", 1});
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
    m_dialogs->shown.clear();
    w->mnuSave->trigger();
    // The file dialog, the replace question, the quality dialog.
    ASSERT_EQ(m_dialogs->shown.size(), 3);
    EXPECT_EQ(m_dialogs->shown[1].text, "old.jpg already exists.\nDo you want to replace it?");
    EXPECT_EQ(gvtest::readBytes(file("old.jpg")), oldBytes);
    EXPECT_EQ(w->windowTitle(), "Glimvane - Unsaved Image");
    EXPECT_EQ(w->File1->currentRow(), -1);
}

// At Actual Size a large JPEG shows its top-left part first while the rest is decoded; a
// scroll, a change to Best Fit or a save straight after opening gets the whole image.
TEST_F(ImageView, TheFirstActionsAfterOpeningSeeTheWholeImage) {
    ASSERT_TRUE(gvtest::writeJpeg(file("big.jpg"), testImage({2400, 1800})));
    ASSERT_TRUE(gvtest::writePng(file("small.png"), testImage({30, 30})));
    const QImage whole = QImageReader(file("big.jpg")).read().convertToFormat(QImage::Format_RGB32);
    SaveSetting(keys::kImageSize, "Normal");
    open();
    const QSize view = w->Picture1->size();
    for (const char* action : {"scroll", "best fit", "save"}) {
        SCOPED_TRACE(action);
        click("small.png");
        click("big.jpg");
        ASSERT_EQ(w->Image1->picture().sizePixels(), QSize(2400, 1800));
        const QString name = QString::fromLatin1(action);
        if (name == "scroll") {
            w->HScroll1->setValue(w->HScroll1->maximum());
            w->VScroll1->setValue(w->VScroll1->maximum());
            const QImage shown =
                w->Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QPoint corner(2400 - view.width(), 1800 - view.height());
            EXPECT_EQ(shown.copy(QRect(QPoint(0, 0), view)), whole.copy(QRect(corner, view)));
            // Painted from the JPEG's planes, at half the memory of the whole raster.
            EXPECT_TRUE(w->Image1->picture().heldAsPlanes());
        } else if (name == "best fit") {
            w->Toolbar[6]->click();
            ASSERT_EQ(w->displayMode(), kBestFit);
            const QImage shown = w->Image1->shownImage();
            EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32),
                      whole.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            w->Toolbar[6]->click();
        } else {
            m_dialogs->fileAnswers.enqueue(FileChoice{file("copy"), "copy", 2});
            w->mnuSave->trigger();
            EXPECT_EQ(QImage(file("copy.bmp")).convertToFormat(QImage::Format_RGB32), whole);
        }
    }
}

TEST_F(ImageView, AFailedSaveSaysWhyAndKeepsTheImageAndItsState) {
    ASSERT_TRUE(gvtest::writePng(file("pic.png"), testImage({30, 30})));
    // A full disk: a small file system of its own, filled up (needs the right to mount).
    const QString full = m_folder + "/full";
    QDir().mkpath(full);
    gvtest::Tmpfs disk(full.toStdString(), "size=64k");
    const bool mounted = disk.mounted();
    if (mounted) {
        QFile filler(full + "/filler");
        filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        while (filler.write(QByteArray(4096, 'x')) > 0) {
        }
        filler.close();
    }
    open();
    click("pic.png");
    ASSERT_TRUE(appState().ImageIsSaved);
    struct Case {
        QString path;
        QString message;
    };
    QList<Case> cases = {
        {m_folder + "/no such folder/copy", "Path not found, error number: 76"},
        {m_folder + "/" + QString(300, 'n'), "Bad file name or number, error number: 52"},
    };
    if (mounted) {
        cases.append({full + "/copy", "Disk full, error number: 61"});
    }
    for (const Case& c : cases) {
        m_dialogs->fileAnswers.enqueue(FileChoice{c.path, "copy", 2});
        m_dialogs->shown.clear();
        w->mnuSave->trigger();
        const auto boxes = messageBoxes();
        ASSERT_EQ(boxes.size(), 1) << c.message.toStdString();
        EXPECT_EQ(boxes[0].icon, MsgIcon::Critical);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].title, "Glimvane");
        // Still the file image it was.
        EXPECT_TRUE(appState().ImageIsSaved);
        EXPECT_EQ(w->windowTitle(), "Glimvane - pic.png");
    }
    // The full disk's case, where nothing could be mounted: said, not passed over.
    GV_REQUIRE_TMPFS(disk);
}

TEST_F(ImageView, WithoutTheJpegWriterSavingAJpegSaysSo) {
    // The plugins as installed, but for the JPEG one.
    QTemporaryDir plugins;
    for (const QString& folder : QCoreApplication::libraryPaths()) {
        for (const QFileInfo& kind : QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QDir().mkpath(plugins.path() + "/" + kind.fileName());
            for (const QFileInfo& plugin : QDir(kind.filePath()).entryInfoList(QDir::Files)) {
                if (plugin.fileName() != "libqjpeg.so") {
                    QFile::link(plugin.filePath(),
                                plugins.path() + "/" + kind.fileName() + "/" + plugin.fileName());
                }
            }
        }
    }
    QCoreApplication::setLibraryPaths({plugins.path()});
    if (QImageWriter::supportedImageFormats().contains("jpeg")) {
        GTEST_SKIP() << "an earlier test in this process has loaded the JPEG writer";
    }
    ASSERT_TRUE(gvtest::writePng(file("pic.png"), testImage({30, 30})));
    open();
    click("pic.png");
    m_dialogs->fileAnswers.enqueue(FileChoice{file("copy"), "copy", 1});
    m_dialogs->modalScripts.enqueue([](QDialog&) { return int(QDialog::Accepted); });
    m_dialogs->shown.clear();
    w->mnuSave->trigger();
    const auto boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), 1);
    const QStringList lines = boxes[0].text.split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "The Jpeg save component installed with Glimvane is not present on the "
                        "system: cannot save to jpegs.");
    EXPECT_EQ(lines[1], "Please reinstall Glimvane to restore the component");
    EXPECT_TRUE(lines[2].startsWith("Error Message Reported by System follows: libqjpeg"));
    EXPECT_EQ(boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(boxes[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(QFile::exists(file("copy.jpg")));
}

TEST_F(ImageView, JpegsOfSeeThroughPicturesAreWhiteBehind) {
    QImage clear(20, 10, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    open();
    w->LoadAndShowImage(Picture::fromRaster(clear));
    m_dialogs->fileAnswers.enqueue(FileChoice{file("paper"), "paper", 1});
    m_dialogs->modalScripts.enqueue([](QDialog&) { return int(QDialog::Accepted); });
    w->mnuSave->trigger();
    const QImage saved(file("paper.jpg"));
    ASSERT_FALSE(saved.isNull());
    EXPECT_GT(qGray(saved.pixel(10, 5)), 240);
}

TEST_F(ImageView, SavingABitmapIntoAnUncheckedTypeTurnsTheTypeOn) {
    open();
    w->mnuFTs[0]->trigger();  // BMP off
    ASSERT_FALSE(w->mnuFTs[0]->isChecked());
    ASSERT_FALSE(w->filePattern().contains("*.bmp"));
    w->LoadAndShowImage(Picture::fromRaster(testImage({64, 32})));
    m_dialogs->fileAnswers.enqueue(FileChoice{file("plain"), "plain", 2});
    w->mnuSave->trigger();
    ASSERT_TRUE(QFile::exists(file("plain.bmp")));
    EXPECT_TRUE(w->mnuFTs[0]->isChecked());
    EXPECT_TRUE(w->filePattern().startsWith("*.bmp;"));
    EXPECT_EQ(w->File1->currentText(), "plain.bmp");
    EXPECT_EQ(w->windowTitle(), "Glimvane - plain.bmp");
}

TEST_F(ImageView, IconsAndMetafilesAreSavedOnlyInTheirOwnFormat) {
    // A cursor is an icon picture too, but its file is not an icon file.
    ASSERT_TRUE(gvtest::writeCur(file("c.cur"), testImage({32, 32}), {3, 4}));
    open();
    click("c.cur");
    m_dialogs->fileAnswers.enqueue(FileChoice{file("from-cursor"), "from-cursor", 1});
    w->mnuSave->trigger();
    QFile icon(file("from-cursor.ico"));
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
    const QByteArray header = icon.read(4);
    EXPECT_EQ(header, QByteArray("\0\0\1\0", 4));  // type 1: an icon
    icon.close();
    EXPECT_EQ(QImage(file("from-cursor.ico"), "ico").size(), QSize(32, 32));
    w.reset();

    ASSERT_TRUE(gvtest::writeIco(file("i.ico"), {testImage({16, 16}), testImage({32, 32})}));
    ASSERT_TRUE(gvtest::writeBytes(file("m.wmf"), gvtest::sampleWmf()));
    ASSERT_TRUE(gvtest::writeBytes(file("e.emf"), gvtest::sampleEmf()));
    open();
    const std::tuple<QString, QString, QString> cases[] = {
        {"i.ico", "Icon (*.ico)|*.ico", "copy-i.ico"},
        {"m.wmf", "Windows MetaFile (*.wmf)|*.wmf", "copy-m.wmf"},
        {"e.emf", "Enhanced MetaFile (*.emf)|*.emf", "copy-e.emf"}};
    for (const auto& [source, filter, copy] : cases) {
        click(source);
        m_dialogs->shown.clear();
        const QString base = copy.left(copy.size() - 4);
        m_dialogs->fileAnswers.enqueue(FileChoice{file(base), base, 1});
        w->mnuSave->trigger();
        ASSERT_FALSE(m_dialogs->shown.isEmpty());
        EXPECT_EQ(m_dialogs->shown[0].filter, filter);
        QFile a(file(source)), b(file(copy));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << copy.toStdString();
        // Saved back unchanged, in its own format.
        EXPECT_EQ(a.readAll(), b.readAll());
    }
}

TEST_F(ImageView, FileTypesBuildThePatternAndTheOpenFilter) {
    open();
    ASSERT_EQ(w->mnuFTs.size(), 21);
    const bool pcx = w->mnuFTs[4]->isVisible();
    QStringList captions;
    for (QAction* a : w->mnuFTs) {
        captions << a->text();
    }
    EXPECT_EQ(captions, (QStringList{"BMP", "Jpeg", "GIF", "TIFF", "PCX", "PNG", "WMF", "EMF",
                                     "PICT", "TGA", "EPS", "DIB", "RLE", "Cursors", "Icons",
                                     "WebP", "AVIF", "HEIF", "JPEG XL", "SVG", "Camera raw"}));
    const QString all =
        "*.bmp;*.jpg;*.jpe;*.jpeg;*.gif;*.tif;*.tiff;*.pcx;*.png;*.wmf;*.emf;*.pct;*.tga;*.eps;"
        "*.dib;*.rle;*.cur;*.ico;*.webp;*.avif;*.heic;*.heif;*.jxl;*.svg;*.svgz;*.cr2;*.cr3;*.nef;"
        "*.arw;*.dng;*.orf;*.raf;*.rw2";
    EXPECT_EQ(w->filePattern(), pcx ? all : QString(all).remove("*.pcx;"));
    w->mnuOpen->trigger();
    EXPECT_EQ(m_dialogs->shown.last().title, "Glimvane - Open Image...");
    EXPECT_EQ(m_dialogs->shown.last().filter, "Selected Types|" + w->filePattern());

    for (QAction* a : w->mnuFTs) {
        a->setChecked(false);
    }
    w->mnuFTs[2]->setChecked(true);
    EXPECT_EQ(w->SetPattern(), "*.gif");
    w->mnuFTs[2]->setChecked(false);
    w->mnuFTs[0]->setChecked(true);
    w->mnuFTs[14]->setChecked(true);
    EXPECT_EQ(w->SetPattern(), "*.bmp;*.ico");

    // "All Images" leaves a hidden type out.
    w->mnuFTs[4]->setVisible(false);
    w->mnuFTs[4]->setChecked(false);
    w->mnuImages->trigger();
    EXPECT_FALSE(w->mnuFTs[4]->isChecked());
    EXPECT_EQ(w->filePattern(), QString(all).remove("*.pcx;"));
}

TEST_F(ImageView, ATypeToggleClosesTheImageAndRelistsTheFolder) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), testImage({20, 20})));
    ASSERT_TRUE(gvtest::writeBmp(file("b.bmp"), testImage({20, 20})));
    open();
    click("a.png");
    EXPECT_EQ(w->File1->count(), 2);
    w->mnuFTs[5]->trigger();  // PNG off
    EXPECT_TRUE(w->logoShown());
    EXPECT_EQ(w->File1->count(), 1);
    EXPECT_EQ(w->File1->text(0), "b.bmp");
}

TEST_F(ImageView, ACommandLineImageOpensAtActualSizeEvenAmongNamesThatDifferInCase) {
    ASSERT_TRUE(gvtest::writePng(file("Photo.png"), testImage({40, 30})));
    ASSERT_TRUE(gvtest::writePng(file("photo.png"), testImage({50, 20})));
    ASSERT_TRUE(gvtest::writePng(file("other.png"), testImage({10, 10})));
    open();
    ASSERT_EQ(w->displayMode(), kBestFit);
    w->ProcessCmdLine("\"" + file("photo.png") + "\"");
    EXPECT_EQ(w->windowTitle(), "Glimvane - photo.png");
    EXPECT_EQ(panel("dimen"), "50x20");
    EXPECT_EQ(w->displayMode(), kActualSize);
    EXPECT_EQ(w->File1->currentText(), "photo.png");
    w->ProcessCmdLine(file("Photo.png"));
    EXPECT_EQ(w->windowTitle(), "Glimvane - Photo.png");
    // A name of no file opens nothing.
    w->ProcessCmdLine(file("OTHER.PNG"));
    EXPECT_EQ(w->windowTitle(), "Glimvane - Photo.png");
}

TEST_F(ImageView, OpenSelectsAndShowsTheChosenFile) {
    const QString other = gvtest::testFolders().home + "/Other";
    QDir().mkpath(other);
    ASSERT_TRUE(gvtest::writeJpeg(other + "/Beach.jpg", testImage({90, 60})));
    ASSERT_TRUE(gvtest::writeJpeg(other + "/beach2.jpg", testImage({90, 60})));
    open();
    m_dialogs->fileAnswers.enqueue(FileChoice{other + "/Beach.jpg", "Beach.jpg", 1});
    w->mnuOpen->trigger();
    EXPECT_EQ(w->currentFolder(), other);
    EXPECT_EQ(w->windowTitle(), "Glimvane - Beach.jpg");
    EXPECT_EQ(w->File1->currentText(), "Beach.jpg");
}

TEST_F(ImageView, TheOldGifWarningShowsOnce) {
    ASSERT_TRUE(gvtest::writeGif(file("old.gif"), testImage({30, 30}), gvtest::GifVersion::V87a));
    ASSERT_TRUE(gvtest::writeGif(file("new.gif"), testImage({30, 30}), gvtest::GifVersion::V89a));
    open();
    bool busyWhileShown = true;
    m_dialogs->onMessage = [&](const gvtest::ShownMessage&) {
        busyWhileShown = QApplication::overrideCursor() != nullptr;
    };
    click("old.gif");
    EXPECT_FALSE(busyWhileShown);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(panel("ftype"), "GIF File (87a)");
    ASSERT_TRUE(m_dialogs->showedOne(
        {.title = "GIF 87a Support", .icon = MsgIcon::Information, .buttons = MsgButtons::YesNo}));
    EXPECT_TRUE(m_dialogs->shown[0].text.startsWith(
        "Glimvane can sometimes give poor performance loading the older 87a GIF file type"));
    EXPECT_EQ(GetSetting(keys::kGif87Warn), "True");
    click("new.gif");
    EXPECT_EQ(panel("ftype"), "GIF File (89a)");
    click("old.gif");
    EXPECT_EQ(m_dialogs->shown.size(), 1);
    // The properties window names the version as the status bar does.
    const FilePropertiesDialog properties(file("old.gif"), Picture(), nullptr);
    EXPECT_EQ(properties.field("Type"), "GIF File (87a)");
}

TEST_F(ImageView, ScrollingALargeAnimationMovesTheAnimation) {
    ASSERT_TRUE(gvtest::writeAnimatedGif(file("big.gif"), flatFrames(2, {2400, 1600}, 120)));
    SaveSetting(keys::kImageSize, "Actual");
    open();
    ASSERT_EQ(w->displayMode(), kActualSize);
    click("big.gif");
    ASSERT_TRUE(w->aniImg->isVisibleTo(w.get()));
    ASSERT_TRUE(w->HScroll1->isEnabled());
    w->HScroll1->setValue(300);
    w->VScroll1->setValue(200);
    EXPECT_EQ(w->aniImg->pos(), QPoint(-300, -200));
}

// An animated WebP plays from the frames the helper decoded: the first at once, the next when
// its delay is up; a still picture after it stops the playing.
TEST_F(ImageView, AnimatedWebPPlaysItsFrames) {
    QStringList arguments{"-loop", "0", "-lossless"};
    const QColor colours[] = {Qt::red, Qt::blue};
    for (int i = 0; i < 2; ++i) {
        QImage frame(40, 30, QImage::Format_RGB32);
        frame.fill(colours[i]);
        ASSERT_TRUE(gvtest::writePng(file(QString("f%1.png").arg(i)), frame));
        arguments << "-d" << "60" << file(QString("f%1.png").arg(i));
    }
    QProcess img2webp;
    img2webp.start("img2webp", arguments + QStringList{"-o", file("anim.webp")});
    if (!img2webp.waitForFinished(30000) || img2webp.exitCode() != 0) {
        GTEST_SKIP() << "img2webp (package webp, from scripts/install-deps) is not installed";
    }
    ASSERT_TRUE(gvtest::writePng(file("still.png"), testImage({40, 30})));
    open();
    click("anim.webp");
    ASSERT_TRUE(w->aniImg->isVisibleTo(w.get()));
    EXPECT_FALSE(w->Image1->isVisibleTo(w.get()));
    EXPECT_EQ(w->animatedFile(), file("anim.webp"));
    EXPECT_EQ(w->aniImg->geometry(), w->Image1->geometry());
    const auto shownColour = [&] { return w->aniImg->pixmap().toImage().pixel(5, 5); };
    EXPECT_EQ(shownColour(), QColor(Qt::red).rgb());
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownColour() == QColor(Qt::blue).rgb(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownColour() == QColor(Qt::red).rgb(); }, 5000));
    // Converted like any picture: Save As writes its first frame as a bitmap.
    m_dialogs->fileAnswers.enqueue(FileChoice{file("converted"), "converted", 2});
    w->mnuSave->trigger();
    const QImage saved(file("converted.bmp"));
    ASSERT_EQ(saved.size(), QSize(40, 30));
    EXPECT_EQ(saved.pixel(5, 5), QColor(Qt::red).rgb());
    click("still.png");
    EXPECT_FALSE(w->aniImg->isVisibleTo(w.get()));
    EXPECT_TRUE(w->Image1->isVisibleTo(w.get()));
}

TEST_F(ImageView, AnimatedGifsPlayUnlessOldOnesAreTurnedOff) {
    ASSERT_TRUE(gvtest::writeAnimatedGif(file("anim.gif"), flatFrames(3, {40, 30}, 100)));
    ASSERT_TRUE(gvtest::writeGif(file("old.gif"), testImage({30, 30}), gvtest::GifVersion::V87a));
    SaveSetting(keys::kGif87Warn, "True");
    open();
    click("anim.gif");
    EXPECT_TRUE(w->aniImg->isVisibleTo(w.get()));
    EXPECT_FALSE(w->Image1->isVisibleTo(w.get()));
    EXPECT_EQ(w->animatedFile(), file("anim.gif"));
    EXPECT_EQ(w->aniImg->geometry(), w->Image1->geometry());
    // A resize re-centres the animation with the picture.
    const QRect before = w->aniImg->geometry();
    w->resize(800, 560);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->aniImg->geometry(), w->Image1->geometry());
    EXPECT_NE(w->aniImg->geometry(), before);
    EXPECT_EQ(w->aniImg->geometry().center().x(), w->Picture1->contentsRect().center().x());
    // 87a GIFs animate too, unless the option turns that off.
    click("old.gif");
    EXPECT_TRUE(w->aniImg->isVisibleTo(w.get()));
    SaveSetting(keys::kGif87a, "1");
    w->ApplyWindowOptions();
    click("anim.gif");
    click("old.gif");
    EXPECT_FALSE(w->aniImg->isVisibleTo(w.get()));
    EXPECT_TRUE(w->Image1->isVisibleTo(w.get()));
}
