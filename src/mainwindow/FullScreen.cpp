// Opening the full-screen viewer on the shown picture, and keeping the folders in step.

#include <QAction>
#include <QMenu>

#include "fullscreen/frmFullscn.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Dialogs.h"
#include "platform/Screen.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gv {

std::unique_ptr<frmFullscn> frmGlimvane::makeFullScreen() {
    FullScreenStart start;
    start.picture = Image1->picture();
    start.imagePath = appState().CurrentImagePath;
    start.folder = currentFolder();
    start.pattern = filePattern();
    if (File1->currentRow() >= 0) {
        start.selectedName = File1->currentText();
    }
    start.screen = monitorOf(this);
    FullScreenHost host;
    host.folderChanged = [this](const QString& folder) {
        if (folder != currentFolder()) {
            setCurrentFolder(folder);
        }
    };
    host.favouritesMenu = mnuFav;
    host.showAbout = [this] { ShowAbout(); };
    host.showHelp = [this] { mnuHelpcont_Click(); };
    host.cache = m_prefetch;
    return std::make_unique<frmFullscn>(start, host, this);
}

void frmGlimvane::ShowFullScreen() {
    if (m_fullScreen) {
        return;
    }
    const std::unique_ptr<frmFullscn> viewer = makeFullScreen();
    m_fullScreen = viewer.get();
    viewer->show();
    viewer->activateWindow();
    dialogs().execModal(*viewer);
    m_fullScreen = nullptr;
}

void frmGlimvane::FollowFolderInFullScreen(const QString& folder) {
    if (m_fullScreen) {
        m_fullScreen->setFolder(folder);
    }
}

}  // namespace gv
