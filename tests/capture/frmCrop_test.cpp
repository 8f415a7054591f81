// The custom area's window on its own: the notice, the rubber band under the mouse, and a key
// pressed before anything is drawn.

#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "capture/frmCrop.h"
#include "settings/SettingKeys.h"
#include "support/FakeDialogs.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

class CustomArea : public ::testing::Test {
protected:
    void SetUp() override {
        QImage screen(400, 300, QImage::Format_RGB32);
        screen.fill(Qt::blue);
        m_screen = Picture::fromRaster(screen);
    }
    std::unique_ptr<frmCrop> make() {
        auto area = std::make_unique<frmCrop>(
            CropHost{nullptr, [this](const Picture& p) { m_chosen << p; }, {}},
            QRect(0, 0, 400, 300));
        area->Load();
        area->SetPic(m_screen);
        area->show();
        return area;
    }
    static void drag(frmCrop& area, QPoint from, QPoint to) {
        QTest::mousePress(&area, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), area.mapToGlobal(QPointF(to)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&area, &move);
    }

    gvtest::ScopedFakeDialogs m_dialogs;
    Picture m_screen;
    QList<Picture> m_chosen;
};

}  // namespace

TEST_F(CustomArea, TheNoticeComesUntilTheUserOptsOut) {
    make();
    make();
    m_dialogs->optOutAnswers.enqueue(true);
    make();
    make();
    EXPECT_EQ(m_dialogs->titles(),
              QStringList({"Custom Capture", "Custom Capture", "Custom Capture"}));
    EXPECT_EQ(GetSetting(keys::kScrnNoWarn), "1");
}

TEST_F(CustomArea, DragsRightAndDownSelectOthersHide) {
    auto area = make();
    drag(*area, {50, 40}, {80, 100});
    EXPECT_TRUE(area->Shape1->isVisible());
    EXPECT_EQ(area->Shape1->geometry(), QRect(50, 40, 30, 60));
    EXPECT_EQ(area->Size->text(), "30x60");
    EXPECT_EQ(area->Size->pos(), QPoint(89, 109));
    EXPECT_TRUE(area->Size->isVisible());
    drag(*area, {200, 200}, {150, 250});
    EXPECT_FALSE(area->Shape1->isVisible());
    EXPECT_FALSE(area->Size->isVisible());
    // A move without the left button draws nothing.
    QTest::mouseRelease(area.get(), Qt::LeftButton, {}, QPoint(150, 250));
    QTest::mouseMove(area.get(), QPoint(300, 290));
    EXPECT_FALSE(area->Shape1->isVisible());
}

TEST_F(CustomArea, AKeyBeforeAnyAreaAsksAboutTheWholeScreen) {
    auto area = make();
    m_dialogs->shown.clear();
    m_dialogs->messageAnswers << MsgAnswer::No << MsgAnswer::Yes;
    QTest::keyClick(area.get(), Qt::Key_Return);
    EXPECT_TRUE(m_dialogs->showedOne(
        {"No area has been selected, would you like to capture the whole screen?", "Capture Error",
         MsgIcon::Question, MsgButtons::YesNo}));
    EXPECT_TRUE(m_chosen.isEmpty());  // No: the user can still draw
    EXPECT_FALSE(area->Timer1->isActive());

    QTest::keyClick(area.get(), Qt::Key_A);
    ASSERT_EQ(m_chosen.size(), 1);
    EXPECT_TRUE(area->wholeScreenChosen());
    EXPECT_EQ(m_chosen[0].sizePixels(), QSize(400, 300));
    // One choice only, however many keys follow.
    QTest::keyClick(area.get(), Qt::Key_A);
    EXPECT_EQ(m_chosen.size(), 1);
}

TEST_F(CustomArea, TheCutOutReachingBeyondTheScreenIsBlackThere) {
    auto area = make();
    drag(*area, {390, 290}, {399, 299});
    QTest::keyClick(area.get(), Qt::Key_Space);
    ASSERT_EQ(m_chosen.size(), 1);
    const QImage cut = m_chosen[0].raster();
    ASSERT_EQ(cut.size(), QSize(15, 11));
    EXPECT_EQ(cut.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(cut.pixel(14, 10), qRgb(0, 0, 0));
}
