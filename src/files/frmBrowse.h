#pragma once
// "Browse Directories": the program's own folder chooser, a folder tree beside the user's
// favourite folders, asking where copied or moved files go.

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QListWidget;
class QPushButton;
class QTreeView;

#include "favourites/FavouriteStore.h"

namespace gv {

class FolderTreeModel;

class frmBrowse final : public QDialog {
    Q_OBJECT
public:
    explicit frmBrowse(QWidget* parent = nullptr);
    ~frmBrowse() override;

    // The favourites listed beside the tree, in menu order.
    void setFavourites(const QList<Favourite>& favourites);
    // Asks Msg with InitDir selected; True with the chosen folder in puDest on OK.
    bool ShowBrowse(QWidget* Owner, const QString& Msg, const QString& InitDir,
                    QString* puDest = nullptr);

    QString ChosenDir;
    bool Cancelled = false;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTreeView* ftvDirs = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* lstFavs = nullptr;
    QPushButton* Command2 = nullptr;  // OK
    QPushButton* Command1 = nullptr;  // Cancel

private:
    void selectFolder(const QString& path);
    FolderTreeModel* m_model = nullptr;
    QList<Favourite> m_favourites;
    QString m_wanted;  // the folder to select once the tree has read its way down to it
    bool m_following = false;
};

}  // namespace gv
