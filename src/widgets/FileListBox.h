#pragma once
// The file list: names only, extended selection, and a current row that loads the image.
// A list view over a model that makes each name's string only when the view shows it, so
// that a folder of 100 000 files fills in a few milliseconds.

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

#include "listing/FileListing.h"

namespace gv {

class FileNamesModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    void setNames(FileNames names);
    const FileNames& names() const { return m_names; }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    FileNames m_names;
};

class FileListBox final : public QListView {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_model.names().size()); }
    QString text(int row) const { return m_model.names().at(row); }
    QStringList names() const { return m_model.names().toList(); }
    const FileNames& fileNames() const { return m_model.names(); }
    // Replaces the names; no current row and no selection afterwards.
    void setNames(FileNames names);
    void setNames(const QStringList& names) { setNames(FileNames::fromList(names)); }
    void clear() { setNames(FileNames()); }
    // The row of the name (exact match), or -1.
    int rowOf(const QString& name) const;

    int currentRow() const;
    QString currentText() const { return text(currentRow()); }
    // Row -1 clears the current row. The selection of the new row is left as it is.
    void setCurrentRow(int row);
    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    QList<int> selectedRows() const;

Q_SIGNALS:
    void currentRowChanged(int row);

protected:
    // One column: Left and Right step like Up and Down.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    FileNamesModel m_model;
};

}  // namespace gv
