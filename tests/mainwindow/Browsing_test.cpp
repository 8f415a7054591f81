// Browsing in the real window: stepping through files, Home and Refresh, keys, the panel's
// switches and splitter, Fileseek, and the routing of the commands found by name.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <optional>

#include "images/Picture.h"
#include "mainwindow/frmFileseek.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "platform/Screen.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "support/FakeDialogs.h"
#include "support/FakeTrayIcon.h"
#include "support/ImageFiles.h"
#include "support/RawFolder.h"
#include "support/TestEnvironment.h"
#include "support/WindowFixture.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderTreeModel.h"
#include "widgets/ImageBox.h"

using namespace gv;

namespace {

class Browsing : public gvtest::WindowFixture {
protected:
    void makeFiles(const QStringList& names, const QString& folder = QString()) {
        for (const QString& n : names) {
            ASSERT_TRUE(gvtest::writePng((folder.isEmpty() ? m_folder : folder) + "/" + n,
                                         gvtest::quadrantImage({16, 16})));
        }
    }
    template <typename T>
    T* byName(const char* name) {
        T* found = w->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // A key press and what it sets off.
    static void press(QWidget* target, Qt::Key key) {
        QTest::keyClick(target, key);
        QCoreApplication::processEvents();
    }
    frmFileseek* openFloatingFileseek() {
        w->show();
        byName<QAction>("mnuFileseek")->trigger();
        auto* window = w->findChild<frmFileseek*>("frmFileseek");
        EXPECT_NE(window, nullptr);
        return window;
    }
};

}  // namespace

TEST_F(Browsing, BackAndForwardWrapAround) {
    makeFiles({"a.png", "b.png", "c.png"});
    open();
    auto* back = byName<SoftButton>("Toolbar_0");
    auto* forward = byName<SoftButton>("Toolbar_1");
    // With nothing selected, Forward starts at the first file and Back at the last.
    forward->click();
    EXPECT_EQ(shown(), "a.png");
    back->click();
    EXPECT_EQ(shown(), "c.png");
    forward->click();
    EXPECT_EQ(shown(), "a.png");
    forward->click();
    forward->click();
    EXPECT_EQ(shown(), "c.png");
    EXPECT_EQ(w->File1->selectedRows(), QList<int>{2});
}

TEST_F(Browsing, ASingleFileIsReloadedByBackAndForward) {
    makeFiles({"only.png"});
    open();
    click("only.png");
    QFile::remove(m_folder + "/only.png");
    // The reload notices that the file has gone.
    w->Toolbar[1]->click();
    ASSERT_FALSE(m_dialogs->shown.isEmpty());
    EXPECT_EQ(m_dialogs->shown.last().text, "The selected file cannot be found!");
}

TEST_F(Browsing, AnEmptyFolderDisablesBackAndForward) {
    makeFiles({"a.png"});
    const QString empty = gvtest::testFolders().home + "/Empty";
    QDir().mkpath(empty);
    open();
    EXPECT_TRUE(w->Toolbar[0]->isEnabled());
    w->setCurrentFolder(empty);
    EXPECT_FALSE(w->Toolbar[0]->isEnabled());
    EXPECT_FALSE(w->Toolbar[1]->isEnabled());
    w->setCurrentFolder(m_folder);
    EXPECT_TRUE(w->Toolbar[1]->isEnabled());
}

TEST_F(Browsing, ArrowKeysStepThroughTheFocusedListOneByOne) {
    makeFiles({"1.png", "2.png", "3.png", "10.png"});
    open();
    // Numbers sort by value.
    EXPECT_EQ(w->File1->text(3), "10.png");
    w->show();
    click("1.png");
    w->File1->setFocus();
    QTest::keyClick(w->File1, Qt::Key_Down);
    EXPECT_EQ(shown(), "2.png");
    QTest::keyClick(w->File1, Qt::Key_Down);
    EXPECT_EQ(shown(), "3.png");
    // In the list Right and Left step like Down and Up, one file at a time, and stop at the
    // ends instead of wrapping around.
    QTest::keyClick(w->File1, Qt::Key_Right);
    EXPECT_EQ(shown(), "10.png");
    QTest::keyClick(w->File1, Qt::Key_Right);
    EXPECT_EQ(shown(), "10.png");
    EXPECT_EQ(w->File1->currentRow(), 3);
    QTest::keyClick(w->File1, Qt::Key_Left);
    EXPECT_EQ(shown(), "3.png");
    click("1.png");
    w->File1->setFocus();
    QTest::keyClick(w->File1, Qt::Key_Left);
    EXPECT_EQ(shown(), "1.png");
    EXPECT_EQ(w->File1->currentRow(), 0);
    click("3.png");
    // Right and Left step through the files, around the ends, from anywhere but the list and
    // text boxes; the file list then has the keyboard.
    w->Picture1->setFocus();
    QTest::keyClick(w->Picture1, Qt::Key_Right);
    EXPECT_EQ(shown(), "10.png");
    EXPECT_TRUE(w->File1->hasFocus());
    w->ftvDirs->setFocus();
    QTest::keyClick(w->ftvDirs, Qt::Key_Right);
    EXPECT_EQ(shown(), "1.png");
    w->Picture1->setFocus();
    QTest::keyClick(w->Picture1, Qt::Key_Left);
    EXPECT_EQ(shown(), "10.png");
    w->txtSearch->setFocus();
    QTest::keyClick(w->txtSearch, Qt::Key_Left);
    EXPECT_EQ(shown(), "10.png");
}

TEST_F(Browsing, HomeGoesToTheStartFolderOrWhereTheProgramStarted) {
    const QString elsewhere = gvtest::testFolders().home + "/Elsewhere";
    QDir().mkpath(elsewhere);
    open();
    w->setCurrentFolder(elsewhere);
    byName<SoftButton>("Toolbar_2")->click();
    EXPECT_EQ(w->currentFolder(), m_folder);
    EXPECT_TRUE(m_dialogs->shown.isEmpty());

    // No start folder: the folder the program was started in, on the program's volume.
    SaveSetting(keys::kStartDir, "");
    const QString started = gvtest::testFolders().home + "/Started here";
    QDir().mkpath(started);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(started));
    w->setCurrentFolder(elsewhere);
    w->Picture1->setFocus();
    QTest::keyClick(w->Picture1, Qt::Key_Home);
    QDir::setCurrent(before);
    ASSERT_EQ(volumeRoot(started), volumeRoot(programFolder()));
    EXPECT_EQ(w->currentFolder(), started);

    // A start folder that has gone: the folder stays and the user is told.
    SaveSetting(keys::kStartDir, gvtest::testFolders().home + "/Gone");
    byName<SoftButton>("Toolbar_2")->click();
    EXPECT_EQ(w->currentFolder(), started);
    EXPECT_TRUE(m_dialogs->showedOne({"A Critical Error Occured: Number: 76", "Path not found"}));
}

TEST_F(Browsing, RefreshReloadsOnlyASavedFileImage) {
    makeFiles({"a.png", "b.png"});
    open();
    // The logo: nothing happens.
    byName<QAction>("mnuRefresh")->trigger();
    EXPECT_EQ(w->windowTitle(), "Glimvane - Vividra");
    EXPECT_TRUE(w->File1->selectedRows().isEmpty());

    click("b.png");
    makeFiles({"0.png"});  // a new file moves b.png one place down
    byName<SoftButton>("stbBTRefresh")->click();
    EXPECT_EQ(w->File1->count(), 3);
    // The remembered place is selected again, whatever file is there now.
    EXPECT_EQ(w->File1->currentRow(), 1);
    EXPECT_EQ(shown(), "a.png");

    // Files removed meanwhile: a place past the end becomes the last file; with none left the
    // logo comes back instead of an image whose file has gone.
    click("b.png");
    ASSERT_TRUE(QFile::remove(file("b.png")));
    w->Toolbar[3]->click();
    EXPECT_EQ(w->File1->count(), 2);
    EXPECT_EQ(w->File1->currentRow(), 1);
    EXPECT_EQ(shown(), "a.png");
    ASSERT_TRUE(QFile::remove(file("a.png")));
    ASSERT_TRUE(QFile::remove(file("0.png")));
    w->Toolbar[3]->click();
    EXPECT_EQ(w->File1->count(), 0);
    EXPECT_TRUE(w->logoShown());
    EXPECT_EQ(w->windowTitle(), "Glimvane - Vividra");
    EXPECT_FALSE(w->Toolbar[1]->isEnabled());
    makeFiles({"a.png"});
    click("a.png");

    // An unsaved picture: nothing happens.
    w->LoadAndShowImage(Picture::fromRaster(gvtest::quadrantImage({8, 8})));
    w->Toolbar[3]->click();
    EXPECT_EQ(w->windowTitle(), "Glimvane - Unsaved Image");
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

TEST_F(Browsing, TheFolderTreeAndTheDriveListFollowTheFolder) {
    const QString sub = m_folder + "/Holidays";
    QDir().mkpath(sub);
    makeFiles({"x.png"}, sub);
    open();
    w->setCurrentFolder(sub);
    EXPECT_EQ(w->File1->count(), 1);
    EXPECT_EQ(w->Drive1->currentText(), volumeRoot(sub));
    auto* model = static_cast<FolderTreeModel*>(w->ftvDirs->model());
    EXPECT_EQ(model->filePath(w->ftvDirs->currentIndex()), sub);
    // Choosing a folder in the tree shows its files.
    w->ftvDirs->setCurrentIndex(model->index(m_folder));
    EXPECT_EQ(w->currentFolder(), m_folder);
    EXPECT_EQ(w->File1->count(), 0);
}

TEST_F(Browsing, ThePopUpMenusShowTheirExtraItemsOnlyWhileOpen) {
    makeFiles({"a.png"});
    open();
    w->show();
    // Looks at the menu while it is open, then closes it.
    struct Seen {
        bool propertiesVisible = false;
        bool propertiesEnabled = false;
        bool folderItemsVisible = false;
    };
    const auto openPopUp = [&](QWidget* list) {
        Seen seen;
        QTimer::singleShot(0, [&] {
            seen.propertiesVisible = w->mnuProp->isVisible();
            seen.propertiesEnabled = w->mnuProp->isEnabled();
            seen.folderItemsVisible = w->mnuCreateDir->isVisible() && w->mnuDelDir->isVisible() &&
                                      w->mnuCopyDir->isVisible() && w->mnuMoveDir->isVisible();
            if (QWidget* popUp = QApplication::activePopupWidget()) {
                popUp->close();
            }
        });
        Q_EMIT list->customContextMenuRequested(QPoint(4, 4));
        return seen;
    };
    // "&Properties" fits a saved file image only.
    Seen files = openPopUp(w->File1);
    EXPECT_TRUE(files.propertiesVisible);
    EXPECT_FALSE(files.propertiesEnabled);
    EXPECT_FALSE(files.folderItemsVisible);
    click("a.png");
    files = openPopUp(w->File1);
    EXPECT_TRUE(files.propertiesEnabled);
    w->LoadAndShowImage(Picture::fromRaster(gvtest::quadrantImage({8, 8})));
    EXPECT_FALSE(openPopUp(w->File1).propertiesEnabled);
    EXPECT_FALSE(w->mnuProp->isVisible());

    // The folder commands come with the folder tree's menu only.
    const Seen folders = openPopUp(w->ftvDirs);
    EXPECT_TRUE(folders.folderItemsVisible);
    EXPECT_FALSE(folders.propertiesVisible);
    EXPECT_FALSE(w->mnuCreateDir->isVisible());
    EXPECT_FALSE(w->mnuMoveDir->isVisible());
}

TEST_F(Browsing, ARightClickOnAnotherRowOnlyOpensThePopUpMenu) {
    makeFiles({"a.png", "b.png"});
    open();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    click("a.png");
    // A real right button press on the window, at the given point of the view.
    const auto rightPress = [&](QAbstractItemView* view, const QPoint& at) {
        bool popped = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* popUp = QApplication::activePopupWidget()) {
                popped = true;
                popUp->close();
            }
        });
        const QPoint inWindow = view->viewport()->mapTo(w.get(), at);
        QTest::mousePress(w->windowHandle(), Qt::RightButton, {}, inWindow);
        QTest::mouseRelease(w->windowHandle(), Qt::RightButton, {}, inWindow);
        return popped;
    };
    const int b = w->File1->rowOf("b.png");
    EXPECT_TRUE(
        rightPress(w->File1, w->File1->visualRect(w->File1->model()->index(b, 0)).center()));
    EXPECT_EQ(w->File1->currentText(), "a.png");
    EXPECT_TRUE(shown().contains("a.png"));

    const QModelIndex current = w->ftvDirs->currentIndex();
    // The tree's first row, the volume's root, is another folder than the current one.
    const QModelIndex top = w->ftvDirs->model()->index(0, 0, w->ftvDirs->rootIndex());
    ASSERT_NE(top, current);
    w->ftvDirs->scrollToTop();
    w->ftvDirs->horizontalScrollBar()->setValue(0);
    const QRect row = w->ftvDirs->visualRect(top);
    EXPECT_TRUE(rightPress(w->ftvDirs, QPoint(row.left() + 8, row.center().y())));
    EXPECT_EQ(w->ftvDirs->currentIndex(), current);
}

TEST_F(Browsing, AFolderGoneFromDiskIsRefusedByTheTree) {
    const QString sub = m_folder + "/Soon gone";
    QDir().mkpath(sub);
    open();
    auto* model = static_cast<FolderTreeModel*>(w->ftvDirs->model());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->index(sub).isValid(); }, 10000));
    const QPersistentModelIndex gone = model->index(sub);
    ASSERT_TRUE(QDir(sub).removeRecursively());
    w->ftvDirs->setCurrentIndex(gone);
    EXPECT_TRUE(m_dialogs->showedOne({"This folder is not valid!", "Glimvane"}));
    EXPECT_EQ(w->currentFolder(), m_folder);
    EXPECT_EQ(model->filePath(w->ftvDirs->currentIndex()), m_folder);
}

// A folder change from outside the tree (a hand-over, a favourite, Home) leaves no part of
// the old folder's highlight on the screen: what the window shows of the tree is what the
// tree paints afresh.
TEST_F(Browsing, AFolderChangeLeavesNoOldHighlightInTheTree) {
    for (const char* name : {"/a", "/b"}) {
        QDir().mkpath(m_folder + name);
    }
    open();
    w->show();
    QTreeView* tree = w->ftvDirs;
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->index(m_folder + "/b").isValid(); }, 10000));
    // The window's pixels as they were last painted (the offscreen screen keeps them).
    const auto onScreen = [&] {
        const QRect area(tree->viewport()->mapTo(w.get(), QPoint(0, 0)), tree->viewport()->size());
        return w->screen()->grabWindow(w->winId()).copy(area).toImage();
    };
    for (const char* name : {"/a", "/b", "/a", "/b"}) {
        SCOPED_TRACE(name);
        w->setCurrentFolder(m_folder + name);
        ASSERT_EQ(model->filePath(tree->currentIndex()), m_folder + name);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return onScreen() == tree->viewport()->grab().toImage(); }, 2000));
    }
}

TEST_F(Browsing, ThePanelHeadersShowWhereTheKeyboardIs) {
    makeFiles({"a.png", "b.png"});
    open();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    const auto active = [](const QLabel* header) { return header->property("active").toBool(); };
    // The keyboard starts in the file list, which chooses no file by taking it.
    EXPECT_TRUE(w->File1->hasFocus());
    EXPECT_TRUE(active(w->lblBTfiles));
    EXPECT_TRUE(w->logoShown());
    EXPECT_EQ(w->File1->currentRow(), -1);
    w->Picture1->setFocus();
    w->File1->setFocus();
    EXPECT_TRUE(active(w->lblBTfiles));
    EXPECT_FALSE(active(w->lblBTFiles2));
    w->txtSearch->setFocus();
    EXPECT_FALSE(active(w->lblBTfiles));
    EXPECT_TRUE(active(w->lblBTFiles2));
    // The buttons of the toolbar and beside the file list count as the browser's.
    for (SoftButton* button : {w->Toolbar[3], w->Fbts[0], w->Toolbar[0]}) {
        button->setEnabled(true);
        button->setFocus();
        EXPECT_TRUE(active(w->lblBTfiles)) << button->objectName().toStdString();
        EXPECT_FALSE(active(w->lblBTFiles2));
    }
    w->Picture1->setFocus();
    EXPECT_FALSE(active(w->lblBTfiles));
}

TEST_F(Browsing, TheDriveListKeepsTheFolderUnlessAnotherAvailableVolumeIsChosen) {
    const QString sub = m_folder + "/Holidays";
    QDir().mkpath(sub);
    open();
    w->setCurrentFolder(sub);
    const QString root = volumeRoot(sub);
    // The same volume again: still in the folder.
    Q_EMIT w->Drive1->activated(w->Drive1->findText(root));
    EXPECT_EQ(w->currentFolder(), sub);
    EXPECT_TRUE(m_dialogs->shown.isEmpty());

    // A volume listed earlier and unmounted since: its mount point is an empty folder.
    const QString gone = gvtest::testFolders().home + "/usb-stick";
    QDir().mkpath(gone);
    w->Drive1->addItem(gone);
    Q_EMIT w->Drive1->activated(w->Drive1->findText(gone));
    EXPECT_TRUE(m_dialogs->showedOne({"Drive unavailable", "Problem"}));
    EXPECT_EQ(w->currentFolder(), sub);
    EXPECT_EQ(w->Drive1->currentText(), root);

    // Opening the list lists what is mounted now.
    w->Drive1->showPopup();
    w->Drive1->hidePopup();
    EXPECT_LT(w->Drive1->findText(gone), 0);
    EXPECT_EQ(w->Drive1->currentText(), root);
    for (const QString& volume : volumeRoots()) {
        EXPECT_GE(w->Drive1->findText(volume), 0) << volume.toStdString();
    }
}

TEST_F(Browsing, ADeepStartFolderIsOpenedAndScrolledIntoViewInTheTree) {
    // Many folders on every level, so the start folder is far below the top of the tree. The
    // way down sorts first but is made first, so the folder reads list it elsewhere.
    QString deep = m_folder;
    for (const char* level : {"0", "00", "000", "0000"}) {
        const QString parent = deep;
        deep += QStringLiteral("/") + QLatin1String(level);
        QDir().mkpath(deep);
        for (int i = 0; i < 30; ++i) {
            QDir().mkpath(parent + QStringLiteral("/a%1").arg(i, 2, 10, QLatin1Char('0')));
        }
    }
    SaveSetting(keys::kStartDir, deep);
    open();
    w->show();
    auto* model = static_cast<FolderTreeModel*>(w->ftvDirs->model());
    // The tree reads its folders in the background; it gets there by itself.
    QTreeView* tree = w->ftvDirs;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model->filePath(tree->currentIndex()) == deep; }, 10000))
        << model->filePath(tree->currentIndex()).toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QRect row = tree->visualRect(tree->currentIndex());
            const QRect view = tree->viewport()->rect();
            // The whole row height in sight, and the name: all of it, or from its start when
            // the tree is too narrow for all of it.
            const int nameEnd = row.left() + tree->sizeHintForIndex(tree->currentIndex()).width();
            const bool nameInSight =
                nameEnd <= view.right() + 2 || row.left() <= tree->indentation();
            return row.top() >= 0 && row.bottom() <= view.bottom() && row.left() >= 0 &&
                   row.left() < view.right() - 16 && nameInSight;
        },
        5000))
        << [&] {
               QString d;
               QDebug(&d) << tree->visualRect(tree->currentIndex()) << tree->viewport()->rect()
                          << tree->geometry() << tree->isVisible();
               for (QModelIndex up = tree->currentIndex().parent(); up.isValid(); up = up.parent())
                   QDebug(&d) << model->filePath(up) << tree->isExpanded(up);
               return d.toStdString();
           }();
    const QRect row = tree->visualRect(tree->currentIndex());
    EXPECT_FALSE(row.isEmpty());
    for (QModelIndex up = w->ftvDirs->currentIndex().parent(); up.isValid(); up = up.parent()) {
        EXPECT_TRUE(w->ftvDirs->isExpanded(up)) << model->filePath(up).toStdString();
    }
    // Getting there changed nothing else: the start folder is still the one shown.
    EXPECT_EQ(w->currentFolder(), deep);
    EXPECT_TRUE(m_dialogs->shown.isEmpty());

    // Once the user scrolls the tree elsewhere, folders read again leave it there.
    tree->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    QSignalSpy loaded(model, &FolderTreeModel::directoryLoaded);
    model->refresh(m_folder);
    // The folder and the three read below it on the way down.
    QStringList toRead = {m_folder, m_folder + "/0", m_folder + "/0/00", m_folder + "/0/00/000"};
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QList<QVariant>& signal : loaded) {
                toRead.removeAll(signal.first().toString());
            }
            return toRead.isEmpty();
        },
        10000))
        << toRead.join(' ').toStdString();
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->verticalScrollBar()->value(), 0);
    EXPECT_EQ(w->currentFolder(), deep);
}

// The tree shows the start folder once the window is on the screen; a tree that takes the
// keyboard sooner shows it at once, rather than its first row (where Qt would put a tree
// without a current folder).
TEST_F(Browsing, TheTreeFocusedBeforeTheFirstPaintShowsTheStartFolder) {
    const QString start = m_folder + "/Pictures";
    QDir().mkpath(start);
    SaveSetting(keys::kStartDir, start);
    w = std::make_unique<frmGlimvane>();
    ASSERT_TRUE(w->Load());
    w->show();
    QApplication::setActiveWindow(w.get());  // active, not painted yet
    w->ftvDirs->setFocus();
    ASSERT_TRUE(w->ftvDirs->hasFocus());
    auto* model = static_cast<FolderTreeModel*>(w->ftvDirs->model());
    EXPECT_EQ(model->filePath(w->ftvDirs->currentIndex()), start);
    EXPECT_EQ(w->currentFolder(), start);
    QTest::qWait(50);
    EXPECT_EQ(w->currentFolder(), start);
}

TEST_F(Browsing, AStartFolderInsideAHiddenFolderIsShownInTheTree) {
    const QString hidden = m_folder + "/.cache/thumbs";
    QDir().mkpath(hidden);
    QDir().mkpath(m_folder + "/.other");
    QDir().mkpath(m_folder + "/shown");
    SaveSetting(keys::kStartDir, hidden);
    open();
    auto* model = static_cast<FolderTreeModel*>(w->ftvDirs->model());
    QTreeView* tree = w->ftvDirs;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model->filePath(tree->currentIndex()) == hidden; }, 10000));
    // Only the way to the current folder is shown, not every hidden folder. The rows are read
    // as the tree shows them (asking the model for the path would add it), once the folder's
    // listing is in (its ordinary subfolder shows).
    const QModelIndex folder = model->index(m_folder);
    QStringList rows;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            rows.clear();
            for (int r = 0; r < model->rowCount(folder); ++r) {
                rows << model->index(r, 0, folder).data().toString();
            }
            return rows.contains("shown");
        },
        10000));
    rows.sort();
    EXPECT_EQ(rows, QStringList({".cache", "shown"}));
}

// "d\xff" shows as "d\uFFFD", like the real UTF-8 name beside it: each row still enters its own
// folder, by mouse and by keyboard, and the file list shows that folder's files.
TEST_F(Browsing, TheTreeEntersFoldersNamedByBytesThatAreNotUtf8) {
    gvtest::RawFolder parent;
    const std::string raw = "d\xff";
    const std::string lookAlike = "d\xef\xbf\xbd";
    for (const std::string& name : {raw, lookAlike}) {
        parent.folder(name);
        parent.file(name + "/in " + (name == raw ? "raw" : "UTF-8") + ".jpg");
    }
    SaveSetting(keys::kStartDir, parent.path());
    open();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QTreeView* tree = w->ftvDirs;
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return model->filePath(tree->currentIndex()) == parent.path(); }, 10000));
    // The user opens the folder with a click on its arrow.
    const QModelIndex folder = tree->currentIndex();
    const QRect folderRow = tree->visualRect(folder);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(folderRow.left() - tree->indentation() / 2, folderRow.center().y()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 2; }, 10000));
    const auto rowOf = [&](const std::string& name) {
        for (int r = 0; r < 2; ++r) {
            if (fileNameToStdString(model->filePath(model->index(r, 0, folder))) ==
                parent.at(name)) {
                return r;
            }
        }
        return -1;
    };
    const int rawRow = rowOf(raw);
    ASSERT_GE(rawRow, 0);
    ASSERT_EQ(rowOf(lookAlike), 1 - rawRow);
    const QModelIndex rawIndex = model->index(rawRow, 0, folder);
    tree->scrollTo(rawIndex);
    // On the row's icon: a deep row in the narrow tree reaches past its right edge.
    const QRect rawRect = tree->visualRect(rawIndex);
    ASSERT_TRUE(tree->viewport()->rect().contains(rawRect.topLeft() + QPoint(8, 4)));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(rawRect.left() + 8, rawRect.center().y()));
    EXPECT_EQ(fileNameToStdString(w->currentFolder()), parent.at(raw));
    EXPECT_EQ(w->File1->names(), QStringList{"in raw.jpg"});
    QTest::keyClick(tree, rawRow == 0 ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(fileNameToStdString(w->currentFolder()), parent.at(lookAlike));
    EXPECT_EQ(w->File1->names(), QStringList{"in UTF-8.jpg"});
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

// Refresh reads the tree's folders again, also those no watch on disk follows (names that
// are not UTF-8).
TEST_F(Browsing, RefreshShowsFoldersMadeInTheTreesFoldersMeanwhile) {
    gvtest::RawFolder start;
    start.folder("r\xff");
    ASSERT_TRUE(gvtest::writePng(start.path() + "/a.png", gvtest::quadrantImage({16, 16})));
    SaveSetting(keys::kStartDir, start.path());
    open();
    click("a.png");
    auto* model = static_cast<FolderTreeModel*>(w->ftvDirs->model());
    const QString rawPath = start.path() + "/" + fileNameFromBytes(QByteArray("r\xff"));
    const QModelIndex raw = model->index(rawPath);
    QSignalSpy loaded(model, &FolderTreeModel::directoryLoaded);
    w->ftvDirs->expand(raw);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::any_of(loaded.begin(), loaded.end(),
                               [&](const auto& s) { return s.first().toString() == rawPath; });
        },
        10000));
    ASSERT_EQ(model->rowCount(raw), 0);
    start.folder("r\xff/made meanwhile");
    w->Toolbar[3]->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(raw) == 1; }, 10000));
    EXPECT_EQ(model->index(0, 0, raw).data().toString(), "made meanwhile");
}

TEST_F(Browsing, PanelSwitchesHideShowAndDock) {
    open();
    clsIface* iface = w->interfaceState();
    const int width = w->FraFiles->width();
    ASSERT_EQ(width, 150);
    ASSERT_EQ(iface->BrowserToolsDockMode(), 1);
    const int W = w->inner->width();
    // Docked right: the panel two pixels from the right edge, the view two from the left.
    EXPECT_EQ(w->FraFiles->x(), W - width - 2);
    EXPECT_EQ(w->Picture1->x(), 2);
    EXPECT_EQ(byName<QAction>("mnuBTDock")->text(), "Dock Browser Left");

    byName<QAction>("mnuBrowseTools")->trigger();
    EXPECT_EQ(iface->BrowserTools(), 1);
    EXPECT_EQ(w->FraFiles->width(), 0);
    EXPECT_FALSE(w->mnuBrowseTools->isChecked());
    EXPECT_FALSE(w->mnuBTDock->isEnabled());
    byName<QAction>("mnuBrowseTools")->trigger();
    EXPECT_EQ(w->FraFiles->width(), width);
    EXPECT_TRUE(w->mnuBrowseTools->isChecked());

    byName<SoftButton>("sbtToggleDock")->click();
    EXPECT_EQ(iface->BrowserToolsDockMode(), 0);
    EXPECT_EQ(w->FraFiles->x(), 2);
    EXPECT_EQ(w->Picture1->x(), 2 + width + 4);
    EXPECT_EQ(w->mnuBTDock->text(), "Dock Browser Right");

    byName<SoftButton>("sbtCloseFileseek")->click();
    EXPECT_EQ(iface->FileseekToggle(), 1);
    EXPECT_FALSE(w->txtSearch->isVisibleTo(w.get()));
    EXPECT_FALSE(w->mnuFileseekToggle->isChecked());
    byName<QAction>("mnuFileseekToggle")->trigger();
    EXPECT_TRUE(w->txtSearch->isVisibleTo(w.get()));

    byName<SoftButton>("SoftBttn1")->click();
    EXPECT_EQ(iface->BrowserTools(), 1);
}

TEST_F(Browsing, TheLogoShowsFromAnInnerWidthOf648) {
    open();
    for (const auto& [innerWidth, visible] : {std::pair{647, false}, std::pair{648, true}}) {
        w->resize(w->width() + innerWidth - w->inner->width(), w->height());
        QCoreApplication::processEvents();
        ASSERT_EQ(w->inner->width(), innerWidth);
        EXPECT_EQ(w->Image2->isVisibleTo(w.get()), visible) << innerWidth;
    }
    // The program's bitmaps are there: the toolbar logo and the view's logo.
    EXPECT_EQ(w->Image2->pixmap().size(), QSize(120, 32));
    EXPECT_FALSE(w->Image1->shownImage().isNull());
}

TEST_F(Browsing, TheSplitterKeepsThePanelWithinItsLimits) {
    SaveSetting(keys::kBrowserDock, "0");
    open();
    // 90 % of an inner width of 1099 pixels is 989.1: the widest panel is 989 - 4.
    w->resize(1099, w->height());
    QCoreApplication::processEvents();
    const int W = w->inner->width();
    ASSERT_EQ(W, 1099);
    const int widest = 989 - 4;
    auto drag = [this](int toX) {
        QWidget* splitter = w->imgSplitter;
        QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(2, 50));
        QMouseEvent move(QEvent::MouseMove, QPointF(toX - splitter->x(), 50),
                         splitter->mapToGlobal(QPointF(toX - splitter->x(), 50)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(splitter, &move);
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, QPoint(toX - splitter->x(), 50));
    };
    drag(100);
    EXPECT_EQ(w->FraFiles->width(), 150 - 4);
    drag(W - 5);
    EXPECT_EQ(w->FraFiles->width(), widest);
    drag(300);
    EXPECT_EQ(w->FraFiles->width(), 300 - 4);
    // A release where the drag started leaves the width alone.
    const int before = w->FraFiles->width();
    drag(w->imgSplitter->x());
    EXPECT_EQ(w->FraFiles->width(), before);
    // Docked right, the limits hold for the width measured from the right edge.
    byName<SoftButton>("sbtToggleDock")->click();
    ASSERT_EQ(w->interfaceState()->BrowserToolsDockMode(), 1);
    drag(W - 100);
    EXPECT_EQ(w->FraFiles->width(), 150 - 4);
    EXPECT_EQ(w->FraFiles->x() + w->FraFiles->width(), W - 2);
    drag(5);
    EXPECT_EQ(w->FraFiles->width(), widest);
    drag(W - 250);
    EXPECT_EQ(w->FraFiles->width(), 250 - 4);
    // The width is kept for the next start.
    w->close();
    EXPECT_EQ(GetSetting(keys::kBtWidth), QString::number(250 - 4));
}

TEST_F(Browsing, FileseekFindsNamesAndShowsTheChoice) {
    makeFiles({"Beach.jpg.png", "photo.png", "sunbeam.png", "PHOTO2.png"});
    open();
    w->show();
    auto* search = byName<QLineEdit>("txtSearch");
    auto* results = w->List1;
    auto runSearch = [&](const QString& text) {
        search->setFocus();
        QCoreApplication::processEvents();
        search->setText(text);
        press(search, Qt::Key_Return);
    };
    runSearch("");
    EXPECT_EQ(results->count(), 0);
    runSearch("bea");
    ASSERT_EQ(results->count(), 2);
    EXPECT_EQ(results->item(0)->text(), "Beach.jpg.png");
    EXPECT_EQ(results->item(1)->text(), "sunbeam.png");
    runSearch("PhOtO");
    ASSERT_EQ(results->count(), 2);
    EXPECT_EQ(results->item(0)->text(), "photo.png");
    EXPECT_EQ(results->item(1)->data(Qt::UserRole).toInt(), w->File1->rowOf("PHOTO2.png"));

    // Choosing a result shows it; the index counts, even after the folder changed.
    makeFiles({"a-first.png"});
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {},
                      results->visualItemRect(results->item(0)).center());
    EXPECT_EQ(shown(), w->File1->text(results->item(0)->data(Qt::UserRole).toInt()));
    EXPECT_EQ(shown(), "Beach.jpg.png");

    // Backspace in the results goes back to the box with the whole text selected.
    results->setFocus();
    press(results, Qt::Key_Backspace);
    EXPECT_TRUE(search->hasFocus());
    EXPECT_EQ(search->selectedText(), "PhOtO");
    EXPECT_EQ(results->count(), 0);

    // The keyboard chooses too: Enter goes to the results, an arrow key picks one, and the
    // file list takes the keyboard from there.
    press(search, Qt::Key_Return);
    ASSERT_TRUE(results->hasFocus());
    ASSERT_EQ(results->count(), 2);
    QTest::keyClick(results, Qt::Key_Down);
    EXPECT_EQ(shown(), "photo.png");
    EXPECT_TRUE(w->File1->hasFocus());
    results->setFocus();
    QTest::keyClick(results, Qt::Key_Down);
    EXPECT_EQ(shown(), "PHOTO2.png");

    // Clicking into the box selects its text, so typing starts a new search; a hand that
    // moves a little during the click changes nothing.
    const int middle = search->height() / 2;
    QTest::mousePress(search, Qt::LeftButton, {}, QPoint(3, middle));
    QCoreApplication::processEvents();
    QMouseEvent drag(QEvent::MouseMove, QPointF(12, middle),
                     search->mapToGlobal(QPointF(12, middle)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(search, &drag);
    QTest::mouseRelease(search, Qt::LeftButton, {}, QPoint(12, middle));
    QCoreApplication::processEvents();
    EXPECT_EQ(search->selectedText(), search->text());
    ASSERT_TRUE(search->hasFocus());
    QTest::keyClicks(search, "sun");
    EXPECT_EQ(search->text(), "sun");

    // Going to another window and back neither runs a search nor loses the half-typed text.
    press(search, Qt::Key_Return);
    ASSERT_EQ(results->count(), 1);
    search->setFocus();
    QCoreApplication::processEvents();
    QTest::keyClicks(search, "bea");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(search, &away);
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(search, &back);
    QCoreApplication::processEvents();
    EXPECT_EQ(results->count(), 0);
    EXPECT_EQ(search->text(), "bea");
    EXPECT_TRUE(search->selectedText().isEmpty());
}

TEST_F(Browsing, TheFloatingFileseekDeletesTheLastCharacterOnBackspace) {
    makeFiles({"cat.png", "dog.png"});
    open();
    frmFileseek* window = openFloatingFileseek();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Fileseek");
    EXPECT_EQ(window->Text1->text(), "Enter search here");
    window->activateWindow();
    window->Text1->setFocus();
    window->Text1->setText("dogx");
    window->Text1->setCursorPosition(4);
    press(window->Text1, Qt::Key_Return);
    EXPECT_EQ(window->List1->count(), 0);
    press(window->List1, Qt::Key_Backspace);
    EXPECT_EQ(window->Text1->text(), "dog");
    press(window->Text1, Qt::Key_Return);
    ASSERT_EQ(window->List1->count(), 1);
    QTest::mouseClick(window->List1->viewport(), Qt::LeftButton, {},
                      window->List1->visualItemRect(window->List1->item(0)).center());
    EXPECT_EQ(shown(), "dog.png");
}

TEST_F(Browsing, TheFloatingFileseekIsOneWindowSizedByItsFrame) {
    open();
    openFloatingFileseek();
    frmFileseek* window = openFloatingFileseek();
    ASSERT_EQ(w->findChildren<frmFileseek*>().size(), 1);
    window->resize(300, 400);
    // 270 and 790 twips at 15 twips a pixel.
    EXPECT_EQ(window->List1->width(), 300 - 18);
    EXPECT_EQ(window->List1->height(), 400 - 53);
    EXPECT_EQ(window->Text1->width(), window->List1->width());
    // The results look like the main window's lists.
    EXPECT_EQ(window->List1->frameShadow(), w->File1->frameShadow());
}

TEST_F(Browsing, TheFloatingFileseekChoosesByKeyboardAndKeepsTheOtherSelectedFiles) {
    makeFiles({"cat.png", "catalog.png", "dog.png", "eel.png"});
    open();
    frmFileseek* window = openFloatingFileseek();
    ASSERT_NE(window, nullptr);
    // Two files chosen in the list for a later file command, eel.png the current one.
    click("eel.png");
    w->File1->setSelected(w->File1->rowOf("eel.png"), true);
    w->File1->setSelected(w->File1->rowOf("dog.png"), true);
    ASSERT_EQ(w->File1->selectedRows().size(), 2);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));

    // A click into the box selects the old text, so typing replaces it.
    window->Text1->setFocus();
    press(window->Text1, Qt::Key_Return);
    ASSERT_TRUE(window->List1->hasFocus());
    QTest::mouseClick(window->Text1, Qt::LeftButton, {}, QPoint(4, window->Text1->height() / 2));
    QCoreApplication::processEvents();
    QTest::keyClicks(window->Text1, "cat");
    EXPECT_EQ(window->Text1->text(), "cat");
    press(window->Text1, Qt::Key_Return);
    ASSERT_EQ(window->List1->count(), 2);
    QTest::keyClick(window->List1, Qt::Key_Down);
    EXPECT_EQ(shown(), "cat.png");
    QTest::keyClick(window->List1, Qt::Key_Down);
    EXPECT_EQ(shown(), "catalog.png");
    // eel.png gave way to the choices; dog.png is still selected.
    EXPECT_TRUE(w->File1->isSelected(w->File1->rowOf("dog.png")));
    EXPECT_FALSE(w->File1->isSelected(w->File1->rowOf("eel.png")));
    EXPECT_EQ(w->File1->currentText(), "catalog.png");
}

TEST_F(Browsing, TheFileseekExplanationShowsOncePerRun) {
    const auto clickTheBox = [&] {
        QTest::mouseClick(w->txtSearch, Qt::LeftButton);
        QCoreApplication::processEvents();
    };
    const auto run = [&](std::optional<bool> tickedAway) {
        m_dialogs->shown.clear();
        open();
        w->show();
        if (tickedAway) {
            m_dialogs->optOutAnswers.enqueue(*tickedAway);
        }
        clickTheBox();
    };
    run(false);
    clickTheBox();
    EXPECT_TRUE(m_dialogs->showedOne(
        {"Fileseek will help you find certain image files within the file list box at lightning "
         "speed. Type a small part of a filename you are looking for then press Enter. Press "
         "Backspace to reset the search.  For a full explanation please look in Help under the "
         "Features Guide for Fileseek.",
         "Fileseek Quick Explanation"}));
    EXPECT_EQ(GetSetting(keys::kNoFileseekExp), "0");
    w->close();

    // The next run explains again, and the user ticks it away for good.
    run(true);
    EXPECT_EQ(GetSetting(keys::kNoFileseekExp), "1");
    w->close();
    run(std::nullopt);
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

TEST_F(Browsing, CommandsRouteToTheirWork) {
    makeFiles({"a.png", "b.png"});
    open();
    // The directories toggle switches between the folder tree and the favourites list.
    byName<SoftButton>("Toolbar_4")->click();
    EXPECT_EQ(w->interfaceState()->BrowserMode(), 0);
    EXPECT_TRUE(w->FavList->isVisibleTo(w.get()));
    EXPECT_EQ(w->lblBTCap->text(), "Favorites");
    byName<SoftButton>("Toolbar_4")->click();
    EXPECT_EQ(w->interfaceState()->BrowserMode(), 1);
    EXPECT_EQ(w->lblBTCap->text(), "Directories");
    EXPECT_FALSE(w->FavList->isVisibleTo(w.get()));

    // The update commands start the update program, which this installation lacks.
    for (const char* name : {"mnuUpdate", "mnuUpdateLinks", "mnuSubmitweb"}) {
        m_dialogs->shown.clear();
        byName<QAction>(name)->trigger();
        EXPECT_TRUE(m_dialogs->showedOne({{}, "Glimvane Update cannot launch!"})) << name;
    }

    // A picture that is no file: the file buttons stay disabled, help is there.
    w->LoadAndShowImage(Picture::fromRaster(gvtest::quadrantImage({8, 8})));
    EXPECT_TRUE(byName<QAction>("mnuHelpcont")->isEnabled());
    EXPECT_TRUE(byName<SoftButton>("Toolbar_8")->isEnabled());
    EXPECT_FALSE(byName<SoftButton>("Fbts_0")->isEnabled());
    EXPECT_TRUE(byName<SoftButton>("Toolbar_9")->isEnabled());  // Capture Screen

    // Exit asks about the unsaved picture first.
    m_dialogs->shown.clear();
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Cancel);
    byName<QAction>("mnuExit")->trigger();
    EXPECT_EQ(m_dialogs->titles(), QStringList{"Save Image?"});
    EXPECT_TRUE(w->isVisible());

    // "About..." of the tray menu shows the window, then the about box.
    m_dialogs->shown.clear();
    byName<QAction>("mnuAboutGV")->trigger();
    EXPECT_TRUE(m_dialogs->showedOne({{}, "About Glimvane", {}, {}, "modal"}));
}

TEST_F(Browsing, ImagesDecodedAheadAreNeverStale) {
    ASSERT_TRUE(gvtest::writeJpeg(m_folder + "/a.jpg", gvtest::quadrantImage({40, 30})));
    ASSERT_TRUE(gvtest::writeJpeg(m_folder + "/b.jpg", gvtest::quadrantImage({50, 30})));
    open();
    ASSERT_EQ(w->displayMode(), kBestFit);
    w->Toolbar[1]->click();
    EXPECT_EQ(shown(), "a.jpg");
    // Time for the next file to be decoded ahead; then it changes on disk, with a new
    // modification time whatever the file system's resolution.
    QTest::qWait(1900);
    ASSERT_TRUE(gvtest::writeJpeg(m_folder + "/b.jpg", gvtest::quadrantImage({64, 48})));
    w->Toolbar[1]->click();
    EXPECT_EQ(shown(), "b.jpg");
    EXPECT_EQ(w->SB1->panelText("dimen"), "64x48");
    w->Toolbar[1]->click();
    EXPECT_EQ(w->SB1->panelText("dimen"), "40x30");
}
