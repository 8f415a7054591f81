// Every control a user can reach with the keyboard tells assistive tools its name: the
// accessibility tree of each window is walked as a screen reader walks it through AT-SPI.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QTabWidget>
#include <QWidget>
#include <functional>
#include <memory>

#include "capture/frmCap.h"
#include "favourites/FavouriteStore.h"
#include "favourites/frmFavEd.h"
#include "files/frmBrowse.h"
#include "fullscreen/frmFullscn.h"
#include "help/HelpViewer.h"
#include "mainwindow/FilePropertiesDialog.h"
#include "mainwindow/frmJpegQual.h"
#include "options/options.h"
#include "startup/AppState.h"
#include "support/ImageFiles.h"
#include "support/WindowFixture.h"
#include "tips/frmTips.h"
#include "widgets/ImageBox.h"

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

    FavouriteStore store;
    frmFavEd manager(store, w.get());
    EXPECT_EQ(unnamedFocusable(&manager), QStringList()) << "favourites manager";
    frmBrowse chooser(w.get());
    EXPECT_EQ(unnamedFocusable(&chooser), QStringList()) << "folder chooser";
    frmTips tips(w.get());
    EXPECT_EQ(unnamedFocusable(&tips), QStringList()) << "tip window";
    HelpViewer help(w.get());
    EXPECT_EQ(unnamedFocusable(&help), QStringList()) << "help viewer";
    FilePropertiesDialog properties(file("a.png"), w->Image1->picture(), w.get());
    EXPECT_EQ(unnamedFocusable(&properties), QStringList()) << "file properties";
    frmJpegQual quality(w.get());
    EXPECT_EQ(unnamedFocusable(&quality), QStringList()) << "JPEG quality";
    options settings(OptionsHost{});
    EXPECT_EQ(unnamedFocusable(&settings), QStringList()) << "options";
    frmCap setup(CaptureHost{});
    EXPECT_EQ(unnamedFocusable(&setup), QStringList()) << "capture set-up";

    FullScreenStart start;
    start.picture = w->Image1->picture();
    start.imagePath = appState().CurrentImagePath;
    start.folder = m_folder;
    start.pattern = w->filePattern();
    start.selectedName = "a.png";
    start.screen = QRect(0, 0, 1280, 1024);
    frmFullscn viewer(start, FullScreenHost{});
    EXPECT_EQ(unnamedFocusable(&viewer), QStringList()) << "full-screen viewer";
}
