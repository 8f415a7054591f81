// The file and folder commands: each gathers its arguments from the window, hands the work
// to the file manager, and brings the lists, the shown image and Back/Forward up to date.

#include <QAction>
#include <QApplication>
#include <algorithm>

#include "favourites/FavouriteStore.h"
#include "files/FileCommands.h"
#include "files/clsFileManager.h"
#include "files/frmBrowse.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "platform/Paths.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"

namespace gv {
namespace {

bool recycleChoice(const char* defaultValue) {
    return GetSetting(keys::kRecyc, QString::fromLatin1(defaultValue)).trimmed().toInt() == 1;
}

// The shown image was a file that is no longer there (a pasted picture never was one).
bool shownFileGone() {
    const QString& path = appState().CurrentImagePath;
    return !path.isEmpty() && !isRegularFile(path);
}

bool listHolds(const QString& list, const QString& name) {
    return !name.isEmpty() && list.contains(name, Qt::CaseInsensitive);
}

}  // namespace

void frmGlimvane::connectFileCommands() {
    connect(mnuDel, &QAction::triggered, this, &frmGlimvane::mnuDel_Click);
    connect(mnuRename, &QAction::triggered, this, &frmGlimvane::mnuRename_Click);
    connect(mnuMove, &QAction::triggered, this, &frmGlimvane::mnuMove_Click);
    connect(mnuCopyFile, &QAction::triggered, this, &frmGlimvane::mnuCopyFile_Click);
    connect(mnuCreateDir, &QAction::triggered, this, &frmGlimvane::mnuCreateDir_Click);
    connect(mnuMoveDir, &QAction::triggered, this, &frmGlimvane::mnuMoveDir_Click);
    connect(mnuCopyDir, &QAction::triggered, this, &frmGlimvane::mnuCopyDir_Click);
    connect(mnuDelDir, &QAction::triggered, this, &frmGlimvane::mnuDelDir_Click);
}

clsFileManager& frmGlimvane::fileManager() {
    if (!m_fileManager) {
        m_fileManager = std::make_unique<clsFileManager>();
        m_fileManager->setFavourites([this] { return favouriteMenuEntries(); });
    }
    return *m_fileManager;
}

QStringList frmGlimvane::selectedFileNames() const {
    QList<int> rows = File1->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList names;
    for (const int row : rows) {
        names << File1->text(row);
    }
    return names;
}

QString frmGlimvane::currentFileName() const {
    return File1->currentRow() >= 0 ? File1->currentText() : QString();
}

void frmGlimvane::showCurrentFile() {
    if (File1->currentRow() >= 0) {
        LoadAndShowImage();
    } else {
        ShowLogo();
    }
}

void frmGlimvane::enableBackForward() {
    const bool haveFiles = File1->count() > 0;
    Toolbar[0]->setEnabled(haveFiles);
    Toolbar[1]->setEnabled(haveFiles);
}

void frmGlimvane::refreshKeepingCurrent() {
    const QString current = currentFileName();
    RefreshFileList();
    const int row = current.isEmpty() ? -1 : File1->rowOf(current);
    if (row >= 0) {
        appState().SuppressFileClick = true;
        File1->setCurrentRow(row);
        File1->setSelected(row, true);
        appState().SuppressFileClick = false;
    }
}

void frmGlimvane::refreshAndShowCurrent() {
    refreshKeepingCurrent();
    showCurrentFile();
}

void frmGlimvane::copyOrMoveFiles(bool move) {
    const SelectedFiles selected = selectedFileList(m_folder, selectedFileNames());
    const QString question = destinationQuestion(move, selected.count, currentFileName());
    QString chosen;
    frmBrowse browse(this);
    browse.setFavourites(favouriteMenuEntries());
    if (browse.ShowBrowse(this, question, m_folder, &chosen) && !chosen.isEmpty() &&
        fileManager().MultipleFileOp(selected.list, this, move ? 0 : 1, chosen) &&
        !listHolds(selected.list, currentFileName())) {
        refreshAndShowCurrent();
    }
    if (shownFileGone()) {
        refreshAndShowCurrent();
    }
    if (move) {
        enableBackForward();
    }
}

void frmGlimvane::mnuCopyFile_Click() {
    copyOrMoveFiles(false);
}

void frmGlimvane::mnuMove_Click() {
    copyOrMoveFiles(true);
}

void frmGlimvane::reselectAfterDelete() {
    const int k = File1->currentRow();
    RefreshFileList();
    const int row = rowAfterDelete(k, File1->count());
    if (row >= 0) {
        // Selecting the item shows its file, as a click on it does.
        selectRow(row);
    } else {
        showCurrentFile();
    }
}

void frmGlimvane::mnuDel_Click() {
    // Files go to the Trash only where the user asked for it.
    const bool recycle = recycleChoice("0");
    const SelectedFiles selected = selectedFileList(m_folder, selectedFileNames());
    fileManager().DeleteFile(selected.list, this, recycle);
    // The list follows what is on disk: a declined or failed delete keeps the selection where
    // it was, and the current file gone moves it to a neighbour.
    const QString current = currentFileName();
    const bool currentGone =
        listHolds(selected.list, current) && !pathExists(joinPath(m_folder, current));
    if (currentGone || shownFileGone()) {
        reselectAfterDelete();
    } else if (selected.count > 0) {
        refreshKeepingCurrent();
    }
    enableBackForward();
}

void frmGlimvane::mnuRename_Click() {
    const QString oldName = currentFileName();
    QString typed;
    if (!oldName.isEmpty() && fileManager().Rename(m_folder, oldName, this, &typed)) {
        RefreshFileList();
        // The file carries its extension whether or not it was typed.
        const QString newName = renamedFileName(oldName, typed);
        const int row = File1->rowOf(newName);
        if (row >= 0) {
            AppState& state = appState();
            if (state.CurrentImagePath == joinPath(m_folder, oldName)) {
                state.CurrentImagePath = joinPath(m_folder, newName);
            }
            state.SuppressFileClick = true;
            File1->setCurrentRow(row);
            File1->setSelected(row, true);
            QApplication::processEvents();
            state.SuppressFileClick = false;
        }
    }
    QApplication::processEvents();
    Fbts[3]->release(0);
}

void frmGlimvane::mnuCreateDir_Click() {
    const QString answer =
        dialogs().input(QStringLiteral("Please enter the name of the new directory."),
                        QStringLiteral("Create New Directory"), QString(), this);
    if (!forbiddenFolderChar(answer).isNull()) {
        dialogs().message(QString::fromLatin1(kBadFolderNameMessage), MsgButtons::Ok, MsgIcon::None,
                          QString::fromLatin1(kProgramTitle), this);
        return;
    }
    if (answer.isEmpty()) {
        return;
    }
    const QString error = createFolder(m_folder, answer);
    if (!error.isEmpty()) {
        dialogs().message(error, MsgButtons::Ok, MsgIcon::Critical,
                          QStringLiteral("Create New Directory"), this);
        return;
    }
    setCurrentFolder(m_folder);
}

void frmGlimvane::mnuCopyDir_Click() {
    QString destination;
    QString finalDestination;
    if (!fileManager().CopyDirectory(m_folder, this, &destination, &finalDestination)) {
        return;
    }
    setCurrentFolder(m_follow ? finalDestination : m_folder);
}

void frmGlimvane::mnuMoveDir_Click() {
    QString destination;
    QString finalDestination;
    const QString moved = m_folder;
    if (!fileManager().MoveDirectory(moved, this, &destination, &finalDestination)) {
        return;
    }
    if (m_follow) {
        setCurrentFolder(finalDestination);
        return;
    }
    setCurrentFolder(parentFolderOf(moved));
    showCurrentFile();
}

void frmGlimvane::mnuDelDir_Click() {
    // Folders go to the Trash unless the user asked otherwise.
    const bool recycle = recycleChoice("1");
    const QString deleted = m_folder;
    if (!fileManager().DeleteDirectory(deleted, this, recycle)) {
        return;
    }
    setCurrentFolder(parentFolderOf(deleted));
    // Nothing shown yet since the window opened: the new folder's current file, if any.
    if (LogoShown) {
        showCurrentFile();
    }
}

}  // namespace gv
