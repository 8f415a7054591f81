// The built-in pictures on a screen at 200 %: drawn for its device pixels, laid out as at 100 %.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <cstdlib>

#include "platform/Artwork.h"
#include "startup/frmSettingUp.h"
#include "support/WindowFixture.h"
#include "widgets/ImageBox.h"

using namespace gv;

namespace {

// Steps of more than two thirds of black to white between the two device pixels of one unit.
// A 1x picture that was enlarged has none: enlarged without smoothing, both pixels are the
// same; smoothed, an edge is spread over four pixels in steps of at most half of it.
int stepsWithinUnits(const QImage& grab) {
    const QImage image = grab.convertToFormat(QImage::Format_RGB32);
    int steps = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            steps += std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(x + 1, y))) > 170;
        }
    }
    return steps;
}

class BuiltInPictures : public gvtest::WindowFixture {};

}  // namespace

TEST_F(BuiltInPictures, EachHasTwiceTheDevicePixelsOfItsUnchangedSize) {
    ASSERT_EQ(qApp->devicePixelRatio(), 2.0);
    const QList<std::tuple<const char*, QPixmap, QSize>> pictures = {
        {"logo", logoBitmap(), {420, 200}},
        {"splash", splashPicture(), {420, 240}},
        {"toolbar logo", toolbarLogo(), {120, 32}},
        {"program icon", applicationIcon().pixmap(QSize(64, 64)), {64, 64}},
        {"program icon, small", applicationIcon().pixmap(QSize(16, 16)), {16, 16}},
    };
    for (const auto& [what, pixmap, size] : pictures) {
        EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), size) << what;
        EXPECT_EQ(pixmap.size(), size * 2) << what;
    }
    // What the window manager gets: the sizes in device pixels.
    EXPECT_TRUE(applicationIcon().availableSizes().contains(QSize(128, 128)));
}

TEST_F(BuiltInPictures, WindowsLayThemOutAtTheirSizeInUnits) {
    EXPECT_EQ(frmSettingUp().size(), QSize(420, 240));
    open();
    w->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(w->Image2->size(), QSize(120, 32));
    // No image shown: the logo fills its place in the view at its size in units.
    EXPECT_EQ(w->Image1->size(), QSize(420, 200));
}

TEST_F(BuiltInPictures, TheAboutBoxShowsTheLogoSharp) {
    QImage grab;
    m_dialogs->modalScripts << [&grab](QDialog& about) {
        about.show();
        for (QLabel* label : about.findChildren<QLabel*>()) {
            if (!label->pixmap().isNull()) {
                grab = label->grab().toImage();
            }
        }
        return int(QDialog::Accepted);
    };
    open();
    w->ShowAbout();
    ASSERT_EQ(grab.size(), QSize(840, 400));
    // The edges of the name and of the vane give a few hundred.
    EXPECT_GT(stepsWithinUnits(grab), 100);
}
