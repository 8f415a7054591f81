#pragma once
// The file list: names only, extended selection, and a current row that loads the image.
// A list view over a plain string model, so that a folder of 100 000 files fills in a few
// milliseconds.

#include <QListView>
#include <QStringList>
#include <QStringListModel>

namespace gv {

class FileListBox final : public QListView {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_names.size()); }
    const QStringList& names() const { return m_names; }
    QString text(int row) const { return m_names.value(row); }
    // Replaces the names; no current row and no selection afterwards.
    void setNames(const QStringList& names);
    void clear() { setNames({}); }
    // The row of the name (exact match), or -1.
    int rowOf(const QString& name) const { return static_cast<int>(m_names.indexOf(name)); }

    int currentRow() const;
    QString currentText() const { return text(currentRow()); }
    // Row -1 clears the current row. The selection of the new row is left as it is.
    void setCurrentRow(int row);
    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    QList<int> selectedRows() const;

Q_SIGNALS:
    void currentRowChanged(int row);

private:
    QStringListModel m_model;
    QStringList m_names;
};

}  // namespace gv
