#pragma once
// The full-screen viewer's small folder browser (`Frame1`): drive list, folder tree, folder
// list and file list of one folder, the "Viewing Image 3 of 12" line, a pin and "Close".

#include <QFrame>
#include <QString>

class QLabel;
class QListWidget;
class QPushButton;
class QTreeView;

namespace gv {

class FileListBox;
class FolderTreeModel;
class VolumeComboBox;

class MiniBrowser final : public QFrame {
    Q_OBJECT
public:
    explicit MiniBrowser(QWidget* parent = nullptr);

    QString folder() const { return m_folder; }
    // Shows the folder in every list; false when it is already shown or is no folder.
    bool setFolder(const QString& folder);
    // The file-name pattern of the listed files (the main window's).
    void setPattern(const QString& pattern) { m_pattern = pattern; }
    // Reads the folder's files again (files added meanwhile appear) and makes the named one
    // the current file again; its row, or -1 when it has gone.
    int reloadFiles(const QString& keep);
    void refreshCounts();
    bool pinned() const { return m_pinned; }
    void setPinned(bool pinned);
    void setGreyMode();

    QLabel* Label5 = nullptr;
    QLabel* Image2 = nullptr;
    QFrame* shpPinOn = nullptr;
    VolumeComboBox* Drive1 = nullptr;
    QTreeView* ftvDirs = nullptr;
    QListWidget* Dir1 = nullptr;
    FileListBox* File1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblNumber = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lblCount = nullptr;
    QPushButton* cmdExit = nullptr;

Q_SIGNALS:
    // The user went to another folder here.
    void folderChanged(const QString& folder);
    // The user chose a file (not a choice made by the program).
    void fileChosen(int row);
    void closeClicked();
    // The right button was released over a list, at the global position.
    void favouritesMenuRequested(const QPoint& at);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void goTo(const QString& folder);
    void chooseVolume(const QString& root);
    void fillFolderList();
    void showFolderInTree();
    void refreshFileList();

    FolderTreeModel* m_folderModel = nullptr;
    QString m_folder;
    QString m_pattern;
    bool m_pinned = false;
};

}  // namespace gv
