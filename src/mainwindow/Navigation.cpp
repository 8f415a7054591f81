// The drive list, the folder tree and the file list kept in step; stepping through the
// images, Home and Refresh, the window's keys and the lists' pop-up menus.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>

#include "listing/FileListing.h"
#include "mainwindow/AfterFirstPaint.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/DirectoryReader.h"
#include "platform/FileAccess.h"
#include "platform/Paths.h"
#include "platform/Trace.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderTreeModel.h"
#include "widgets/ImageBox.h"

namespace gv {

namespace {

// True when path is folder itself or lies somewhere below it.
bool isSameOrInside(const QString& path, const QString& folder) {
    if (!path.startsWith(folder)) {
        return false;
    }
    return path.size() == folder.size() || folder.endsWith(QLatin1Char('/')) ||
           path.at(folder.size()) == QLatin1Char('/');
}

}  // namespace

QString frmGlimvane::currentFolder() const {
    return m_folder;
}

void frmGlimvane::setCurrentFolder(const QString& folder) {
    m_folder = QDir::cleanPath(folder);
    const QString root = volumeRoot(m_folder);
    if (Drive1->count() == 0 || Drive1->findText(root) < 0) {
        refreshVolumeList();
    }
    {
        const QSignalBlocker block(Drive1);
        Drive1->setCurrentText(root);
    }
    // The folder list changed: the tree follows, the file list shows the new folder.
    if (m_folderModel->rootPath() != root) {
        m_folderModel->setRootPath(root);
    }
    m_treeFollowsFolder = true;
    showFolderInTree();
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    RefreshFileList();
    state.SuppressFileClick = suppress;
    List1->clear();
    const bool haveFiles = File1->count() > 0;
    Toolbar[0]->setEnabled(haveFiles);
    Toolbar[1]->setEnabled(haveFiles);
    ApplyAddCaption();
    FollowFolderInFullScreen(m_folder);
}

void frmGlimvane::showFolderInTree() {
    if (!isVisible()) {
        // Reading the folders on the way is work the first window does not need: the tree
        // shows the start folder once the window is on the screen.
        if (!m_treeWaitsForPaint) {
            m_treeWaitsForPaint = true;
            new AfterFirstPaint(this, [this] { showWaitingTree(); });
        }
        return;
    }
    m_treeWaitsForPaint = false;  // shown now: the task waiting for the paint has nothing to do
    const QSignalBlocker block(ftvDirs->selectionModel());
    const QScopedValueRollback moving(m_treeMoving, true);
    revealFolderInTree(ftvDirs, m_folderModel, m_folder);
}

void frmGlimvane::refreshVolumeList() {
    const QSignalBlocker block(Drive1);
    QStringList roots = volumeRoots();
    // The current folder's volume stays listed, whatever the system reports meanwhile.
    const QString current = volumeRoot(m_folder);
    if (!roots.contains(current)) {
        roots << current;
    }
    Drive1->clear();
    Drive1->addItems(roots);
    Drive1->setCurrentText(current);
}

void frmGlimvane::RefreshFileList() {
    FileNames names = readImageFileNames(m_folder, filePattern());
    const bool suppress = appState().SuppressFileClick;
    appState().SuppressFileClick = true;
    File1->setNames(std::move(names));
    appState().SuppressFileClick = suppress;
}

int frmGlimvane::OpenFileInList(const QString& path) {
    const QFileInfo info(path);
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    setCurrentFolder(info.absolutePath());
    state.SuppressFileClick = suppress;
    return rowOfFile(info.absoluteFilePath());
}

int frmGlimvane::OpenFileFirst(const QString& path) {
    const QFileInfo info(path);
    if (!FilePatternMatcher(filePattern()).matches(info.fileName())) {
        return OpenFileInList(path);  // not listed, whatever the folder holds
    }
    m_folder = QDir::cleanPath(info.absolutePath());
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    File1->setNames(FileNames::fromList({info.fileName()}));
    state.SuppressFileClick = suppress;
    new AfterFirstPaint(Picture1, [this, file = info.absoluteFilePath()] {
        // Only while the window still shows this file's folder.
        if (m_folder != QDir::cleanPath(QFileInfo(file).absolutePath())) {
            return;
        }
        AppState& state = appState();
        const bool suppress = state.SuppressFileClick;
        state.SuppressFileClick = true;
        const QString shown = File1->currentRow() >= 0 ? File1->currentText() : QString();
        setCurrentFolder(m_folder);
        const int row = shown.isEmpty() ? -1 : rowOfFile(joinPath(m_folder, shown));
        if (row >= 0) {
            File1->setSelected(row, true);
            File1->setCurrentRow(row);
        }
        state.SuppressFileClick = suppress;
    });
    return 0;
}

int frmGlimvane::rowOfFile(const QString& path) const {
    const QFileInfo info(path);
    // The file itself first: names that differ only in case are different files here. A
    // name typed in another case still finds its file when there is no exact one.
    const QString exact = info.absoluteFilePath();
    const int row = File1->rowOf(info.fileName());
    if (row >= 0 && joinPath(m_folder, File1->text(row)) == exact) {
        return row;
    }
    const QString wanted = exact.toLower();
    for (int i = 0; i < File1->count(); ++i) {
        if (joinPath(m_folder, File1->text(i)).toLower() == wanted) {
            return i;
        }
    }
    return -1;
}

QString frmGlimvane::filePattern() const {
    return File1->property("pattern").toString();
}

void frmGlimvane::setFilePattern(const QString& pattern) {
    File1->setProperty("pattern", pattern);
    RefreshFileList();
    // Back and Forward follow what the list holds.
    const bool haveFiles = File1->count() > 0;
    Toolbar[0]->setEnabled(haveFiles);
    Toolbar[1]->setEnabled(haveFiles);
}

void frmGlimvane::connectNavigation() {
    connect(Drive1, &VolumeComboBox::aboutToShowPopup, this, &frmGlimvane::refreshVolumeList);
    connect(Drive1, &QComboBox::activated, this, [this](int index) {
        const QString root = Drive1->itemText(index);
        if (root == volumeRoot(m_folder)) {
            return;  // the same volume again: the folder stays
        }
        if (!isVolumeAvailable(root)) {
            dialogs().message(QStringLiteral("Drive unavailable"), MsgButtons::Ok,
                              MsgIcon::Exclamation, QStringLiteral("Problem"), this);
            const QSignalBlocker block(Drive1);
            Drive1->setCurrentText(volumeRoot(m_folder));
            return;
        }
        setCurrentFolder(root);
    });
    connect(ftvDirs->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                const QString path = m_folderModel->filePath(current);
                if (!isFolder(path)) {
                    dialogs().message(QStringLiteral("This folder is not valid!"), MsgButtons::Ok,
                                      MsgIcon::None, QStringLiteral("Glimvane"), this);
                    const QSignalBlocker block(ftvDirs->selectionModel());
                    ftvDirs->setCurrentIndex(m_folderModel->index(m_folder));
                    return;
                }
                setCurrentFolder(path);
            });
    // The tree fills in as folders are read: each folder read on the way to the current one
    // brings it a step closer, and each sort of what was read moves it back into sight.
    // Before the window's first paint the tree waits for it (the paint comes first).
    connect(m_folderModel, &FolderTreeModel::directoryLoaded, this, [this](const QString& path) {
        if (m_treeFollowsFolder && !m_treeWaitsForPaint && isSameOrInside(m_folder, path)) {
            showFolderInTree();
        }
    });
    connect(m_folderModel, &QAbstractItemModel::layoutChanged, this, [this] {
        if (m_treeFollowsFolder && !m_treeWaitsForPaint) {
            showFolderInTree();
        }
    });
    // Once the user looks elsewhere in the tree, it stays where the user put it.
    const auto userMovedTree = [this] {
        if (!m_treeMoving) {
            m_treeFollowsFolder = false;
        }
    };
    connect(ftvDirs->verticalScrollBar(), &QScrollBar::actionTriggered, this, userMovedTree);
    connect(ftvDirs->horizontalScrollBar(), &QScrollBar::actionTriggered, this, userMovedTree);
    connect(ftvDirs, &QTreeView::expanded, this, userMovedTree);
    connect(ftvDirs, &QTreeView::collapsed, this, userMovedTree);
    // Opening the File menu: the file commands fit a file image only.
    connect(mnuFileItem, &QMenu::aboutToShow, this, [this] {
        const bool file = !appState().CurrentImagePath.isEmpty();
        for (QAction* a : {mnuRename, mnuMove, mnuCopyFile, mnuDel}) {
            a->setEnabled(file);
        }
        for (SoftButton* b : Fbts) {
            b->setEnabled(file);
        }
    });
    connect(Toolbar[0], &SoftButton::clicked, this, &frmGlimvane::NavigateBack);
    connect(Toolbar[1], &SoftButton::clicked, this, &frmGlimvane::NavigateForward);
    connect(Toolbar[2], &SoftButton::clicked, this, &frmGlimvane::GoHome);
    connect(Toolbar[3], &SoftButton::clicked, this, &frmGlimvane::RefreshCommand);
    connect(mnuRefresh, &QAction::triggered, this, &frmGlimvane::RefreshCommand);
    connect(stbBTRefresh, &SoftButton::clicked, this, &frmGlimvane::RefreshCommand);
    connect(Toolbar[4], &SoftButton::clicked, this, &frmGlimvane::DirectoriesToggle);

    File1->setContextMenuPolicy(Qt::CustomContextMenu);
    rightClickShowsMenuOnly(File1);
    connect(File1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const AppState& state = appState();
        mnuProp->setEnabled(!state.CurrentImagePath.isEmpty() && state.ImageIsSaved);
        mnuProp->setVisible(true);
        mnuPropSeparator->setVisible(true);
        mnuFT->exec(File1->viewport()->mapToGlobal(pos));
        mnuProp->setVisible(false);
        mnuPropSeparator->setVisible(false);
    });
    ftvDirs->setContextMenuPolicy(Qt::CustomContextMenu);
    rightClickShowsMenuOnly(ftvDirs);
    connect(ftvDirs, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QList<QAction*> folderItems = {m_favDirSeparator, mnuCreateDir, mnuDelDir, mnuCopyDir,
                                             mnuMoveDir};
        for (QAction* a : folderItems) {
            a->setVisible(true);
        }
        mnuFav->exec(ftvDirs->viewport()->mapToGlobal(pos));
        for (QAction* a : folderItems) {
            a->setVisible(false);
        }
    });
    qApp->installEventFilter(this);
}

void frmGlimvane::NavigateBack() {
    const int n = File1->count();
    const int i = File1->currentRow();
    // With no current file, Back starts from the end; both directions wrap around.
    stepTo(i > 0 ? i - 1 : n - 1);
}

void frmGlimvane::NavigateForward() {
    const int n = File1->count();
    const int i = File1->currentRow();
    stepTo(i >= 0 && i < n - 1 ? i + 1 : 0);
}

void frmGlimvane::stepTo(int row) {
    if (File1->count() == 0) {
        return;
    }
    // The old file is deselected without loading anything; selecting the new one loads it.
    AppState& state = appState();
    state.SuppressFileClick = true;
    File1->setSelected(File1->currentRow(), false);
    state.SuppressFileClick = false;
    selectRow(row);
}

void frmGlimvane::selectRow(int row) {
    File1->setSelected(row, true);
    if (File1->currentRow() == row) {
        // Selecting the current item again (a single file) reloads it.
        File1_Click();
    } else {
        File1->setCurrentRow(row);
    }
}

void frmGlimvane::GoHome() {
    const QString start = GetSetting(keys::kStartDir);
    if (!start.isEmpty()) {
        if (!isFolder(start)) {
            // Moved, deleted or on a volume not mounted now: say so and stay.
            reportCommandError(kErrorPathNotFound, QStringLiteral("Path not found"));
            return;
        }
        setCurrentFolder(start);
        return;
    }
    // No start folder: the program's volume, at the folder the program was started in when
    // that lies on it (a terminal's folder, or the home folder from a desktop launcher).
    const QString root = volumeRoot(programFolder());
    const QString working = QDir::currentPath();
    setCurrentFolder(volumeRoot(working) == root && QFileInfo(working).isDir() ? working : root);
}

void frmGlimvane::reportCommandError(int number, const QString& description) {
    dialogs().message(
        QStringLiteral("A Critical Error Occured: Number: ") + QString::number(number),
        MsgButtons::Ok, MsgIcon::Critical, description, this);
}

void frmGlimvane::RefreshCommand() {
    const AppState& state = appState();
    if (LogoShown) {
        return;
    }
    if (TileMode) {
        bool untile = false;
        TileImage(untile);
        return;
    }
    if (!state.ImageIsSaved) {
        return;
    }
    const int row = File1->currentRow();
    if (row < 0) {
        return;
    }
    m_folderModel->refresh();
    setCurrentFolder(m_folder);
    if (File1->count() == 0) {
        // The folder's images have all gone meanwhile: nothing is left to show.
        ShowLogo();
        return;
    }
    // Files removed from the end of the list leave the place at the last one.
    appState().SuppressFileClick = true;
    File1->setCurrentRow(-1);
    appState().SuppressFileClick = false;
    selectRow(std::min(row, File1->count() - 1));
}

void frmGlimvane::showWaitingTree() {
    if (!m_treeWaitsForPaint) {
        return;
    }
    m_treeWaitsForPaint = false;
    if (m_treeFollowsFolder) {
        showFolderInTree();
    }
}

bool frmGlimvane::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) {
        return QMainWindow::eventFilter(watched, event);
    }
    if (event->type() == QEvent::FocusIn && widget == ftvDirs) {
        // A tree without a current folder would make its first row current on taking the
        // keyboard: one still waiting for the first paint shows the folder now.
        showWaitingTree();
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Keys that edit text stay with the text box, and the arrow keys with the file list.
        // A key the focused control leaves alone travels on to its parents, so what counts
        // is where the focus is, not which widget the key has reached.
        QWidget* focus = QApplication::focusWidget();
        const bool inText = qobject_cast<QLineEdit*>(widget) != nullptr ||
                            (focus != nullptr && qobject_cast<QLineEdit*>(focus) != nullptr);
        const bool inFileList = widget == File1 || focus == File1;
        if (key->modifiers() == Qt::NoModifier && !inText) {
            switch (key->key()) {
                case Qt::Key_Home:
                    GoHome();
                    return true;
                case Qt::Key_Left:
                    if (!inFileList) {
                        NavigateBack();
                        return true;
                    }
                    break;
                case Qt::Key_Right:
                    if (!inFileList) {
                        NavigateForward();
                        return true;
                    }
                    break;
                default:
                    break;
            }
        }
    }
    if (handleFileseekEvent(widget, event) || handlePanelEvent(widget, event)) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace gv
