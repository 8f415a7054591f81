// Every control a user can reach with the keyboard tells assistive tools its name: the
// accessibility tree of each window is walked as a screen reader walks it through AT-SPI.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QTabWidget>
#include <QWidget>
#include <functional>
#include <memory>

#include "support/ImageFiles.h"
#include "support/WindowFixture.h"

using namespace gv;

namespace {

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
            const QObject* object = node->object();
            const QString name = !object ? QStringLiteral("(item)")
                                 : object->objectName().isEmpty()
                                     ? QString::fromLatin1(object->metaObject()->className())
                                     : object->objectName();
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

class AccessibleNames : public gvtest::WindowFixture {
protected:
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WindowFixture::TearDown();
    }
};

}  // namespace

TEST_F(AccessibleNames, EveryFocusableControlOfEveryWindowHasAName) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage(QSize(64, 48))));
    open();
    click("a.png");
    EXPECT_EQ(unnamedFocusable(w.get()), QStringList()) << "main window";

    forEachOtherWindow("a.png", [](QWidget& window, const char* what) {
        EXPECT_EQ(unnamedFocusable(&window), QStringList()) << what;
    });
}
