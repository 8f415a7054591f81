// The drive list, the folder list and the file list kept in step.

#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QListWidget>
#include <QTreeView>

#include "mainwindow/frmGlimvane.h"
#include "platform/Paths.h"
#include "startup/AppState.h"

namespace gv {

QString frmGlimvane::currentFolder() const {
    return m_folder;
}

void frmGlimvane::setCurrentFolder(const QString& folder) {
    m_folder = QDir::cleanPath(folder);
    const QString root = volumeRoot(m_folder);
    Drive1->blockSignals(true);
    if (Drive1->count() == 0) {
        Drive1->addItems(volumeRoots());
    }
    if (Drive1->findText(root) < 0) {
        Drive1->addItem(root);
    }
    Drive1->setCurrentText(root);
    Drive1->blockSignals(false);
    m_folderModel->setRootPath(root);
    const QModelIndex index = m_folderModel->index(m_folder);
    ftvDirs->setCurrentIndex(index);
    ftvDirs->scrollTo(index);
    RefreshFileList();
}

void frmGlimvane::RefreshFileList() {
    const QString pattern = File1->property("pattern").toString();
    QStringList filters;
    for (const QString& p : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        filters << p.trimmed();
    }
    QStringList names;
    if (!filters.isEmpty()) {
        QDir dir(m_folder);
        names = dir.entryList(filters, QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    }
    // The order of the desktop's file managers: locale-aware, numbers by value.
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), collator);
    const bool suppress = appState().SuppressFileClick;
    appState().SuppressFileClick = true;
    File1->clear();
    File1->addItems(names);
    appState().SuppressFileClick = suppress;
}

int frmGlimvane::OpenFileInList(const QString& path) {
    const QFileInfo info(path);
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    setCurrentFolder(info.absolutePath());
    state.SuppressFileClick = suppress;
    const QString wanted = info.absoluteFilePath().toLower();
    for (int i = 0; i < File1->count(); ++i) {
        if (joinPath(m_folder, File1->item(i)->text()).toLower() == wanted) {
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
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    RefreshFileList();
    state.SuppressFileClick = suppress;
}

}  // namespace gv
