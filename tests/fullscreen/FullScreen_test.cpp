// The full-screen viewer: its layout and navigation rules, and the real window driven with
// real mouse buttons over a folder of real files.

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "fullscreen/FullScreenRules.h"
#include "fullscreen/MiniBrowser.h"
#include "fullscreen/frmFullscn.h"
#include "platform/Controls.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/ImageFiles.h"
#include "support/RawFolder.h"
#include "support/TestEnvironment.h"
#include "support/Tmpfs.h"
#include "support/WindowFixture.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderTreeModel.h"
#include "widgets/ImageBox.h"

using namespace gv;

TEST(FullScreenRules, PicturesAreCentredFittedOrScrolled) {
    struct Case {
        int picture, screen;
        AxisLayout expected;
    };
    const Case cases[] = {
        {600, 1280, {1280, 340, false, 0}},  // smaller: centred over the whole screen
        {1280, 1280, {1280, 0, false, 0}},   // exactly as wide: at 0, no bar
        {1281, 1280, {1267, 0, true, 14}},   // one pixel wider: the bar ranges over the rest
        {6000, 1280, {1267, 0, true, 4733}},
    };
    const auto fields = [](const AxisLayout& a) {
        return std::tuple(a.viewport, a.offset, a.barShown, a.barMaximum);
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fields(fullScreenAxis(c.picture, c.screen, 13)), fields(c.expected)) << c.picture;
    }
}

TEST(FullScreenRules, MouseButtonsStepWrapAndClose) {
    const QString toLast =
        "There are no more images to view in the current directory, "
        "switching to last image.";
    const QString toFirst =
        "There are no more images to view in the current directory, "
        "switching to first image.";
    const NavigationSettings plain;
    NavigationSettings swapped;
    swapped.swapButtons = true;
    NavigationSettings closing;
    closing.closeOnClick = true;
    NavigationSettings single;
    single.closeAfterFirst = true;
    struct Case {
        int button, current, count;
        NavigationSettings settings;
        bool close;
        int select;
        QString message;
    };
    const Case cases[] = {
        {1, 2, 5, plain, false, 1, {}},     {2, 2, 5, plain, false, 3, {}},
        {1, 0, 5, plain, false, 4, toLast}, {2, 4, 5, plain, false, 0, toFirst},
        {1, -1, 5, plain, false, 0, {}},    {2, -1, 5, plain, false, 0, {}},
        {1, 2, 5, swapped, false, 3, {}},   {2, 0, 5, swapped, false, 4, toLast},
        {2, 2, 5, closing, true, -1, {}},   {1, 2, 5, single, true, -1, {}},
        {2, -1, 0, plain, false, -1, {}},   {3, 2, 5, plain, false, -1, {}},
    };
    for (const Case& c : cases) {
        const NavigationStep s = navigationStep(c.button, c.current, c.count, c.settings);
        EXPECT_EQ(std::tuple(s.close, s.select, s.wrapMessage),
                  std::tuple(c.close, c.select, c.message))
            << c.button << " at " << c.current;
    }
}

namespace {

class FullScreen : public gvtest::WindowFixture {
protected:
    // The viewer over the main window's folder, opened as the main window opens it.
    std::unique_ptr<frmFullscn> openViewer(const QString& shown,
                                           const QRect& screen = QRect(0, 0, 1280, 1024)) {
        open();
        click(shown);
        FullScreenStart start;
        start.picture = w->Image1->picture();
        start.imagePath = appState().CurrentImagePath;
        start.folder = m_folder;
        start.pattern = w->filePattern();
        start.selectedName = shown;
        start.screen = screen;
        FullScreenHost host;
        host.folderChanged = [this](const QString& f) { m_followed << f; };
        auto viewer = std::make_unique<frmFullscn>(start, host);
        viewer->show();
        return viewer;
    }
    // A real button release on the viewer's picture, after the opening lock.
    void clickPicture(frmFullscn& viewer, Qt::MouseButton button, bool waitForLock = true) {
        if (waitForLock) {
            QTRY_VERIFY(!viewer.Tim->isActive());
        }
        const QPoint at = viewer.Picture1->mapTo(&viewer, QPoint(3, 3));
        QTest::mousePress(viewer.windowHandle(), button, {}, at);
        QTest::mouseRelease(viewer.windowHandle(), button, {}, at);
        QCoreApplication::processEvents();  // the load waiting for the click
    }
    // A real press and release at a point of the viewer: the widget on top there gets it.
    static void clickAt(frmFullscn& viewer, Qt::MouseButton button, const QPoint& at) {
        QTest::mousePress(viewer.windowHandle(), button, {}, at);
        QTest::mouseRelease(viewer.windowHandle(), button, {}, at);
        QCoreApplication::processEvents();
    }
    QStringList m_followed;
};

QRgb pixelOf(QWidget* w, const QPoint& at) {
    return w->grab().toImage().pixel(at);
}

}  // namespace

TEST_F(FullScreen, OpensOnTheShownPictureAndStepsWithTheMouseButtons) {
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        ASSERT_TRUE(gvtest::writePng(file(name), gvtest::quadrantImage({40, 30})));
    }
    ASSERT_TRUE(gvtest::writePng(file("wide.png"), gvtest::quadrantImage({1281, 30})));
    auto viewer = openViewer("a.png");
    // The main window's picture, not a new reading of the file.
    EXPECT_EQ(viewer->picture().sizePixels(), QSize(40, 30));
    EXPECT_EQ(viewer->Label1->text(), file("a.png"));
    EXPECT_EQ(viewer->Image1->geometry(), QRect((1280 - 40) / 2, (1024 - 30) / 2, 40, 30));
    EXPECT_EQ(viewer->Frame1->lblCount->text(), "4");
    EXPECT_EQ(viewer->Frame1->lblNumber->text(), "1");
    EXPECT_TRUE(m_followed.isEmpty());

    // A click in the first moments does nothing.
    clickPicture(*viewer, Qt::RightButton, false);
    EXPECT_EQ(viewer->Frame1->File1->currentRow(), 0);

    // Left at the first image wraps to the last, after saying so.
    clickPicture(*viewer, Qt::LeftButton);
    ASSERT_TRUE(m_dialogs->showedOne({.title = "Glimvane 2", .icon = MsgIcon::Information}));
    EXPECT_EQ(viewer->shownPath(), file("wide.png"));
    EXPECT_EQ(viewer->Frame1->lblNumber->text(), "4");
    // One pixel wider than the screen: at 0, with the bar over the rest.
    EXPECT_EQ(viewer->Image1->x(), 0);
    EXPECT_TRUE(viewer->HScroll1->isVisibleTo(viewer.get()));
    EXPECT_FALSE(viewer->VScroll1->isVisibleTo(viewer.get()));
    EXPECT_EQ(viewer->HScroll1->maximum(), 1281 - viewer->Picture1->width());
    // The arrow keys scroll, and a step past the end is ignored.
    QTest::keyClick(viewer.get(), Qt::Key_Left);
    EXPECT_EQ(viewer->HScroll1->value(), 0);
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    const int step = viewer->HScroll1->value();  // 100 twips
    EXPECT_GT(step, 0);
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    EXPECT_EQ(viewer->HScroll1->value(), 2 * step);
    EXPECT_EQ(viewer->Image1->x(), -2 * step);

    // Right at the last wraps to the first; with the buttons swapped, left goes on.
    clickPicture(*viewer, Qt::RightButton);
    EXPECT_EQ(viewer->shownPath(), file("a.png"));
    SaveSetting(keys::kFsNav, "1");
    clickPicture(*viewer, Qt::LeftButton);
    EXPECT_EQ(viewer->shownPath(), file("b.png"));
    EXPECT_EQ(m_dialogs->shown.size(), 2);
    EXPECT_TRUE(viewer->isVisible());

    // Esc closes.
    QTest::keyClick(viewer.get(), Qt::Key_Escape);
    EXPECT_FALSE(viewer->isVisible());
}

TEST_F(FullScreen, AnUnreadableFileClosesAndAnUnknownEndingKeepsThePicture) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage({40, 30})));
    ASSERT_TRUE(gvtest::writeBytes(file("b.jpe"), "not a picture"));
    ASSERT_TRUE(gvtest::writeBytes(file("c.png"), "not a picture either"));
    auto viewer = openViewer("a.png");
    // The viewer does not read ".jpe" files: the picture stays, the path is the new one.
    clickPicture(*viewer, Qt::RightButton);
    EXPECT_EQ(viewer->Label1->text(), file("b.jpe"));
    EXPECT_EQ(viewer->picture().sizePixels(), QSize(40, 30));
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
    clickPicture(*viewer, Qt::RightButton);
    ASSERT_TRUE(
        m_dialogs->showedOne({.text = "Error!", .title = "Glimvane Error", .icon = MsgIcon::None}));
    EXPECT_FALSE(viewer->isVisible());
    // The main window still shows its picture.
    EXPECT_EQ(appState().CurrentImagePath, file("a.png"));
}

TEST_F(FullScreen, TheOptionsCloseOnAClickAndSetTheColours) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage({40, 30})));
    ASSERT_TRUE(gvtest::writePng(file("b.png"), gvtest::quadrantImage({40, 30})));
    SaveSetting(keys::kDisFsNav, "1");
    SaveSetting(keys::kFullScreenColour, "Yellow");
    SaveSetting(keys::kFullScreenInfo, "Off");
    auto viewer = openViewer("a.png");
    EXPECT_EQ(viewer->Picture1->background(), QColor(0xFF, 0xFF, 0x00));
    EXPECT_TRUE(viewer->colourItems[6]->isChecked());
    EXPECT_FALSE(viewer->Label1->isVisibleTo(viewer.get()));
    viewer->colourItems[3]->trigger();
    EXPECT_EQ(GetSetting(keys::kFullScreenColour), "Green");
    EXPECT_EQ(viewer->Label1->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xFF));
    EXPECT_FALSE(viewer->colourItems[6]->isChecked());
    viewer->mnuInfo->trigger();
    EXPECT_EQ(GetSetting(keys::kFullScreenInfo), "On");
    clickPicture(*viewer, Qt::RightButton);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(viewer->shownPath(), file("a.png"));
}

TEST_F(FullScreen, TheMiniBrowserKeepsTheMainWindowInStep) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage({40, 30})));
    QDir().mkpath(m_folder + "/more");
    ASSERT_TRUE(gvtest::writePng(m_folder + "/more/x.png", gvtest::quadrantImage({20, 20})));
    SaveSetting(keys::kFsMbAl, "1");
    auto viewer = openViewer("a.png");
    EXPECT_TRUE(viewer->Frame1->isVisibleTo(viewer.get()));
    // A click in the folder list enters the folder; the main window is told.
    const auto items = viewer->Frame1->Dir1->findItems("more", Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    const QRect row = viewer->Frame1->Dir1->visualItemRect(items[0]);
    QTest::mouseClick(viewer->Frame1->Dir1->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(viewer->folder(), m_folder + "/more");
    EXPECT_EQ(m_followed, QStringList{m_folder + "/more"});
    EXPECT_EQ(viewer->Frame1->lblCount->text(), "1");
    // And the viewer follows a folder the main window goes to.
    viewer->setFolder(m_folder);
    EXPECT_EQ(viewer->Frame1->lblCount->text(), "1");
    EXPECT_EQ(viewer->Frame1->File1->text(0), "a.png");
}

TEST_F(FullScreen, ClicksFasterThanTheLoadsReplaceTheWaitingLoad) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage({40, 30})));
    ASSERT_TRUE(gvtest::writeBytes(file("b.png"), "broken, but only passed over"));
    ASSERT_TRUE(gvtest::writePng(file("c.png"), gvtest::quadrantImage({50, 30})));
    auto viewer = openViewer("a.png");
    QTRY_VERIFY(!viewer->Tim->isActive());
    // Two clicks reach the window before it gets round to loading.
    for (int i = 0; i < 2; ++i) {
        QTest::mousePress(viewer->Picture1, Qt::RightButton, {}, QPoint(3, 3));
        QTest::mouseRelease(viewer->Picture1, Qt::RightButton, {}, QPoint(3, 3));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(viewer->shownPath(), file("c.png"));
    EXPECT_EQ(viewer->picture().sizePixels(), QSize(50, 30));
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
    EXPECT_TRUE(viewer->isVisible());
}

TEST_F(FullScreen, TheMainWindowOpensItByMenuToolbarAndDoubleClick) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage({40, 30})));
    open();
    w->show();
    click("a.png");
    int opened = 0;
    // Each way in opens the viewer on the shown picture, on the whole screen.
    const auto expectViewer = [&] {
        m_dialogs->modalScripts.enqueue([&](QDialog& d) {
            auto* viewer = qobject_cast<frmFullscn*>(&d);
            if (viewer && viewer->shownPath() == file("a.png") && viewer->isVisible() &&
                appState().FullScreenActive) {
                ++opened;
            }
            return int(QDialog::Accepted);
        });
    };
    expectViewer();
    w->mnuFullscrn->trigger();
    expectViewer();
    w->Toolbar[5]->click();
    expectViewer();
    QTest::mouseDClick(w->Image1, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(opened, 3);
    EXPECT_FALSE(appState().FullScreenActive);
}

// "r\xff" and its look-alike "r\xef\xbf\xbd" show the same; the row clicked is the folder entered.
TEST(MiniBrowserTree, ARowNamedByBytesThatAreNotUtf8EntersItsOwnFolder) {
    gvtest::RawFolder parent;
    parent.folder("r\xff");
    parent.file("r\xff/x.jpg");
    parent.folder("r\xef\xbf\xbd");
    MiniBrowser browser;
    browser.setPattern("*.jpg");
    browser.resize(300, 700);
    browser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
    ASSERT_TRUE(browser.setFolder(parent.path()));
    QSignalSpy changed(&browser, &MiniBrowser::folderChanged);
    auto* model = static_cast<FolderTreeModel*>(browser.ftvDirs->model());
    const QModelIndex folder = model->index(parent.path());
    browser.ftvDirs->expand(folder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 2; }, 10000));
    for (int r = 0; r < 2; ++r) {
        const QModelIndex row = model->index(r, 0, folder);
        if (fileNameToStdString(model->filePath(row)) == parent.at("r\xff")) {
            browser.ftvDirs->scrollTo(row);
            QTest::mouseClick(browser.ftvDirs->viewport(), Qt::LeftButton, {},
                              browser.ftvDirs->visualRect(row).center());
        }
    }
    EXPECT_EQ(fileNameToStdString(browser.folder()), parent.at("r\xff"));
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(browser.lblCount->text(), "1");
}

TEST_F(FullScreen, GreyModeColoursTheMiniBrowserTheDriveListIncluded) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage({40, 30})));
    SaveSetting(keys::kFsMbAl, "1");
    SaveSetting(keys::kGreyMode, "1");
    auto viewer = openViewer("a.png");
    MiniBrowser* mini = viewer->Frame1;
    const QRgb grey = qRgb(0x80, 0x80, 0x80), light = qRgb(0xE0, 0xE0, 0xE0);
    struct Case {
        QWidget* widget;
        QPoint at;  // a point of the background, clear of text and frames
        QRgb colour;
    } const cases[] = {
        {mini, {mini->width() / 2, mini->height() - 3}, grey},
        {mini->Drive1, {mini->Drive1->width() - 30, mini->Drive1->height() / 2}, light},
        {mini->Dir1, {6, mini->Dir1->height() - 6}, light},
        {mini->File1, {6, mini->File1->height() - 6}, light},
        {mini->Label3, {1, 1}, grey},
        {mini->lblCount, {1, 1}, grey},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QColor(pixelOf(c.widget, c.at)), QColor(c.colour))
            << c.widget->objectName().toStdString();
    }
}

// A click on the information line or the strip below the menu bar closes the viewer; that is
// the left button. Any button released over "Close" gives the folder list the keyboard.
TEST_F(FullScreen, OnlyTheLeftButtonClosesAndCloseHandsTheKeyboardToTheFolderList) {
    ASSERT_TRUE(gvtest::writePng(file("a.png"), gvtest::quadrantImage({40, 30})));
    SaveSetting(keys::kFsMbAl, "1");
    auto viewer = openViewer("a.png");
    QTRY_VERIFY(!viewer->Tim->isActive());
    const QPoint info = viewer->Label1->geometry().center();
    const QPoint strip = viewer->Label4->geometry().center();
    for (const QPoint& at : {info, strip}) {
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            clickAt(*viewer, button, at);
            EXPECT_TRUE(viewer->isVisible()) << at.x() << "," << at.y() << " " << button;
        }
    }
    EXPECT_EQ(viewer->shownPath(), file("a.png"));
    QPushButton* close = viewer->Frame1->cmdExit;
    QTest::mouseClick(close, Qt::RightButton);
    EXPECT_EQ(viewer->focusWidget(), viewer->Frame1->Dir1);
    EXPECT_TRUE(viewer->isVisible());
    clickAt(*viewer, Qt::LeftButton, strip);
    EXPECT_FALSE(viewer->isVisible());
}

// Each picture loaded reads the folder's list again with the main window's pattern: a file
// added meanwhile is counted and reached.
TEST_F(FullScreen, FilesAddedWhileTheViewerIsOpenAreListedAtTheNextPicture) {
    for (const char* name : {"a.png", "b.png"}) {
        ASSERT_TRUE(gvtest::writePng(file(name), gvtest::quadrantImage({40, 30})));
    }
    auto viewer = openViewer("a.png");
    ASSERT_TRUE(gvtest::writePng(file("c.png"), gvtest::quadrantImage({50, 30})));
    clickPicture(*viewer, Qt::RightButton);
    EXPECT_EQ(viewer->Frame1->lblCount->text(), "3");
    clickPicture(*viewer, Qt::RightButton);
    EXPECT_EQ(viewer->shownPath(), file("c.png"));
}

// The viewer's icon sits in the corner the picture leaves free: every arrow of a scroll bar
// takes its clicks.
TEST_F(FullScreen, TheIconLeavesEveryScrollArrowUsable) {
    struct Case {
        const char* name;
        QSize size;
    } const cases[] = {{"both.png", {900, 900}}, {"wide.png", {900, 30}}, {"tall.png", {30, 900}}};
    for (const Case& c : cases) {
        ASSERT_TRUE(gvtest::writePng(file(c.name), gvtest::quadrantImage(c.size)));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The whole screen the test's windows have, so that every point is on the window.
        auto viewer = openViewer(c.name, QGuiApplication::primaryScreen()->geometry());
        for (QScrollBar* bar : {viewer->HScroll1, viewer->VScroll1}) {
            if (!bar->isVisibleTo(viewer.get())) {
                continue;
            }
            // The arrow at the far end, then the one at the near end, 3 pixels in.
            const QRect r = bar->geometry().adjusted(3, 3, -3, -3);
            const bool across = bar->orientation() == Qt::Horizontal;
            clickAt(
                *viewer, Qt::LeftButton,
                across ? QPoint(r.right(), r.center().y()) : QPoint(r.center().x(), r.bottom()));
            EXPECT_EQ(bar->value(), bar->singleStep()) << bar->objectName().toStdString();
            clickAt(*viewer, Qt::LeftButton, r.topLeft());
            EXPECT_EQ(bar->value(), 0) << bar->objectName().toStdString();
        }
        viewer.reset();
        w.reset();
    }
}

// The drive list of the MiniBrowser: a volume taken away is "Drive unavailable"; one the user
// may not enter says so with the system's number as the title; the folder stays either way.
TEST(MiniBrowserDrives, AVolumeThatCannotBeEnteredIsReportedAndTheFolderStays) {
    gvtest::ScopedFakeDialogs dialogs;
    const QString root = gvtest::testFolders().root;
    MiniBrowser browser;
    browser.resize(300, 700);
    browser.show();
    ASSERT_TRUE(browser.setFolder(root));
    // Opens the list (read anew), lets the world change, then picks the volume's line with
    // the keys (the list lets no click through in its first moments).
    const auto choose = [&](const QString& volume, const std::function<void()>& meanwhile) {
        QTest::mouseClick(browser.Drive1, Qt::LeftButton);
        QAbstractItemView* list = browser.Drive1->view();
        const int row = browser.Drive1->findText(volume);
        ASSERT_GE(row, 0) << volume.toStdString();
        meanwhile();
        QTest::keyClick(list, Qt::Key_Home);
        for (int i = 0; i < row; ++i) {
            QTest::keyClick(list, Qt::Key_Down);
        }
        QTest::keyClick(list, Qt::Key_Return);
    };
    const QString usbRoot = root + "/usb";
    gvtest::Tmpfs usb(usbRoot.toStdString(), "size=1m,mode=0744");
    GV_REQUIRE_TMPFS(usb);
    // Listed while there, taken away before it is chosen.
    choose(usbRoot, [&] { ASSERT_TRUE(usb.unmount()); });
    ASSERT_TRUE(dialogs->showedOne(
        {.text = "Drive unavailable", .title = "Problem", .icon = MsgIcon::Exclamation}));
    EXPECT_EQ(browser.folder(), root);
    ASSERT_TRUE(usb.mount());
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody) {
        GTEST_SKIP() << "entering a folder as another user needs root and the user nobody";
    }
    // Chosen by a user who may read it but not enter it: the description, critical, the
    // number as title (one who may not read it has no drive there at all). The test's folder
    // lets that user pass through for a moment.
    const QByteArray top = QFile::encodeName(root);
    ASSERT_EQ(::chmod(top.constData(), 0711), 0);
    choose(usbRoot, [&] { ASSERT_EQ(::seteuid(nobody->pw_uid), 0); });
    ASSERT_EQ(::seteuid(0), 0);
    ::chmod(top.constData(), 0700);
    ASSERT_EQ(dialogs->shown.size(), 2);
    EXPECT_EQ(dialogs->shown[1].text, "Permission denied");
    EXPECT_EQ(dialogs->shown[1].icon, MsgIcon::Critical);
    EXPECT_EQ(dialogs->shown[1].title, "70");
    EXPECT_EQ(browser.folder(), root);
    // By the user it belongs to, it opens; the volume shown again keeps the folder.
    choose(usbRoot, [] {});
    EXPECT_EQ(browser.folder(), usbRoot);
    ASSERT_TRUE(QDir().mkpath(usbRoot + "/sub"));
    ASSERT_TRUE(browser.setFolder(usbRoot + "/sub"));
    choose(usbRoot, [] {});
    EXPECT_EQ(browser.folder(), usbRoot + "/sub");
    EXPECT_EQ(dialogs->shown.size(), 2);
}
