// Load and unload steps whose subsystems grow with the program: the logo state, the
// folders/favourites toggle, desktop shortcuts, and the hooks that the data-file menus,
// favourites, associations, tips, full-screen viewer and saving fill in.

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTreeView>

#include "mainwindow/frmGlimvane.h"
#include "options/DesktopShortcuts.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Paths.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"

namespace gv {

void frmGlimvane::ShowLogo() {
    AppState& state = appState();
    QPalette pal = Picture1->palette();
    pal.setColor(QPalette::Window, Qt::black);
    Picture1->setPalette(pal);
    Image1->hide();
    const QPixmap logo = logoBitmap();
    Image1->setPixmap(logo);
    Image1->setGeometry(20, 40, logo.width(), logo.height());
    setWindowTitle(QStringLiteral("Glimvane - Vividra"));
    state.ImageIsSaved = true;
    mnuSave->setEnabled(false);
    state.CurrentImagePath.clear();
    Image1->show();
    HScroll1->setEnabled(false);
    VScroll1->setEnabled(false);
    for (const char* key : {"size", "fname", "dimen", "date", "mode"}) {
        SB1->clearPanel(QString::fromLatin1(key));
    }
    SB1->setPanelText(QStringLiteral("ftype"), QStringLiteral("Glimvane Website ") +
                                                   QString::fromLatin1(kHomePage) +
                                                   QStringLiteral(" for news and updates"));
    setCursorMode(kCursorNormal);
    mnuWallpaper->menuAction()->setEnabled(false);
    mnuZoom->menuAction()->setEnabled(false);
    mnuFullscrn->setEnabled(false);
    mnuZoommode->setEnabled(false);
    mnuCrop->setEnabled(false);
    aniImg->hide();
    TilePic->setEnabled(false);
    Toolbar[5]->setEnabled(false);
    Toolbar[6]->setEnabled(false);
    LogoShown = true;
}

void frmGlimvane::DirectoriesToggle() {
    if (!m_interface) {
        return;
    }
    if (m_interface->BrowserMode() == 0) {
        Toolbar[4]->setIcon(iconResource(103));
        m_interface->setBrowserMode(1);
        ftvDirs->show();
        ftvDirs->raise();
        imgBrowserTools[0]->show();
        imgBrowserTools[1]->hide();
        lblBTCap->setText(QStringLiteral("Directories"));
        FavList->hide();
    } else if (m_interface->BrowserMode() == 1) {
        FavList->clear();
        for (int i = 1; i < mnuFav1.size() && i <= kFavouriteSlots; ++i) {
            if (!mnuFav1[i]->data().toString().isEmpty()) {
                FavList->addItem(mnuFav1[i]->text());
            }
        }
        m_interface->setBrowserMode(0);
        FavList->raise();
        imgBrowserTools[1]->show();
        imgBrowserTools[0]->hide();
        lblBTCap->setText(QStringLiteral("Favorites"));
        FavList->show();
        Toolbar[4]->setIcon(iconResource(104));
    }
}

void frmGlimvane::CreateDesktopShortcuts() {
    CreateDesktopShortcut(programPath(), QStringLiteral("Glimvane"));
    const QString updater = joinPath(programFolder(), QString::fromLatin1(kUpdateName));
    // The update program is not part of every installation.
    if (QFileInfo(updater).isFile()) {
        CreateDesktopShortcut(updater, QStringLiteral("Glimvane Update"));
    }
}

// Filled in by the subsystems that own these steps.
void frmGlimvane::PrepareEditorList() {}
void frmGlimvane::LoadDataFileMenus() {}
void frmGlimvane::SaveDataFileMenus() {}
void frmGlimvane::LoadFavourites() {}
void frmGlimvane::CheckFavourites() {}
void frmGlimvane::ReregisterAssociations() {}
void frmGlimvane::ShowStartupTip() {}
void frmGlimvane::BuildFileTypesMenu() {}
void frmGlimvane::CheckPCXSupport() {}
void frmGlimvane::ShowFullScreen() {}
void frmGlimvane::UnloadSecondaryWindows() {}
void frmGlimvane::ApplyBackColour() {}
void frmGlimvane::mnuSave_Click() {}

}  // namespace gv
