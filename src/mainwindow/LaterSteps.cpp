// Load and unload steps whose subsystems grow with the program: the
// folders/favourites toggle, the options dialog, file-type associations, desktop shortcuts,
// and the capture hook.

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTreeView>

#include "mainwindow/frmGlimvane.h"
#include "options/Associations.h"
#include "options/DesktopShortcuts.h"
#include "options/options.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/TrayIcon.h"
#include "settings/SettingKeys.h"
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
    CreateDesktopIcons();
}

void frmGlimvane::ReregisterAssociations() {
    FileTypeAssociations associations(this);
    for (const SettingKey& key : keys::kAssociationKeys) {
        const AssociationType* type = associationTypeOf(key);
        if (type && isOne(key)) {
            associations.Reassert(*type);
        }
    }
}

void frmGlimvane::ShowOptions(const QString& tab) {
    if (!m_pcxChecked) {
        CheckPCXSupport();
    }
    OptionsHost host;
    host.editors = m_editorMenus;
    host.myWebs = m_myWebMenus;
    host.pcxSupported = m_pcxSupported;
    host.currentFolder = [this] { return currentFolder(); };
    host.setSupportNeoplanetOpera = [this](bool on) { m_supportMb = on; };
    host.applied = [this] { ApplyWindowOptions(); };
    host.setTrayAlwaysShown = [this](bool always) {
        if (always) {
            trayhost->setInTray(true);
        }
    };
    host.showHelp = [this](int context) { ShowHelpTopic(context); };
    host.addDesktopIcons = [] { CreateDesktopIcons(); };
    options dialog(std::move(host), tab, this);
    dialogs().execModal(dialog);
}

}  // namespace gv
