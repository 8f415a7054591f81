// The menu bar, the notification-area icon's pop-up menu and the menu arrays.

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "mainwindow/frmGlimvane.h"

namespace gv {
namespace {

QMenu* menu(QWidget* owner, QMenu* parentMenu, const char* name, const QString& caption) {
    auto* m = new QMenu(caption, owner);
    m->setObjectName(QString::fromLatin1(name));
    m->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("_action"));
    if (parentMenu) {
        parentMenu->addMenu(m);
    }
    return m;
}

QAction* item(QWidget* owner, QMenu* m, const char* name, const QString& caption,
              const QKeySequence& shortcut = QKeySequence()) {
    auto* a = new QAction(caption, owner);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        // Shortcuts work while the menu bar is closed.
        owner->addAction(a);
    }
    m->addAction(a);
    return a;
}

QAction* arrayItem(QWidget* owner, QMenu* m, const char* name, int index,
                   const QString& caption) {
    auto* a = new QAction(caption, owner);
    a->setObjectName(QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(index));
    m->addAction(a);
    return a;
}

}  // namespace

void frmGlimvane::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    QWidget* w = this;

    mnuFileItem = menu(w, nullptr, "mnuFileItem", QStringLiteral("&File"));
    bar->addMenu(mnuFileItem);
    mnuOpen = item(w, mnuFileItem, "mnuOpen", QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuSave = item(w, mnuFileItem, "mnuSave", QStringLiteral("&Save..."), QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuClose = item(w, mnuFileItem, "mnuClose", QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuFileItem->addSeparator();
    mnuDel = item(w, mnuFileItem, "mnuDel", QStringLiteral("Delete File"), QKeySequence(Qt::Key_Delete));
    mnuRename = item(w, mnuFileItem, "mnuRename", QStringLiteral("Rename File"), QKeySequence(Qt::Key_F2));
    mnuMove = item(w, mnuFileItem, "mnuMove", QStringLiteral("Move File"), QKeySequence(Qt::CTRL | Qt::Key_M));
    mnuCopyFile = item(w, mnuFileItem, "mnuCopyFile", QStringLiteral("Copy File"), QKeySequence(Qt::CTRL | Qt::Key_J));
    mnuFileItem->addSeparator();
    mnuRefresh = item(w, mnuFileItem, "mnuRefresh", QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5));
    mnuFileItem->addSeparator();
    mnuExit = item(w, mnuFileItem, "mnuExit", QStringLiteral("Exit"));

    mnuEdit = menu(w, nullptr, "mnuEdit", QStringLiteral("&Edit"));
    bar->addMenu(mnuEdit);
    mnuCopy = item(w, mnuEdit, "mnuCopy", QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuPaste = item(w, mnuEdit, "mnuPaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuClear = item(w, mnuEdit, "mnuClear", QStringLiteral("Clear Clipboard"), QKeySequence(Qt::CTRL | Qt::Key_W));
    mnuEdit->addSeparator();
    mnuEditor = menu(w, mnuEdit, "mnuEditor", QStringLiteral("Edit Image with"));
    mnuEditors << arrayItem(w, mnuEditor, "mnuEditors", 0, QString());

    mnuView = menu(w, nullptr, "mnuView", QStringLiteral("&View"));
    bar->addMenu(mnuView);
    mnuBrowseTools = item(w, mnuView, "mnuBrowseTools", QStringLiteral("&Browser Tools"), QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuBrowseTools->setCheckable(true);
    mnuFileseekToggle = item(w, mnuView, "mnuFileseekToggle", QStringLiteral("&Show Fileseek"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    mnuFileseekToggle->setCheckable(true);
    mnuBTDock = item(w, mnuView, "mnuBTDock", QStringLiteral("&Browser Dock"), QKeySequence(Qt::CTRL | Qt::Key_G));
    mnuView->addSeparator();
    mnuCurmodes = menu(w, mnuView, "mnuCurmodes", QStringLiteral("Cursor Modes"));
    mnuNorm = item(w, mnuCurmodes, "mnuNorm", QStringLiteral("Normal"));
    mnuDrag = item(w, mnuCurmodes, "mnuDrag", QStringLiteral("Drag"));
    mnuCrop = item(w, mnuCurmodes, "mnuCrop", QStringLiteral("Crop"));
    mnuZoommode = item(w, mnuCurmodes, "mnuZoommode", QStringLiteral("Zoom"));
    for (QAction* a : {mnuNorm, mnuDrag, mnuCrop, mnuZoommode}) {
        a->setCheckable(true);
    }
    mnuZoom = menu(w, mnuView, "mnuZoom", QStringLiteral("Zoom"));
    mnuNormal = item(w, mnuZoom, "mnuNormal", QStringLiteral("Normal Viewing 1:1"));
    mnuZoomin = item(w, mnuZoom, "mnuZoomin", QStringLiteral("Zoom in"));
    mnuZoomout = item(w, mnuZoom, "mnuZoomout", QStringLiteral("Zoom out"));
    mnuStatus = item(w, mnuView, "mnuStatus", QStringLiteral("Image Information"));
    mnuFullscrn = item(w, mnuView, "mnuFullscrn", QStringLiteral("Full Screen"), QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuBackCol = menu(w, mnuView, "mnuBackCol", QStringLiteral("Back Colour"));
    mnuBGrey = item(w, mnuBackCol, "mnuBGrey", QStringLiteral("Grey"));
    mnuBWhite = item(w, mnuBackCol, "mnuBWhite", QStringLiteral("White"));
    mnuBBlack = item(w, mnuBackCol, "mnuBBlack", QStringLiteral("Black"));
    mnuBackCol->addSeparator();
    mnuChooseCol = item(w, mnuBackCol, "mnuChooseCol", QStringLiteral("From Palette..."));

    mnuFav = menu(w, nullptr, "mnuFav", QStringLiteral("F&avourites"));
    bar->addMenu(mnuFav);
    mnuCreateDir = item(w, mnuFav, "mnuCreateDir", QStringLiteral("Create Directory"));
    mnuMoveDir = item(w, mnuFav, "mnuMoveDir", QStringLiteral("Move Directory"));
    mnuCopyDir = item(w, mnuFav, "mnuCopyDir", QStringLiteral("Copy Directory"));
    mnuDelDir = item(w, mnuFav, "mnuDelDir", QStringLiteral("Delete Directory"));
    m_favDirSeparator = mnuFav->addSeparator();
    // The folder commands show only when the menu pops up over the folders.
    for (QAction* a : {mnuCreateDir, mnuMoveDir, mnuCopyDir, mnuDelDir, m_favDirSeparator}) {
        a->setVisible(false);
    }
    mnuAdd = item(w, mnuFav, "mnuAdd", QStringLiteral("Add..."), QKeySequence(Qt::Key_F4));
    mnuFavMan = item(w, mnuFav, "mnuFavMan", QStringLiteral("&Favourites Manager..."), QKeySequence(Qt::Key_F7));
    mnuFav->addSeparator();
    auto* favDesign = arrayItem(w, mnuFav, "mnuFav1", 0, QString());
    favDesign->setVisible(false);
    mnuFav1 << favDesign;

    mnuTools = menu(w, nullptr, "mnuTools", QStringLiteral("&Tools"));
    bar->addMenu(mnuTools);
    mnuWallpaper = menu(w, mnuTools, "mnuWallpaper", QStringLiteral("&Set as Wallpaper"));
    mnuCenter = item(w, mnuWallpaper, "mnuCenter", QStringLiteral("&Center Image"), QKeySequence(Qt::Key_F11));
    mnuTileImage = item(w, mnuWallpaper, "mnuTileImage", QStringLiteral("&Tile Image"), QKeySequence(Qt::Key_F12));
    mnuFileseek = item(w, mnuTools, "mnuFileseek", QStringLiteral("Open Fileseek"));
    mnuSysTrayIcon = menu(w, mnuTools, "mnuSysTrayIcon", QStringLiteral("Systray Icon"));
    mnuSysBoth = item(w, mnuSysTrayIcon, "mnuSysBoth", QStringLiteral("Both"));
    mnuSysTask = item(w, mnuSysTrayIcon, "mnuSysTask", QStringLiteral("Taskbar Only"));
    mnuSysTray = item(w, mnuSysTrayIcon, "mnuSysTray", QStringLiteral("Tray Only"));
    mnuTools->addSeparator();
    mnuOptions = item(w, mnuTools, "mnuOptions", QStringLiteral("&Options..."), QKeySequence(Qt::Key_F9));

    mnuFT = menu(w, nullptr, "mnuFT", QStringLiteral("File T&ypes"));
    bar->addMenu(mnuFT);
    mnuProp = item(w, mnuFT, "mnuProp", QStringLiteral("&Properties"));
    mnuPropSeparator = mnuFT->addSeparator();
    auto* ftDesign = arrayItem(w, mnuFT, "mnuFTs", 0, QStringLiteral("BMP"));
    ftDesign->setCheckable(true);
    mnuFTs << ftDesign;
    mnuFTsEnd = mnuFT->addSeparator();
    mnuImages = item(w, mnuFT, "mnuImages", QStringLiteral("All Images"));
    // "&Properties" shows only when the menu pops up over the file list.
    mnuProp->setVisible(false);
    mnuPropSeparator->setVisible(false);

    mnuGoItem = menu(w, nullptr, "mnuGoItem", QStringLiteral("&Go"));
    bar->addMenu(mnuGoItem);
    mnuMail = item(w, mnuGoItem, "mnuMail", QStringLiteral("Email Support"));
    mnuHomepage = item(w, mnuGoItem, "mnuHomepage", QStringLiteral("Glimvane Website"));
    mnuCVLWebsite = item(w, mnuGoItem, "mnuCVLWebsite", QStringLiteral("Corvale Website"));
    mnuVividraimghme = item(w, mnuGoItem, "mnuVividraimghme", QStringLiteral("Vividra Homepage"));
    mnuGoItem->addSeparator();
    mnuOpenGVStud = item(w, mnuGoItem, "mnuOpenGVStud", QStringLiteral("&Open Glimvane Studio..."));
    mnuGoItem->addSeparator();
    mnuArtgal = menu(w, mnuGoItem, "mnuArtgal", QStringLiteral("&Artgal's Gallery"));
    const QStringList artgal = {QStringLiteral("Homepage"),         QStringLiteral("Tutorials"),
                                QStringLiteral("Sci- Fi Images"),   QStringLiteral("Landscape Images"),
                                QStringLiteral("Surreal Images"),   QStringLiteral("Experimental Images"),
                                QStringLiteral("Other Images")};
    for (int i = 0; i < artgal.size(); ++i) {
        mnuArtgalLnk << arrayItem(w, mnuArtgal, "mnuArtgalLnk", i, artgal[i]);
    }
    mnuGoItem->addSeparator();
    mnuImgsites = menu(w, mnuGoItem, "mnuImgsites", QStringLiteral("Vividra Sites"));
    mnuImgWebs << arrayItem(w, mnuImgsites, "mnuImgWebs", 0, QString());
    mnuImgsites->addSeparator();
    mnuSubmitweb = item(w, mnuImgsites, "mnuSubmitweb", QStringLiteral("&Submit Website"));
    mnuMyWeb = menu(w, mnuGoItem, "mnuMyWeb", QStringLiteral("My Imaging Sites"));
    mnuMyWebs << arrayItem(w, mnuMyWeb, "mnuMyWebs", 0, QString());
    mnuGoItem->addSeparator();
    mnuAddlink = menu(w, mnuGoItem, "mnuAddlink", QStringLiteral("Add Link"));
    for (int i = 0; i < 4; ++i) {
        mnuLink << arrayItem(w, mnuAddlink, "mnuLink", i,
                             i == 0 ? QStringLiteral("NO URL") : QStringLiteral("No URL"));
    }
    mnuAddlnkManually = item(w, mnuAddlink, "mnuAddlnkManually", QStringLiteral("Manually"));
    mnuUpdateLinks = item(w, mnuGoItem, "mnuUpdateLinks", QStringLiteral("&Update Links..."), QKeySequence(Qt::SHIFT | Qt::Key_F2));
    mnuEditLinks = item(w, mnuGoItem, "mnuEditLinks", QStringLiteral("&Edit Links..."), QKeySequence(Qt::SHIFT | Qt::Key_F1));

    mnuHelp = menu(w, nullptr, "mnuHelp", QStringLiteral("&Help"));
    bar->addMenu(mnuHelp);
    mnuHelpcont = item(w, mnuHelp, "mnuHelpcont", QStringLiteral("Help Contents"), QKeySequence(Qt::Key_F1));
    mnuReadme = item(w, mnuHelp, "mnuReadme", QStringLiteral("ReadMe"));
    mnuTips = item(w, mnuHelp, "mnuTips", QStringLiteral("Glimvane Tips"));
    mnuUpdate = item(w, mnuHelp, "mnuUpdate", QStringLiteral("&Glimvane Update"), QKeySequence(Qt::Key_F6));
    mnuHelp->addSeparator();
    mnuAboutItem = item(w, mnuHelp, "mnuAboutItem", QStringLiteral("About..."), QKeySequence(Qt::Key_F3));

    // The notification-area icon's pop-up menu; not on the menu bar.
    mnuTrayhost = menu(w, nullptr, "mnuTrayhost", QStringLiteral("Trayhost"));
    mnuShowGV = item(w, mnuTrayhost, "mnuShowGV", QStringLiteral("Show Glimvane"));
    mnuTrayhost->addSeparator();
    mnuCopyImg = item(w, mnuTrayhost, "mnuCopyImg", QStringLiteral("Copy Image"));
    mnuGoMen = menu(w, mnuTrayhost, "mnuGoMen", QStringLiteral("Go"));
    mnuImgWebs2 << arrayItem(w, mnuGoMen, "mnuImgWebs2", 0, QString());
    mnuAboutGV = item(w, mnuTrayhost, "mnuAboutGV", QStringLiteral("About..."));
    mnuCloseGV = item(w, mnuTrayhost, "mnuCloseGV", QStringLiteral("Close Glimvane"));
    mnuTrayhost->setDefaultAction(mnuShowGV);
}

}  // namespace gv
