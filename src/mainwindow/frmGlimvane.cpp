#include "widgets/FileListBox.h"
#include "mainwindow/frmGlimvane.h"

#include <QAction>
#include <QCursor>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>

#include "external/Updater.h"
#include "files/clsFileManager.h"
#include "help/clsHelp.h"
#include "tips/Tips.h"
#include "external/clsShIntegration.h"
#include "images/PrefetchCache.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Desktop.h"
#include "platform/Launcher.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "platform/Trace.h"
#include "platform/TrayIcon.h"
#include "settings/SettingKeys.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"
#include "platform/Dialogs.h"

namespace gv {
namespace {

// Web addresses of the Go menu.
constexpr const char* kCorvaleWebsite = "https://corvale.glimvane.org";
constexpr const char* kVividraHomepage = "https://vividra.glimvane.org";

void openAddress(const QString& address) {
    openDocument(address);
}

}  // namespace

frmGlimvane::frmGlimvane(QWidget* parent)
    : QMainWindow(parent), m_prefetch(PrefetchCache::makeShared()) {
    setObjectName(QStringLiteral("frmGlimvane"));
    setWindowTitle(QStringLiteral("Glimvane"));
    setWindowIcon(applicationIcon());
    buildControls();
    buildMenus();
    m_tray = makeTrayIcon(nullptr);
    trayhost = m_tray.get();
    trayhost->setObjectName(QStringLiteral("trayhost"));
    connectCommands();
    connectViewCommands();
    connectImageCommands();
    connectExternalCommands();
    connectNavigation();
    connectFileCommands();
    connectPanel();
    connectFavourites();
}

frmGlimvane::~frmGlimvane() = default;

void frmGlimvane::connectCommands() {
    // Interface switches: each only sets its clsIface property; Change applies it.
    connect(mnuBrowseTools, &QAction::triggered, this, [this] {
        mnuBrowseTools->setChecked(m_interface && m_interface->BrowserTools() == 0);
        if (m_interface) {
            m_interface->setBrowserTools(m_interface->BrowserTools() == 1 ? 0 : 1);
        }
    });
    connect(mnuBTDock, &QAction::triggered, this, [this] {
        if (m_interface) {
            m_interface->setBrowserToolsDockMode(m_interface->BrowserToolsDockMode() == 0 ? 1 : 0);
        }
    });
    connect(mnuFileseekToggle, &QAction::triggered, this, [this] {
        mnuFileseekToggle->setChecked(m_interface && m_interface->FileseekToggle() == 0);
        if (m_interface) {
            m_interface->setFileseekToggle(m_interface->FileseekToggle() == 1 ? 0 : 1);
        }
    });
    connect(SoftBttn1, &SoftButton::clicked, this, [this] {
        if (m_interface) {
            m_interface->setBrowserTools(1);
        }
    });
    connect(sbtCloseFileseek, &SoftButton::clicked, this, [this] {
        if (m_interface) {
            m_interface->setFileseekToggle(1);
        }
    });
    connect(sbtToggleDock, &SoftButton::clicked, this, [this] {
        if (!m_interface) {
            return;
        }
        m_interface->setBrowserToolsWidth(FraFiles->width());
        m_interface->setBrowserToolsDockMode(m_interface->BrowserToolsDockMode() == 0 ? 1 : 0);
        File1->setFocus();
    });

    connect(mnuExit, &QAction::triggered, this, &frmGlimvane::mnuExit_Click);
    connect(mnuShowGV, &QAction::triggered, this, &frmGlimvane::mnuShowGV_Click);
    connect(mnuCloseGV, &QAction::triggered, this, [this] {
        if (dialogsAskExit()) {
            trayhost->setInTray(false);
            mnuExit_Click();
        }
    });
    connect(trayhost, &TrayIcon::doubleClicked, this, [this] {
        captionShowCommand();
        mnuCopyImg->setEnabled(mnuCopy->isEnabled());
        mnuShowGV_Click();
    });
    // The right button opens the icon's own menu, its show-or-hide item first and in bold.
    connect(trayhost, &TrayIcon::mouseButton, this, [this](int button) {
        if (appState().SecondaryWindowOpen || button != 2) {
            return;
        }
        // "Copy Image" keeps the state the last double-click gave it: an icon, which "Copy"
        // refuses, can still be copied from here.
        captionShowCommand();
        RebuildTrayGoMenu();
        mnuTrayhost->setDefaultAction(mnuShowGV);
        mnuTrayhost->popup(QCursor::pos());
    });

    // Go menu: web addresses and the sibling programs.
    connect(mnuMail, &QAction::triggered, this, [] {
        openAddress(QStringLiteral("mailto:") + QString::fromLatin1(kSupportEmail));
    });
    connect(mnuHomepage, &QAction::triggered, this,
            [] { openAddress(QString::fromLatin1(kHomePage)); });
    connect(mnuCVLWebsite, &QAction::triggered, this,
            [] { openAddress(QString::fromLatin1(kCorvaleWebsite)); });
    connect(mnuVividraimghme, &QAction::triggered, this,
            [] { openAddress(QString::fromLatin1(kVividraHomepage)); });
    connect(mnuUpdateLinks, &QAction::triggered, this, [] { LaunchUpdater(1); });
    connect(mnuSubmitweb, &QAction::triggered, this, [] { LaunchUpdater(3); });
    connect(mnuUpdate, &QAction::triggered, this, [] { LaunchUpdater(0); });
}

bool frmGlimvane::dialogsAskExit() {
    return dialogs().message(QStringLiteral("Exit Glimvane?"), MsgButtons::YesNo, MsgIcon::None,
                             QStringLiteral("Glimvane")) == MsgAnswer::Yes;
}

void frmGlimvane::mnuExit_Click() {
    close();
}

void frmGlimvane::captionShowCommand() {
    mnuShowGV->setText(isMinimized() || !isVisible() ? QStringLiteral("Show Glimvane")
                                                     : QStringLiteral("Hide Glimvane"));
}

void frmGlimvane::mnuShowGV_Click() {
    if (appState().SecondaryWindowOpen) {
        return;
    }
    if (mnuShowGV->text() == QStringLiteral("Show Glimvane")) {
        setWindowState(Qt::WindowNoState);
        show();
        raise();
        activateWindow();
        trace(QStringLiteral("show: window shown"));
    } else {
        showMinimized();
    }
}

void frmGlimvane::closeEvent(QCloseEvent* event) {
    if (m_unloaded) {
        event->accept();
        return;
    }
    QueryUnload();
    if (!Unload()) {
        event->ignore();
        return;
    }
    event->accept();
    FinishUnload();
}

void frmGlimvane::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutWindow();
}

void frmGlimvane::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_loaded) {
        LayoutWindow();
    }
}

}  // namespace gv
