#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "platform/Controls.h"

using namespace gv;

namespace {

QLabel* panelLabel(const KeyedStatusBar& bar, const QString& text) {
    for (QLabel* label : bar.findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

}  // namespace

TEST(KeyedStatusBar, APanelIsItsGivenWidthOrAsWideAsItsText) {
    KeyedStatusBar bar;
    bar.addPanel("ftype");
    bar.addPanel("size");
    bar.setPanelWidth("ftype", 40);
    bar.setPanelWidth("size", 300);
    bar.setPanelText("ftype", "Portable Network Graphics");
    bar.setPanelText("size", "12Kb");
    QLabel* type = panelLabel(bar, "Portable Network Graphics");
    QLabel* size = panelLabel(bar, "12Kb");
    ASSERT_NE(type, nullptr);
    ASSERT_NE(size, nullptr);
    // A font wider than the one the widths were chosen for does not cut the text.
    EXPECT_GE(type->sizeHint().width(), type->fontMetrics().horizontalAdvance(type->text()));
    EXPECT_EQ(size->sizeHint().width(), 300);
    EXPECT_EQ(bar.panelWidth("ftype"), 40);
}

TEST(ListChoice, EachClickOrKeyChoosesOnceAndRefillingChoosesNothing) {
    QListWidget list;
    list.addItems({"a", "b", "c"});
    list.resize(120, 120);
    list.show();
    QStringList chosen;
    onListChoice(&list, [&](QListWidgetItem* item) { chosen << item->text(); });
    // A click chooses once, though it both selects the item and clicks it.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.item(1)).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, QStringList{"b"});
    // The same item again is a choice too.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.item(1)).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, (QStringList{"b", "b"}));
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(chosen, (QStringList{"b", "b", "c"}));
    chosen.clear();
    list.clear();
    list.addItems({"d"});
    EXPECT_TRUE(chosen.isEmpty());
}

// Keyboard users see which soft button Tab has reached: the focused one looks different, with
// or without a picture, and its look goes again when the focus moves on.
TEST(SoftButton, PaintsItsFocus) {
    QWidget window;
    auto* withPicture = new SoftButton(&window);
    QPixmap square(16, 16);
    square.fill(Qt::darkBlue);
    withPicture->setIcon(QIcon(square));
    auto* textOnly = new SoftButton(&window);
    textOnly->setText("Go");
    auto* other = new SoftButton(&window);
    for (auto [i, button] : {std::pair{0, withPicture}, {1, textOnly}, {2, other}}) {
        button->setGeometry(i * 40, 0, 32, 32);
    }
    window.resize(130, 40);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (SoftButton* button : {withPicture, textOnly}) {
        other->setFocus(Qt::TabFocusReason);
        const QImage without = button->grab().toImage();
        button->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(button->hasFocus());
        EXPECT_NE(button->grab().toImage(), without) << button->text().toStdString();
        other->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(button->grab().toImage(), without) << button->text().toStdString();
    }
}
