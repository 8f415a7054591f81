// Each window can be used without a mouse: Tab walks its controls in reading order, left to
// right and top to bottom (a tall column read down before the next column to its right), and
// reaches every control that takes the focus (the walk is made with real Tab key presses); and
// every control it reaches tells assistive tools its name, as a screen reader reads the
// accessibility tree through AT-SPI.

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAccessible>
#include <QApplication>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <functional>

#include "platform/Controls.h"
#include "support/ImageFiles.h"
#include "support/WindowFixture.h"

using namespace gv;
using gvtest::onWindow;

namespace {

QString nameOf(const QObject* w) {
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

bool takesTab(const QWidget* w, const QWidget* window) {
    return w->isVisibleTo(window) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
           !w->focusProxy() && w->window() == window;
}

// Whether going from a to b reads backwards: b sits on a's row wholly to its left, or wholly
// above a without being in a column to a's right.
bool jumpsBack(const QRect& a, const QRect& b) {
    const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
    if (sameRow) {
        return b.right() < a.left();
    }
    return b.bottom() < a.top() && b.left() <= a.right();
}

// Presses Tab from the first control until the focus comes back to it, and reports each jump
// against the reading order and each control the walk never reached.
QStringList tabFaults(QWidget* window) {
    QStringList faults;
    window->show();
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window)) {
        return {QStringLiteral("window not active")};
    }
    QList<QWidget*> expected;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if (takesTab(w, window)) {
            expected << w;
        }
    }
    if (expected.isEmpty()) {
        return {QStringLiteral("(nothing focusable)")};
    }
    // A slider that is a window's own setting (not a scroll area's bar) must take the keys.
    for (QAbstractSlider* slider : window->findChildren<QAbstractSlider*>()) {
        if (slider->isVisibleTo(window) && slider->isEnabled() &&
            !(slider->focusPolicy() & Qt::TabFocus) &&
            !qobject_cast<QAbstractScrollArea*>(slider->parentWidget()->parentWidget())) {
            faults << QStringLiteral("no keyboard ") + nameOf(slider);
        }
    }
    expected.first()->setFocus(Qt::TabFocusReason);
    QList<QWidget*> walked{QApplication::focusWidget()};
    for (int i = 0; i < expected.size() + 2; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (!now || now == walked.first() || walked.contains(now)) {
            break;
        }
        walked << now;
    }
    for (int i = 1; i < walked.size(); ++i) {
        if (jumpsBack(onWindow(walked[i - 1]), onWindow(walked[i]))) {
            faults << nameOf(walked[i - 1]) + QStringLiteral(" -> ") + nameOf(walked[i]);
        }
    }
    // Tab enters a group of option buttons at its chosen one; the arrow keys move within it.
    const auto reachedGroup = [&](QWidget* w) {
        auto* option = qobject_cast<QRadioButton*>(w);
        return option && option->autoExclusive() &&
               std::any_of(walked.begin(), walked.end(), [&](QWidget* other) {
                   return qobject_cast<QRadioButton*>(other) &&
                          other->parentWidget() == w->parentWidget();
               });
    };
    for (QWidget* w : expected) {
        if (!walked.contains(w) && !reachedGroup(w)) {
            faults << QStringLiteral("unreached ") + nameOf(w);
        }
    }
    return faults;
}

// The walk on each page of each tab control in turn.
QStringList tabFaultsOnEveryPage(QWidget* window) {
    QStringList faults = tabFaults(window);
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        for (int i = 1; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            for (const QString& fault : tabFaults(window)) {
                faults << tabs->tabText(i) + QStringLiteral(": ") + fault;
            }
        }
    }
    window->hide();
    return faults;
}

// The shown controls under the window that take focus but tell no name, by object name
// (class name where they have none). Each page of a tab control is shown in turn. A window
// where the walk finds nothing to focus at all is reported too: the walk went wrong.
QStringList unnamedFocusable(QWidget* window) {
    QStringList unnamed;
    int focusable = 0;
    const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (!node) {
            return;
        }
        const QAccessible::State state = node->state();
        focusable += state.focusable && !state.invisible;
        if (state.focusable && !state.invisible &&
            node->text(QAccessible::Name).trimmed().isEmpty()) {
            const QString name = node->object() ? nameOf(node->object()) : QStringLiteral("(item)");
            if (!unnamed.contains(name)) {
                unnamed << name;
            }
        }
        for (int i = 0; i < node->childCount(); ++i) {
            walk(node->child(i));
        }
    };
    window->show();
    QCoreApplication::processEvents();
    walk(QAccessible::queryAccessibleInterface(window));
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QCoreApplication::processEvents();
            walk(QAccessible::queryAccessibleInterface(window));
        }
    }
    return focusable > 0 ? unnamed : QStringList{QStringLiteral("(nothing focusable)")};
}

class KeyboardAndNames : public gvtest::WindowFixture {};

}  // namespace

TEST_F(KeyboardAndNames, EveryWindowIsWalkedInReadingOrderAndEveryControlIsNamed) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage(QSize(64, 48))));
    open();
    click("a.png");
    EXPECT_EQ(unnamedFocusable(w.get()), QStringList()) << "main window";
    EXPECT_EQ(tabFaults(w.get()), QStringList()) << "main window";
    // The panel docked at the other side: its column is read first.
    const int panelLeft = w->FraFiles->x();
    w->sbtToggleDock->click();
    QCoreApplication::processEvents();
    ASSERT_NE(w->FraFiles->x(), panelLeft);
    EXPECT_EQ(tabFaults(w.get()), QStringList()) << "main window, panel docked at the left";
    w->hide();

    forEachOtherWindow("a.png", [](QWidget& window, const char* what) {
        EXPECT_EQ(unnamedFocusable(&window), QStringList()) << what;
        EXPECT_EQ(tabFaultsOnEveryPage(&window), QStringList()) << what;
    });
}
