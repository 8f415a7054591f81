// The favourites in the real window: the menu, F4, the browser panel's list, the start-up
// clean-up and the favourites manager.

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include "favourites/FavouriteStore.h"
#include "favourites/frmFavEd.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "support/WindowFixture.h"

using namespace gv;

namespace {

class FavouritesWindow : public gvtest::WindowFixture {
protected:
    QStringList menuCaptions() const {
        QStringList captions;
        for (QAction* a : w->mnuFav1) {
            captions << a->text() + (a->isEnabled() ? "" : " (disabled)");
        }
        return captions;
    }
    QStringList lines(QListWidget* list) const {
        QStringList l;
        for (int i = 0; i < list->count(); ++i) {
            l << list->item(i)->text();
        }
        return l;
    }
    QString folder(const QString& name) {
        QDir().mkpath(m_folder + "/" + name);
        return m_folder + "/" + name;
    }
    void storeFavourite(int n, const QString& name, const QString& folder) {
        SaveSetting("Glimvane2", "Favs", QString("favn%1").arg(n), name);
        SaveSetting("Glimvane2", "Favs", QString("fava%1").arg(n), folder);
    }
};

}  // namespace

TEST_F(FavouritesWindow, AddOpenAndDeleteFromTheMenuAndTheList) {
    open();
    EXPECT_EQ(menuCaptions(), QStringList({"No Favourites (disabled)"}));
    w->findChild<SoftButton*>("Toolbar_4")->click();
    EXPECT_FALSE(w->FavList->isEnabled());
    EXPECT_EQ(w->FavList->count(), 0);

    // F4 adds the shown folder under the name the user gives.
    const QString sea = folder("Sea & Sky");
    w->setCurrentFolder(sea);
    m_dialogs->inputAnswers << "Sea & Sky";
    w->mnuAdd->trigger();
    EXPECT_EQ(m_dialogs->inputDefaults, QStringList({"Sea & Sky"}));
    EXPECT_EQ(menuCaptions(), QStringList({"Sea && Sky"}));
    EXPECT_EQ(w->mnuAdd->text(), "Delete this Favourite...");
    w->setCurrentFolder(m_folder);
    EXPECT_EQ(w->mnuAdd->text(), "Add current Folder...");
    m_dialogs->inputAnswers << "Pictures";
    w->mnuAdd->trigger();
    EXPECT_EQ(lines(w->FavList), QStringList({"Sea & Sky", "Pictures"}));
    EXPECT_TRUE(w->FavList->isEnabled());

    // A click in the list and a menu item open their folders.
    w->FavList->setCurrentRow(0);
    EXPECT_EQ(w->currentFolder(), sea);
    w->mnuFav1[1]->trigger();
    EXPECT_EQ(w->currentFolder(), m_folder);
    EXPECT_EQ(w->mnuAdd->text(), "Delete this Favourite...");

    // A favourite whose folder has gone is offered for deletion from the menu.
    ASSERT_TRUE(QDir(sea).removeRecursively());
    m_dialogs->messageAnswers << MsgAnswer::Yes;
    w->mnuFav1[0]->trigger();
    EXPECT_EQ(m_dialogs->shown.last().text, "This favourite is invalid, delete it?");
    EXPECT_EQ(menuCaptions(), QStringList({"Pictures"}));
    EXPECT_EQ(lines(w->FavList), QStringList({"Pictures"}));
    EXPECT_EQ(w->currentFolder(), m_folder);
}

TEST_F(FavouritesWindow, StartRemovesInvalidFavouritesAndSpellsAsAsked) {
    storeFavourite(1, "Gone", m_folder + "/gone");
    storeFavourite(2, "A", folder("a"));
    storeFavourite(3, "B", folder("b"));
    SaveSetting(keys::kFavorite, "1");
    SaveSetting(keys::kFavlist, "1");
    open();
    // Without "DelFavs" the favourite stays.
    EXPECT_EQ(menuCaptions(), QStringList({"Gone", "A", "B"}));
    EXPECT_EQ(w->mnuFav->title(), "Favorites");
    EXPECT_EQ(lines(w->FavList), QStringList({"Gone", "A", "B"}));
    EXPECT_TRUE(w->FavList->isVisibleTo(w.get()));
    w->close();

    SaveSetting(keys::kDelFavs, "1");
    m_dialogs->shown.clear();
    open();
    EXPECT_EQ(menuCaptions(), QStringList({"B", "A"}));
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

TEST_F(FavouritesWindow, TheManagerRenamesInPlaceChecksAndDeletes) {
    storeFavourite(1, "A", folder("a"));
    storeFavourite(2, "B", folder("b"));
    storeFavourite(3, "C", folder("c"));
    SaveSetting(keys::kFavorite, "1");
    open();
    m_dialogs->modalScripts.enqueue([this](QDialog& d) {
        auto& m = static_cast<frmFavEd&>(d);
        EXPECT_EQ(m.windowTitle(), "Favorites Manager");
        EXPECT_EQ(m.Label1->text(), "Favorites can be deleted, renamed and checked here");
        EXPECT_FALSE(m.cmdRename->isEnabled());
        EXPECT_FALSE(m.cmdHelp->isEnabled());
        m.List2->setCurrentRow(1);
        EXPECT_EQ(m.List1->currentRow(), 1);
        EXPECT_TRUE(m.cmdRename->isEnabled());
        m_dialogs->inputAnswers << "Bee";
        m.cmdRename->click();
        EXPECT_EQ(lines(m.List1), QStringList({"A", "Bee", "C"}));
        EXPECT_EQ(lines(m.List2), QStringList({m_folder + "/a", m_folder + "/b", m_folder + "/c"}));
        EXPECT_EQ(menuCaptions(), QStringList({"A", "C", "Bee"}));

        // Check Exists on a removed folder: Yes asks the deletion question, whose No keeps it.
        QDir(m_folder + "/a").removeRecursively();
        m.List1->setCurrentRow(0);
        m_dialogs->messageAnswers << MsgAnswer::Yes << MsgAnswer::No;
        m.cmdCheck->click();
        EXPECT_EQ(m_dialogs->titles().mid(1),
                  QStringList({"Glimvane", "Delete Favourite?", "Glimvane Confirmation"}));
        EXPECT_EQ(m.List1->count(), 3);
        m_dialogs->messageAnswers << MsgAnswer::Yes;
        m.cmdDelete->click();
        EXPECT_EQ(lines(m.List1), QStringList({"Bee", "C"}));
        EXPECT_FALSE(m.cmdDelete->isEnabled());
        return int(QDialog::Accepted);
    });
    w->mnuFavMan->trigger();
    EXPECT_EQ(m_dialogs->titles().first(), "Favorites Manager");
    EXPECT_EQ(menuCaptions(), QStringList({"Bee", "C"}));
}
