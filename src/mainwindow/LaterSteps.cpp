// Load and unload steps whose subsystems grow with the program: the
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
        RefreshFavList();
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
void frmGlimvane::ReregisterAssociations() {}
void frmGlimvane::ShowStartupTip() {}
void frmGlimvane::ShowHelpTopic(int) {}
void frmGlimvane::ShowOptions() {}

}  // namespace gv
