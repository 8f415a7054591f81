// The Favourites menu, the favourites list of the browser panel and the favourites
// manager: the window hands the commands to src/favourites and shows what comes back.

#include <QAction>
#include <QListWidget>
#include <QMenu>

#include "favourites/FavouriteCommands.h"
#include "favourites/FavouriteStore.h"
#include "favourites/frmFavEd.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"

namespace gv {

void frmGlimvane::connectFavourites() {
    m_favourites = new FavouriteStore(this);
    // Every change of the favourites, wherever it is made (also the clean-up at start), shows
    // in the menu, the add command's caption and the panel's list at once.
    connect(m_favourites, &FavouriteStore::Reloaded, this, [this] {
        fillFavouriteItems(mnuFav, mnuFav1, m_favourites->menuEntries());
        ApplyAddCaption();
        RefreshFavList();
    });
    connect(mnuFav, &QMenu::triggered, this, [this](QAction* action) {
        const int index = int(mnuFav1.indexOf(action));
        if (index >= 0) {
            mnuFav1_Click(index);
        }
    });
    connect(mnuAdd, &QAction::triggered, this, &frmGlimvane::mnuAdd_Click);
    connect(mnuFavMan, &QAction::triggered, this, &frmGlimvane::mnuFavMan_Click);
    onListChoice(FavList, [this](QListWidgetItem* item) { FavList_Click(item->text()); });
    FavList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FavList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { mnuFav->popup(FavList->viewport()->mapToGlobal(pos)); });
}

void frmGlimvane::LoadFavourites() {
    m_favourites->LoadFavourites();
}

void frmGlimvane::CheckFavourites() {
    DeleteInvalidFavourites(*m_favourites);
}

void frmGlimvane::ApplyAddCaption() {
    mnuAdd->setText(addCommandCaption(m_favourites->menuEntries(), currentFolder()));
}

void frmGlimvane::RefreshFavList() {
    FavList->clear();
    FavList->addItems(favouriteListLines(m_favourites->menuEntries()));
    FavList->setEnabled(!m_favourites->favourites().isEmpty());
}

void frmGlimvane::mnuAdd_Click() {
    runAddCommand(*m_favourites, mnuAdd->text(), currentFolder(), this);
    ApplyAddCaption();
    RefreshFavList();
}

void frmGlimvane::mnuFav1_Click(int index) {
    const QList<Favourite> entries = m_favourites->menuEntries();
    if (index < 0 || index >= entries.size()) {
        return;
    }
    openFavouriteFromMenu(
        *m_favourites, entries[index], [this](const QString& folder) { setCurrentFolder(folder); },
        this);
    RefreshFavList();
}

void frmGlimvane::FavList_Click(const QString& line) {
    openFavouriteFromList(
        *m_favourites, line, [this](const QString& folder) { setCurrentFolder(folder); }, this);
}

void frmGlimvane::mnuFavMan_Click() {
    frmFavEd manager(*m_favourites, this, [this](int context) { ShowHelpTopic(context); });
    dialogs().execModal(manager);
    RefreshFavList();
}

}  // namespace gv
