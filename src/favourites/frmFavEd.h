#pragma once
// The favourites manager: every favourite beside its folder, to check that the folder still
// exists, to rename the favourite or to delete it.

#include <QDialog>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace gv {

class FavouriteStore;

inline constexpr int kFavouritesHelpContext = 10009;

class frmFavEd final : public QDialog {
    Q_OBJECT
public:
    // showHelp opens a help topic by its context number; without it there is no help.
    explicit frmFavEd(FavouriteStore& store, QWidget* parent = nullptr,
                      std::function<void(int)> showHelp = {});
    ~frmFavEd() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* List1 = nullptr;  // names
    QListWidget* List2 = nullptr;  // folders, line for line
    QPushButton* cmdCheck = nullptr;
    QPushButton* cmdRename = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdHelp = nullptr;

    void cmdCheck_Click();
    void cmdRename_Click();
    void cmdDelete_Click();

private:
    void fillLists();
    void lineChosen(int row);
    void enableActions(bool enable);
    QString selectedName() const;
    QString selectedFolder() const;

    FavouriteStore& m_store;
};

}  // namespace gv
