#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTreeView>

#include "widgets/FileListBox.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "support/FakeTrayIcon.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

QString shortcutOf(frmGlimvane& w, const char* name) {
    auto* a = w.findChild<QAction*>(name);
    return a ? a->shortcut().toString() : QStringLiteral("<missing>");
}

}  // namespace

TEST(WindowObjects, ControlsCarryTheirNamesTextsAndTooltips) {
    gvtest::ScopedFakeTray tray;
    frmGlimvane w;
    EXPECT_EQ(w.objectName(), "frmGlimvane");
    for (const char* name :
         {"Picture1", "Image1", "aniImg", "lblSelSize", "Shape1", "VScroll1", "HScroll1",
          "TilePic", "picSplitter", "imgSplitter", "FraFiles", "Drive1", "Dir1", "ftvDirs",
          "FavList", "File1", "Picture2", "lblBTfiles", "lblBTCap", "SoftBttn1",
          "stbBTRefresh", "sbtToggleDock", "lblBTFiles2", "Label3", "sbtCloseFileseek",
          "txtSearch", "List1", "SB1", "Image2", "Text1", "FileName", "ImDimen", "ImageSize",
          "ftype", "FileDate", "imgBrowserTools_0", "imgBrowserTools_1", "imgBrowserTools_2"}) {
        EXPECT_NE(w.findChild<QWidget*>(name), nullptr) << name;
    }
    const std::pair<const char*, const char*> tips[] = {
        {"Toolbar_0", "Navigate Back"}, {"Toolbar_1", "Navigate Forward"},
        {"Toolbar_2", "Go Home"}, {"Toolbar_3", "Refresh"}, {"Toolbar_4", "Directories Toggle"},
        {"Toolbar_5", "Full Screen"}, {"Toolbar_6", "Display Mode Toggle"},
        {"Toolbar_7", "Options"}, {"Toolbar_8", "Help Contents"},
        {"Toolbar_9", "Capture Screen"}, {"Fbts_0", "Delete File"}, {"Fbts_1", "Copy File"},
        {"Fbts_2", "Move File"}, {"Fbts_3", "Rename File"}, {"TilePic", "Tile Mode Toggle"},
        {"stbBTRefresh", "Refresh Browser Tools"}, {"sbtToggleDock", "Toggle Docking"},
        {"txtSearch", "Search String"}, {"List1", "Search Results"},
        {"SB1", "Image Information"}, {"Image2", "About Glimvane..."}};
    for (const auto& [name, tip] : tips) {
        auto* widget = w.findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->toolTip(), tip) << name;
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << name;
    }
    EXPECT_EQ(w.findChild<QLabel*>("lblBTfiles")->text(), "Browser Tools");
    EXPECT_EQ(w.findChild<QLabel*>("lblBTCap")->text(), "Directories");
    EXPECT_EQ(w.findChild<QLabel*>("Label3")->text(), "Fileseek");
    EXPECT_EQ(w.findChild<QLabel*>("lblSelSize")->text(), "size");
    auto* search = w.findChild<QLineEdit*>("txtSearch");
    EXPECT_EQ(search->text(), "Enter search here");
    EXPECT_EQ(search->font().family(), "Arial");
    EXPECT_EQ(w.File1->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(w.File1->property("pattern").toString(),
              "*.bmp;*.wmf;*.ico;*.gif;*.jpg;*.emf;*.cur");
}

TEST(WindowObjects, MenuBarHasEveryCommandWithCaptionAndShortcut) {
    gvtest::ScopedFakeTray tray;
    frmGlimvane w;
    QStringList topCaptions;
    for (QAction* a : w.menuBar()->actions()) {
        topCaptions << a->text();
    }
    EXPECT_EQ(topCaptions, (QStringList{"&File", "&Edit", "&View", "F&avourites", "&Tools",
                                        "File T&ypes", "&Go", "&Help"}));
    const std::tuple<const char*, const char*, const char*> items[] = {
        {"mnuOpen", "&Open...", "Ctrl+O"}, {"mnuSave", "&Save...", "Ctrl+S"},
        {"mnuClose", "&Close", "Ctrl+X"}, {"mnuDel", "Delete File", "Del"},
        {"mnuRename", "Rename File", "F2"}, {"mnuMove", "Move File", "Ctrl+M"},
        {"mnuCopyFile", "Copy File", "Ctrl+J"}, {"mnuRefresh", "Refresh", "F5"},
        {"mnuExit", "Exit", ""}, {"mnuCopy", "Copy", "Ctrl+C"},
        {"mnuPaste", "&Paste", "Ctrl+V"}, {"mnuClear", "Clear Clipboard", "Ctrl+W"},
        {"mnuBrowseTools", "&Browser Tools", "Ctrl+B"},
        {"mnuFileseekToggle", "&Show Fileseek", "Ctrl+Q"},
        {"mnuBTDock", "&Browser Dock", "Ctrl+G"}, {"mnuNorm", "Normal", ""},
        {"mnuDrag", "Drag", ""}, {"mnuCrop", "Crop", ""}, {"mnuZoommode", "Zoom", ""},
        {"mnuNormal", "Normal Viewing 1:1", ""}, {"mnuZoomin", "Zoom in", ""},
        {"mnuZoomout", "Zoom out", ""}, {"mnuStatus", "Image Information", ""},
        {"mnuFullscrn", "Full Screen", "Ctrl+F"}, {"mnuBGrey", "Grey", ""},
        {"mnuBWhite", "White", ""}, {"mnuBBlack", "Black", ""},
        {"mnuChooseCol", "From Palette...", ""}, {"mnuCreateDir", "Create Directory", ""},
        {"mnuMoveDir", "Move Directory", ""}, {"mnuCopyDir", "Copy Directory", ""},
        {"mnuDelDir", "Delete Directory", ""}, {"mnuAdd", "Add...", "F4"},
        {"mnuFavMan", "&Favourites Manager...", "F7"},
        {"mnuCenter", "&Center Image", "F11"}, {"mnuTileImage", "&Tile Image", "F12"},
        {"mnuFileseek", "Open Fileseek", ""}, {"mnuSysBoth", "Both", ""},
        {"mnuSysTask", "Taskbar Only", ""}, {"mnuSysTray", "Tray Only", ""},
        {"mnuOptions", "&Options...", "F9"}, {"mnuProp", "&Properties", ""},
        {"mnuFTs_0", "BMP", ""}, {"mnuImages", "All Images", ""},
        {"mnuMail", "Email Support", ""}, {"mnuHomepage", "Glimvane Website", ""},
        {"mnuCVLWebsite", "Corvale Website", ""}, {"mnuVividraimghme", "Vividra Homepage", ""},
        {"mnuOpenGVStud", "&Open Glimvane Studio...", ""},
        {"mnuSubmitweb", "&Submit Website", ""}, {"mnuAddlnkManually", "Manually", ""},
        {"mnuLink_0", "NO URL", ""}, {"mnuLink_1", "No URL", ""}, {"mnuLink_3", "No URL", ""},
        {"mnuUpdateLinks", "&Update Links...", "Shift+F2"},
        {"mnuEditLinks", "&Edit Links...", "Shift+F1"}, {"mnuHelpcont", "Help Contents", "F1"},
        {"mnuReadme", "ReadMe", ""}, {"mnuTips", "Glimvane Tips", ""},
        {"mnuUpdate", "&Glimvane Update", "F6"}, {"mnuAboutItem", "About...", "F3"},
        {"mnuShowGV", "Show Glimvane", ""}, {"mnuCopyImg", "Copy Image", ""},
        {"mnuAboutGV", "About...", ""}, {"mnuCloseGV", "Close Glimvane", ""}};
    for (const auto& [name, caption, shortcut] : items) {
        auto* a = w.findChild<QAction*>(name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text(), caption) << name;
        EXPECT_EQ(shortcutOf(w, name), shortcut) << name;
    }
    const std::pair<const char*, const char*> menus[] = {
        {"mnuEditor", "Edit Image with"}, {"mnuCurmodes", "Cursor Modes"}, {"mnuZoom", "Zoom"},
        {"mnuBackCol", "Back Colour"}, {"mnuWallpaper", "&Set as Wallpaper"},
        {"mnuSysTrayIcon", "Systray Icon"}, {"mnuArtgal", "&Artgal's Gallery"},
        {"mnuImgsites", "Vividra Sites"}, {"mnuMyWeb", "My Imaging Sites"},
        {"mnuAddlink", "Add Link"}, {"mnuTrayhost", "Trayhost"}, {"mnuGoMen", "Go"}};
    for (const auto& [name, caption] : menus) {
        auto* m = w.findChild<QMenu*>(name);
        ASSERT_NE(m, nullptr) << name;
        EXPECT_EQ(m->title(), caption) << name;
    }
    QStringList artgal;
    for (QAction* a : w.mnuArtgalLnk) {
        artgal << a->text();
    }
    EXPECT_EQ(artgal, (QStringList{"Homepage", "Tutorials", "Sci- Fi Images", "Landscape Images",
                                   "Surreal Images", "Experimental Images", "Other Images"}));
    // The tray pop-up is not on the menu bar, and its first item is the default.
    EXPECT_FALSE(w.menuBar()->actions().contains(w.mnuTrayhost->menuAction()));
    EXPECT_EQ(w.mnuTrayhost->defaultAction(), w.mnuShowGV);
}
