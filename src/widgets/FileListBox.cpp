#include "widgets/FileListBox.h"
#include "platform/FileNameBytes.h"

#include <algorithm>

namespace gv {

FileListBox::FileListBox(QWidget* parent) : QListView(parent) {
    setModel(&m_model);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                Q_EMIT currentRowChanged(current.isValid() ? current.row() : -1);
            });
}

void FileNamesModel::setNames(FileNames names) {
    beginResetModel();
    m_names = std::move(names);
    endResetModel();
}

int FileNamesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant FileNamesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) {
        return QVariant();
    }
    // A name that is not UTF-8 shows its odd bytes as the replacement character; the list
    // keeps the name itself (text()), which maps back to the file's own bytes.
    return fileNameForDisplay(m_names.at(index.row()));
}

void FileListBox::setNames(FileNames names) {
    m_model.setNames(std::move(names));
    // No current row, and the view is told so: otherwise it makes the first row current when
    // the list takes the keyboard, which would load that file.
    QAbstractItemView::setCurrentIndex(QModelIndex());
}

int FileListBox::rowOf(const QString& name) const {
    const FileNames& names = m_model.names();
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i) == name) {
            return int(i);
        }
    }
    return -1;
}

int FileListBox::currentRow() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

void FileListBox::setCurrentRow(int row) {
    if (row < 0 || row >= count()) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        return;
    }
    selectionModel()->setCurrentIndex(m_model.index(row), QItemSelectionModel::NoUpdate);
    scrollTo(m_model.index(row));
}

bool FileListBox::isSelected(int row) const {
    return row >= 0 && row < count() && selectionModel()->isRowSelected(row);
}

void FileListBox::setSelected(int row, bool selected) {
    if (row < 0 || row >= count()) {
        return;
    }
    selectionModel()->select(
        m_model.index(row), selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

QList<int> FileListBox::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QModelIndex FileListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    if (action == MoveRight) {
        action = MoveDown;
    } else if (action == MoveLeft) {
        action = MoveUp;
    }
    return QListView::moveCursor(action, modifiers);
}

}  // namespace gv
