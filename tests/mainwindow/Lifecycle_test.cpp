#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "mainwindow/Placement.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Paths.h"
#include "platform/Screen.h"
#include "platform/Settings.h"
#include "platform/TrayIcon.h"
#include "settings/SettingKeys.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"
#include "support/Bytes.h"
#include "support/FakeDialogs.h"
#include "support/FakeTrayIcon.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"
#include "widgets/FileListBox.h"

using namespace gv;

namespace {

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        resetAppState();
        overrideScreenSize(QSize(1280, 1024));
    }
    void TearDown() override { overrideScreenSize(QSize()); }

    std::unique_ptr<frmGlimvane> load() {
        auto w = std::make_unique<frmGlimvane>();
        EXPECT_TRUE(w->Load());
        return w;
    }
    static int px(double twips, bool horizontal = true) {
        return qRound(twips / (horizontal ? twipsPerPixelX() : twipsPerPixelY()));
    }
    static void makeProgramFile() { ASSERT_TRUE(gvtest::writeBytes(programPath(), {})); }

    gvtest::ScopedFakeDialogs m_dialogs;
    gvtest::ScopedFakeTray m_tray;
};

}  // namespace

TEST_F(Lifecycle, FirstStartWithAnEmptyStore) {
    auto w = load();
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
    EXPECT_EQ(w->pos(), QPoint(0, 0));
    EXPECT_EQ(w->size(), QSize(px(8690), px(6050, false)));
    EXPECT_EQ(w->displayMode(), kBestFit);
    EXPECT_EQ(w->interfaceState()->BrowserToolsWidth(), 150);
    EXPECT_EQ(w->windowTitle(), "Glimvane - Vividra");
    EXPECT_TRUE(w->logoShown());
    EXPECT_TRUE(appState().ImageIsSaved);
    EXPECT_EQ(w->trayIcon()->toolTipText(), "Glimvane");
    EXPECT_FALSE(w->trayIcon()->inTray());
    EXPECT_EQ(w->findChild<QAction*>("mnuAdd")->text(), "Add current Folder...");
    EXPECT_FALSE(w->Toolbar[5]->isEnabled());
    ASSERT_EQ(w->mnuFav1.size(), 1);
    EXPECT_EQ(w->mnuFav1[0]->text(), "No Favourites");
    EXPECT_FALSE(w->mnuFav1[0]->isEnabled());
    // With no start folder stored, the program's volume is the start.
    EXPECT_EQ(w->currentFolder(), volumeRoot(programFolder()));

    // Closing writes the placement and the interface state.
    w->close();
    EXPECT_EQ(GetSetting(keys::kWindow), "0");
    EXPECT_EQ(GetSetting(keys::kLeft), "0");
    EXPECT_EQ(GetSetting(keys::kTop), "0");
    EXPECT_NEAR(GetSetting(keys::kWidth).toDouble(), 8690, twipsPerPixelX());
    EXPECT_NEAR(GetSetting(keys::kHeight).toDouble(), 6050, twipsPerPixelY());
    EXPECT_EQ(GetSetting(keys::kCursorMode), "0");
    EXPECT_EQ(GetSetting(keys::kFavlist), "0");
    EXPECT_EQ(GetSetting(keys::kBtWidth), "150");
    EXPECT_EQ(GetSetting(keys::kBrowserMode), "1");
    EXPECT_FALSE(SettingExists("Glimvane2", "Interface", "Startdir"));
}

TEST(Placement, StoredValuesAreCorrected) {
    struct Case {
        int state;
        double left, top, width, height;
        WindowPlacement expected;
    };
    const Case cases[] = {
        {0, 0, 0, 8690, 6050, {0, 0, 0, 8690, 6050}},
        {1, 10, 20, 5000, 4000, {0, 10, 20, 5000, 4000}},
        {2, 0, 0, 1500, 1999, {2, 0, 0, 2000, 2000}},
        {0, -1, -3000, 2000, 2000, {0, 100, 100, 2000, 2000}},
    };
    auto fields = [](const WindowPlacement& p) {
        return std::tuple(p.state, p.left, p.top, p.width, p.height);
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fields(correctedPlacement(c.state, c.left, c.top, c.width, c.height)),
                  fields(c.expected));
    }
}

TEST_F(Lifecycle, StoredPlacementIsRestoredWithItsCorrections) {
    SaveSetting(keys::kWindow, "1");
    SaveSetting(keys::kLeft, "-75");
    SaveSetting(keys::kTop, "1500");
    SaveSetting(keys::kWidth, "1500");
    SaveSetting(keys::kHeight, "9000");
    auto w = load();
    EXPECT_FALSE(w->isMinimized());
    EXPECT_EQ(w->pos(), QPoint(px(100), px(1500, false)));
    EXPECT_EQ(w->size(), QSize(px(2000), px(9000, false)));
    // A size stored as text that is no number opens at the default size.
    SaveSetting(keys::kWidth, "wide");
    SaveSetting(keys::kHeight, "");
    EXPECT_EQ(load()->size(), QSize(px(8690), px(6050, false)));
}

TEST_F(Lifecycle, CancelOnTheUnsavedQuestionKeepsTheWindowAndWritesNothing) {
    auto w = load();
    appState().ImageIsSaved = false;
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Cancel);
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(
        m_dialogs->showedOne({"The image showing has not been saved, save it now?", "Save Image?",
                              MsgIcon::Exclamation, MsgButtons::YesNoCancel}));
    for (const char* key : {"window", "left", "top", "width", "height", "cursormode", "Favlist",
                            "btwidth", "browsermode"}) {
        EXPECT_FALSE(SettingExists("Glimvane2", "Options", key)) << key;
    }

    // No lets the close go on and write everything.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::No);
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(SettingExists("Glimvane2", "Options", "window"));
}

TEST_F(Lifecycle, LastUsedFolderIsKeptOnlyWhenAskedFor) {
    const QString pictures = gvtest::testFolders().home + "/Pictures";
    QDir().mkpath(pictures);
    SaveSetting(keys::kStartDir, pictures);
    {
        auto w = load();
        EXPECT_EQ(w->currentFolder(), pictures);
        w->setCurrentFolder(gvtest::testFolders().data);
        w->close();
    }
    EXPECT_EQ(GetSetting(keys::kStartDir), pictures);
    SaveSetting(keys::kLastDirectory, "1");
    {
        auto w = load();
        w->setCurrentFolder(gvtest::testFolders().data);
        w->close();
    }
    EXPECT_EQ(GetSetting(keys::kStartDir), gvtest::testFolders().data);
    // A start folder that has gone falls back to the program's folder.
    SaveSetting(keys::kStartDir, gvtest::testFolders().home + "/gone");
    auto w = load();
    EXPECT_EQ(w->currentFolder(), programFolder());
}

TEST_F(Lifecycle, StartUpMessagesComeInTheirOrder) {
    makeProgramFile();
    overrideScreenSize(QSize(640, 480));
    SaveSetting(keys::kLastGvUpdate, formatStoredDate(QDate::currentDate().addDays(-40)));
    m_dialogs->optOutAnswers.enqueue(false);
    auto w = load();
    const QStringList titles = m_dialogs->titles();
    // Screen check, version check (with the missing recovery program), desktop icons,
    // update reminder.
    EXPECT_EQ(titles, (QStringList{"Screen Resolution", "Information", "Glimvane", "Desktop Icons",
                                   "Glimvane"}));
    EXPECT_EQ(m_dialogs->shown[0].text,
              "For best results we recommend Glimvane to be used on at least a 800x600 display "
              "so you have easy access to the file management toolbar and Fileseek utility. ");
    EXPECT_EQ(m_dialogs->shown[3].text, "Add a desktop icon for Glimvane and Glimvane Update?");
    EXPECT_EQ(m_dialogs->shown[3].icon, MsgIcon::Question);
    EXPECT_EQ(m_dialogs->shown[3].buttons, MsgButtons::YesNo);
    EXPECT_EQ(GetSetting(keys::kDeskIcon232), "1");
    EXPECT_EQ(w->resolutionClass(), 1);
    w->close();

    // Second start: only the screen warning is left, and the user now ticks it away.
    m_dialogs->shown.clear();
    m_dialogs->optOutAnswers.enqueue(true);
    auto again = load();
    EXPECT_EQ(m_dialogs->titles(), QStringList{"Screen Resolution"});
    EXPECT_EQ(GetSetting(keys::kResolutionNoWarn), "1");
    again->close();
    m_dialogs->shown.clear();
    auto third = load();
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

TEST_F(Lifecycle, DesktopIconsAreMadeOnYes) {
    makeProgramFile();
    SaveSetting(keys::kVersionMajor, QString::number(GLIMVANE_VERSION_MAJOR));
    SaveSetting(keys::kVersionMinor, QString::number(GLIMVANE_VERSION_MINOR));
    SaveSetting(keys::kVersionRev, QString::number(GLIMVANE_VERSION_REV));
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
    auto w = load();
    ASSERT_EQ(m_dialogs->titles(), QStringList{"Desktop Icons"});
    const QString launcher = gvtest::testFolders().home + "/Desktop/Glimvane.desktop";
    const QString text = QString::fromUtf8(gvtest::readBytes(launcher));
    EXPECT_TRUE(text.contains("Exec=" + programPath() + " %f")) << text.toStdString();
    EXPECT_TRUE(QFile::permissions(launcher) & QFileDevice::ExeOwner);
}

TEST_F(Lifecycle, ScreenSizesGiveTheirResolutionClass) {
    const std::pair<QSize, int> cases[] = {{{640, 480}, 1}, {{600, 400}, 1}, {{640, 600}, 0},
                                           {{800, 600}, 2}, {{801, 601}, 3}, {{1920, 1080}, 3},
                                           {{800, 700}, 0}};
    SaveSetting(keys::kResolutionNoWarn, "1");
    frmGlimvane w;
    for (const auto& [size, cls] : cases) {
        overrideScreenSize(size);
        w.CheckScreenResolution();
        EXPECT_EQ(w.resolutionClass(), cls) << size.width() << "x" << size.height();
        EXPECT_EQ(w.screenWidthPx(), size.width());
    }
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

TEST_F(Lifecycle, SensitivitiesAndCursorModeFromTheStore) {
    struct Case {
        QString scrollsen, dragsen, cursormode;
        int pageStep, dragStep, cursor;
    };
    const Case cases[] = {
        {"0", "0", "0", 20, 40, kCursorNormal},
        {"3", "3", "1", 80, 20, kCursorCrop},
        {"5", "6", "3", 130, 2, kCursorDrag},
        {"x", "", "1", 0, 0, kCursorCrop},
        // The logo shown at start resets the mode to Normal, and the second pass only
        // brings back crop, normal and drag.
        {"1", "1", "2", 45, 40, kCursorNormal},
        {"9", "9", "7", 0, 0, kCursorNormal},
    };
    for (const Case& c : cases) {
        SaveSetting(keys::kScrollSen, c.scrollsen);
        SaveSetting(keys::kDragSen, c.dragsen);
        SaveSetting(keys::kCursorMode, c.cursormode);
        auto w = std::make_unique<frmGlimvane>();
        const int initialPage = w->HScroll1->pageStep();
        const int initialDrag = w->dragStep();
        ASSERT_TRUE(w->Load());
        // Values outside the tables leave what was there.
        EXPECT_EQ(w->HScroll1->pageStep(), c.pageStep ? c.pageStep : initialPage);
        EXPECT_EQ(w->VScroll1->pageStep(), c.pageStep ? c.pageStep : initialPage);
        EXPECT_EQ(w->dragStep(), c.dragStep ? c.dragStep : initialDrag);
        EXPECT_EQ(w->cursorMode(), c.cursor);
    }
}

TEST_F(Lifecycle, WindowOptionsAreApplied) {
    auto w = load();
    EXPECT_EQ(w->mnuFav->title(), "Favourites");
    EXPECT_EQ(w->mnuFavMan->text(), "Favourites Manager");
    EXPECT_TRUE(appState().Animate87aGif);
    SaveSetting(keys::kFavorite, "1");
    SaveSetting(keys::kGif87a, "1");
    SaveSetting(keys::kFollowOp, "1");
    SaveSetting(keys::kFlatCtl, "1");
    SaveSetting(keys::kSysTrayIcon, "1");
    SaveSetting(keys::kShowMinim, "False");
    w->ApplyWindowOptions();
    EXPECT_EQ(w->mnuFav->title(), "Favorites");
    EXPECT_EQ(w->mnuFavMan->text(), "Favorites Manager");
    EXPECT_TRUE(appState().FavoriteSpelling);
    EXPECT_FALSE(appState().Animate87aGif);
    EXPECT_TRUE(w->followOperations());
    EXPECT_TRUE(w->trayOnly());
    EXPECT_EQ(w->minimiseMode(), 1);
    // Mode 1: the icon is always there.
    EXPECT_TRUE(w->trayIcon()->inTray());
    SaveSetting(keys::kSysTrayIcon, "0");
    w->ApplyWindowOptions();
    EXPECT_FALSE(w->trayIcon()->inTray());
}

TEST_F(Lifecycle, MinimisingHidesIntoTheTrayOnlyWhereThereIsOne) {
    SaveSetting(keys::kSysTrayIcon, "1");
    // An open tip window would keep the icon from bringing the window back.
    SaveSetting(keys::kShowTips, "0");
    auto w = load();
    EXPECT_EQ(w->minimiseMode(), 0);
    w->showMinimized();
    w->ApplyTrayIconState();
    EXPECT_TRUE(w->trayIcon()->inTray());
    EXPECT_FALSE(w->isVisible());
    w->mnuShowGV->setText("Show Glimvane");
    w->mnuShowGV_Click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->trayIcon()->inTray());

    static_cast<gvtest::FakeTrayIcon*>(w->trayIcon())->setAvailable(false);
    w->showMinimized();
    w->ApplyTrayIconState();
    EXPECT_TRUE(w->isVisible());
}

TEST_F(Lifecycle, ExitAsksNothingWhenSavedAndEndsTheWindow) {
    auto w = load();
    bool ended = false;
    QObject::connect(w.get(), &frmGlimvane::unloaded, [&ended] { ended = true; });
    w->mnuExit->trigger();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

TEST_F(Lifecycle, TheTrayIconsClicksShowTheWindowAndItsRightButtonTheMenu) {
    SaveSetting(keys::kSysTrayIcon, "1");
    // An open tip window would keep the icon from bringing the window back.
    SaveSetting(keys::kShowTips, "0");
    auto w = load();
    TrayIcon* tray = w->trayIcon();
    w->setWindowState(Qt::WindowMaximized);
    w->showMinimized();
    w->ApplyTrayIconState();
    ASSERT_FALSE(w->isVisible());

    // A single click, all a StatusNotifier host reports, brings the window back, in the
    // normal state.
    tray->activated(TrayIcon::Activation::Click);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->isVisible(); }, 5000));
    EXPECT_FALSE(w->isMinimized());
    EXPECT_FALSE(w->isMaximized());

    // A click followed by a double-click, as an XEmbed tray reports one, acts once.
    w->showMinimized();
    w->ApplyTrayIconState();
    ASSERT_FALSE(w->isVisible());
    tray->activated(TrayIcon::Activation::Click);
    tray->activated(TrayIcon::Activation::DoubleClick);
    EXPECT_TRUE(w->isVisible());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_TRUE(w->isVisible());

    // The right button opens the icon's menu, captioned for the window's state.
    QString caption;
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (QApplication::activePopupWidget() == w->mnuTrayhost) {
            opened = true;
            caption = w->mnuShowGV->text();
            w->mnuTrayhost->close();
        }
    });
    tray->activated(TrayIcon::Activation::Context);
    QTest::qWait(50);
    EXPECT_TRUE(opened);
    EXPECT_EQ(caption, "Hide Glimvane");
    EXPECT_EQ(w->mnuTrayhost->defaultAction(), w->mnuShowGV);
    w->mnuTrayhost->close();
    // Not while another window of the program is open.
    appState().SecondaryWindowOpen = true;
    tray->activated(TrayIcon::Activation::Context);
    EXPECT_FALSE(w->mnuTrayhost->isVisible());
    appState().SecondaryWindowOpen = false;

    // Closed from the tray, the favourites list keeps its own state.
    w->FavList->show();
    w->showMinimized();
    w->ApplyTrayIconState();
    ASSERT_FALSE(w->isVisible());
    w->close();
    EXPECT_EQ(GetSetting(keys::kFavlist), "1");
}

// The command line's image is shown before its folder is read; the folder follows once the
// view has been painted, the image selected in it.
TEST_F(Lifecycle, TheCommandLinesImageComesBeforeItsFolder) {
    const QString folder = gvtest::testFolders().home + "/Pictures";
    QDir().mkpath(folder);
    for (const char* name : {"a.png", "b.png", "c.png", "notes.txt"}) {
        ASSERT_TRUE(gvtest::writePng(folder + "/" + name, gvtest::quadrantImage({40, 30})));
    }
    appState().pendingCommandLine = "\"" + folder + "/b.png\"";
    auto w = load();
    EXPECT_EQ(w->windowTitle(), "Glimvane - b.png");
    EXPECT_EQ(w->currentFolder(), folder);
    EXPECT_EQ(w->File1->count(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->File1->count() == 3; }, 5000));
    EXPECT_EQ(w->File1->currentText(), "b.png");
    EXPECT_TRUE(w->File1->isSelected(w->File1->currentRow()));
    EXPECT_EQ(w->windowTitle(), "Glimvane - b.png");
}
