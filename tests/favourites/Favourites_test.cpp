// The favourites: their numbering in the settings, the refusals, folders that have gone, and
// in the real window the menu, F4, the browser panel's list, the start-up clean-up and the
// favourites manager.

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include "favourites/FavouriteCommands.h"
#include "favourites/frmFavEd.h"
#include "platform/Controls.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "support/Bytes.h"
#include "support/FakeDialogs.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"
#include "support/Tmpfs.h"
#include "support/WindowFixture.h"

using namespace gv;

namespace {

void writeRaw(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(gvtest::writeBytes(path, bytes));
}

QString behindGapMessage(int missing, const QString& kept) {
    return QString(
               "Some favourites in the settings file '%1' are stored after a gap in their "
               "numbers (favourite %2 is missing), so they are not in the Favourites menu. The "
               "settings file as it was is kept as '%3'.\n\nThe next favourite you add fills "
               "the gap, and the favourites after it come back.")
        .arg(settingsFilePath("Glimvane2"))
        .arg(missing)
        .arg(kept);
}

// Writes section Favs as a user's file holds it, with the numbers given.
void storeFavourites(const QList<std::pair<int, Favourite>>& favs) {
    for (const auto& [n, f] : favs) {
        SaveSetting("Glimvane2", "Favs", QString("favn%1").arg(n), f.name);
        SaveSetting("Glimvane2", "Favs", QString("fava%1").arg(n), f.folder);
    }
}

class Favourites : public ::testing::Test {
protected:
    void store(const QList<std::pair<int, Favourite>>& favs) {
        storeFavourites(favs);
        m_store.LoadFavourites();
    }
    QStringList names() const {
        QStringList n;
        for (const Favourite& f : m_store.favourites()) {
            n << f.name;
        }
        return n;
    }
    static QHash<QString, QString> stored() { return GetAllSettings("Glimvane2", "Favs"); }

    gvtest::ScopedFakeDialogs m_dialogs;
    FavouriteStore m_store;
};

class FavouritesWindow : public gvtest::WindowFixture {
protected:
    QStringList menu() const {
        QStringList captions;
        for (QAction* a : w->mnuFav1) {
            captions << a->text() + (a->isEnabled() ? "" : " (disabled)");
        }
        return captions;
    }
    static QStringList lines(QListWidget* list) {
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
};

}  // namespace

TEST_F(Favourites, NumberingGapsAndTheLastTakingOverADeletedNumber) {
    store({});
    EXPECT_EQ(m_store.menuEntries(), (QList<Favourite>{{"No Favourites", ""}}));
    // Behind a gap nothing loads; the next add fills the gap and the rest loads again.
    store({{1, {"A", "/a"}}, {2, {"B", "/b"}}, {4, {"D", "/d"}}});
    EXPECT_EQ(names(), QStringList({"A", "B"}));
    ASSERT_TRUE(m_store.AddFavourite("C", "/c"));
    EXPECT_EQ(names(), QStringList({"A", "B", "C", "D"}));
    // Deleting 2 of 4 moves 4 into its number; deleting the last touches nothing else.
    m_store.DeleteFavourite("B", "/b");
    EXPECT_EQ(names(), QStringList({"A", "D", "C"}));
    m_store.DeleteFavourite("C", "/c");
    m_store.DeleteFavourite("Z", "/a");
    EXPECT_EQ(stored(), (QHash<QString, QString>{
                            {"favn1", "A"}, {"fava1", "/a"}, {"favn2", "D"}, {"fava2", "/d"}}));
    // A favourite stored without a folder loads, in a hand-edited file's case too.
    SaveSetting("Glimvane2", "FAVS", "FAVN3", "No folder");
    EXPECT_EQ(favouriteMenuEntries().last(), (Favourite{"No folder", ""}));
}

TEST_F(Favourites, FavouritesBehindAGapAreKeptInTheFileAndTheUserIsToldOnce) {
    struct Case {
        const char* what;
        QByteArray favs;
        QStringList names;
        int missing;
    };
    const QList<Case> cases = {
        {"a missing name",
         "favn1=A\nfava1=/a\nfavn2=B\nfava2=/b\nfava3=/c\nfavn4=D\nfava4=/d\n",
         {"A", "B"},
         3},
        {"a NUL byte before a name",
         "favn1=A\nfava1=/a\n" + QByteArray(1, '\0') + "favn2=B\nfava2=/b\nfavn3=C\nfava3=/c\n",
         {"A"},
         2},
        {"a name without its folder, then a gap",
         "favn1=A\nfava1=/a\nfavn2=B\nfavn4=D\nfava4=/d\n",
         {"A", "B"},
         3},
    };
    const QString file = settingsFilePath("Glimvane2");
    for (int i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        m_dialogs->shown.clear();
        const QByteArray bytes = "[options]\nkeep=1\n[Favs]\n" + c.favs;
        writeRaw(file, bytes);
        const QHash<QString, QString> before = stored();
        m_store.LoadFavourites();
        EXPECT_EQ(names(), c.names) << c.what;
        const QString kept = file + (i == 0 ? ".damaged" : QString(".damaged-%1").arg(i + 1));
        EXPECT_EQ(gvtest::readBytes(kept), bytes) << c.what;
        ASSERT_EQ(m_dialogs->shown.size(), 1) << c.what;
        EXPECT_EQ(m_dialogs->shown[0].text, behindGapMessage(c.missing, kept)) << c.what;
        // Nothing is written for it, and it is told once.
        EXPECT_EQ(stored(), before) << c.what;
        m_store.LoadFavourites();
        EXPECT_EQ(m_dialogs->shown.size(), 1) << c.what;
    }
    // The next add fills the gap, and what was behind it loads again.
    ASSERT_TRUE(m_store.AddFavourite("Z", "/z"));
    EXPECT_EQ(names(), QStringList({"A", "B", "Z", "D"}));
}

TEST_F(Favourites, AUsedFolderOrNameIsRefusedWithItsMessage) {
    store({{1, {"Holiday", "/p/holiday"}}, {2, {"Work", "/p/work"}}});
    const QString folderUsed = "The directory has already been set as a favourite!";
    const QString nameUsed = "This name has been used by another favourite.";
    struct Case {
        QString name, folder, text;
        MsgIcon icon;
    };
    for (const Case& c : {Case{"Other", "/p/work", folderUsed, MsgIcon::Exclamation},
                          Case{"Work", "/p/new", nameUsed, MsgIcon::None},
                          // Both match: the lower number decides.
                          Case{"Work", "/p/holiday", folderUsed, MsgIcon::Exclamation},
                          Case{"Holiday", "/p/work", nameUsed, MsgIcon::None}}) {
        m_dialogs->shown.clear();
        EXPECT_FALSE(m_store.AddFavourite(c.name, c.folder));
        ASSERT_TRUE(m_dialogs->showedOne({.text = c.text, .icon = c.icon}));
    }
    // Renaming to another's name is refused; to its own name it moves to the end.
    EXPECT_FALSE(m_store.RenameFavourite("Holiday", "/p/holiday", "Work"));
    EXPECT_EQ(m_dialogs->shown.last().text, nameUsed);
    EXPECT_TRUE(m_store.RenameFavourite("Holiday", "/p/holiday", "Holiday"));
    EXPECT_EQ(names(), QStringList({"Work", "Holiday"}));
    EXPECT_EQ(stored().size(), 4);
}

TEST_F(Favourites, AFavouriteWhoseFolderHasGone) {
    const QString home = gvtest::testFolders().home;
    QDir().mkpath(home + "/kept");
    store({{1, {"Gone 1", home + "/gone1"}},
           {2, {"Kept", home + "/kept"}},
           {3, {"Gone 2", home + "/gone2"}},
           {4, {"Gone 3", home + "/gone3"}}});
    QStringList opened;
    const auto open = [&opened](const QString& folder) { opened << folder; };
    // From the list: the message, and nothing else.
    openFavouriteFromList(m_store, "Gone 2", open, nullptr);
    EXPECT_EQ(m_dialogs->shown[0].text,
              "Invalid Favourite, the directory path could not be found!");
    EXPECT_EQ(m_dialogs->shown[0].title, "Error");
    // From the menu: the offer to delete it, which No declines and Yes accepts.
    m_dialogs->messageAnswers << MsgAnswer::No << MsgAnswer::Yes;
    openFavouriteFromMenu(m_store, m_store.favourites()[2], open, nullptr);
    openFavouriteFromMenu(m_store, m_store.favourites()[2], open, nullptr);
    EXPECT_EQ(m_dialogs->shown.last().text, "This favourite is invalid, delete it?");
    EXPECT_EQ(names(), QStringList({"Gone 1", "Kept", "Gone 3"}));
    EXPECT_TRUE(opened.isEmpty());
    // At start with "DelFavs": all of them, though each delete renumbers the others.
    DeleteInvalidFavourites(m_store);
    EXPECT_EQ(names(), QStringList({"Kept"}));
}

TEST_F(FavouritesWindow, AddAndOpenFromTheMenuAndTheList) {
    open();
    EXPECT_EQ(menu(), QStringList({"No Favourites (disabled)"}));
    w->findChild<SoftButton*>("Toolbar_4")->click();
    EXPECT_FALSE(w->FavList->isEnabled());
    // F4 proposes the folder's last part (nothing at the root) and refuses the placeholder's
    // name; the next name is taken.
    const QString sea = folder("Sea & Sky");
    w->setCurrentFolder("/");
    m_dialogs->inputAnswers << "";
    w->mnuAdd->trigger();
    w->setCurrentFolder(sea);
    m_dialogs->inputAnswers << "No Favourites"
                            << "Sea & Sky"
                            << "no favourites";
    w->mnuAdd->trigger();
    EXPECT_EQ(m_dialogs->titles().last(), "Illegal Name");
    w->mnuAdd->trigger();
    EXPECT_EQ(m_dialogs->inputDefaults, QStringList({"", "Sea & Sky", "Sea & Sky"}));
    EXPECT_EQ(menu(), QStringList({"Sea && Sky"}));
    EXPECT_EQ(w->mnuAdd->text(), "Delete this Favourite...");
    w->setCurrentFolder(m_folder);
    EXPECT_EQ(w->mnuAdd->text(), "Add current Folder...");
    w->mnuAdd->trigger();
    EXPECT_EQ(lines(w->FavList), QStringList({"Sea & Sky", "no favourites"}));
    EXPECT_TRUE(w->FavList->isEnabled());
    // A click in the list and a menu item open their folders.
    w->FavList->setCurrentRow(0);
    EXPECT_EQ(w->currentFolder(), sea);
    w->mnuFav1[1]->trigger();
    EXPECT_EQ(w->currentFolder(), m_folder);
    EXPECT_EQ(w->mnuAdd->text(), "Delete this Favourite...");
}

TEST_F(FavouritesWindow, StartRemovesInvalidFavouritesAndSpellsAsAsked) {
    storeFavourites(
        {{1, {"Gone", m_folder + "/gone"}}, {2, {"A", folder("A")}}, {3, {"B", folder("B")}}});
    for (const SettingKey& key : {keys::kFavorite, keys::kFavlist, keys::kDelFavs}) {
        SaveSetting(key, "1");
    }
    open();
    EXPECT_EQ(menu(), QStringList({"B", "A"}));
    EXPECT_EQ(lines(w->FavList), QStringList({"B", "A"}));
    EXPECT_TRUE(w->FavList->isVisibleTo(w.get()));
    EXPECT_EQ(w->mnuFav->title(), "Favorites");
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

// A favourite on a disk that is not plugged in: its folder would resolve to the volume above,
// which is there, but the volume its path names is not.
TEST_F(FavouritesWindow, AFavouriteOnAVolumeNotMountedNowIsAnUnavailableDrive) {
    const QString media = gvtest::testFolders().root + "/media";
    MountConventions own;
    own.userMountFolders = {media + "/user"};
    overrideMountConventions(own);
    const auto restore = qScopeGuard([] { overrideMountConventions(std::nullopt); });
    gvtest::Tmpfs usb((media + "/user/USB").toStdString());
    GV_REQUIRE_TMPFS(usb);
    const QString photos = media + "/user/USB/photos";
    QDir().mkpath(photos);
    ASSERT_TRUE(usb.unmount());
    storeFavourites({{1, {"Gone", m_folder + "/gone"}}, {2, {"Photos", photos}}});
    SaveSetting(keys::kDelFavs, "1");
    SaveSetting(keys::kFavlist, "1");
    open();
    w->show();
    // The start's clean-up removes the folder that has gone, not the one it cannot see.
    EXPECT_EQ(menu(), QStringList({"Photos"}));
    const auto clickLine = [&] {
        QListWidgetItem* line = w->FavList->item(0);
        QTest::mouseClick(w->FavList->viewport(), Qt::LeftButton, {},
                          w->FavList->visualItemRect(line).center());
    };
    clickLine();
    ASSERT_TRUE(m_dialogs->showedOne(
        {.text = "Drive unavailable", .title = "Problem", .icon = MsgIcon::Exclamation}));
    EXPECT_EQ(w->currentFolder(), m_folder);
    // From the menu: the offer to delete it, declined.
    w->mnuFav1[0]->trigger();
    EXPECT_EQ(m_dialogs->shown.last().text, "This favourite is invalid, delete it?");
    EXPECT_EQ(menu(), QStringList({"Photos"}));
    // Plugged in again, it opens.
    ASSERT_TRUE(usb.mount());
    QDir().mkpath(photos);
    w->FavList->clearSelection();
    clickLine();
    EXPECT_EQ(w->currentFolder(), photos);
    EXPECT_EQ(m_dialogs->shown.size(), 2);
}

TEST_F(FavouritesWindow, TheManagerRenamesInPlaceChecksAndDeletes) {
    storeFavourites({{1, {"A", folder("A")}}, {2, {"B", folder("B")}}, {3, {"C", folder("C")}}});
    SaveSetting(keys::kFavorite, "1");
    open();
    m_dialogs->modalScripts.enqueue([&](QDialog& d) {
        auto& m = static_cast<frmFavEd&>(d);
        EXPECT_EQ(m.Label1->text(), "Favorites can be deleted, renamed and checked here");
        EXPECT_FALSE(m.cmdRename->isEnabled());
        m.List2->setCurrentRow(1);
        EXPECT_EQ(m.List1->currentRow(), 1);
        m_dialogs->inputAnswers << "Bee";
        m.cmdRename->click();
        EXPECT_EQ(lines(m.List1), QStringList({"A", "Bee", "C"}));
        EXPECT_EQ(menu(), QStringList({"A", "C", "Bee"}));
        // Check Exists on a removed folder: Yes asks the deletion question, whose No keeps it.
        QDir(m_folder + "/A").removeRecursively();
        m.List1->setCurrentRow(0);
        m_dialogs->messageAnswers << MsgAnswer::Yes << MsgAnswer::No << MsgAnswer::Yes;
        m.cmdCheck->click();
        EXPECT_EQ(m_dialogs->titles().mid(1),
                  QStringList({"Glimvane", "Delete Favourite?", "Glimvane Confirmation"}));
        m.cmdDelete->click();
        EXPECT_EQ(lines(m.List1), QStringList({"Bee", "C"}));
        EXPECT_FALSE(m.cmdDelete->isEnabled());
        return int(QDialog::Accepted);
    });
    w->mnuFavMan->trigger();
    EXPECT_EQ(m_dialogs->titles().first(), "Favorites Manager");
    EXPECT_EQ(menu(), QStringList({"Bee", "C"}));
}

TEST_F(FavouritesWindow, StartTellsOfDamagedFavouritesAndOfASettingsFileSetAside) {
    writeRaw(settingsFilePath("Glimvane2"),
             ("[Interface]\nstartdir=" + m_folder + "\n[Favs]\nfavn1=A\nfava1=" + folder("A") +
              "\nfavn3=B\nfava3=" + folder("B") + "\n")
                 .toUtf8());
    // The update program's file, read by the update reminder after the favourites.
    writeRaw(settingsFilePath("GlimvaneUpdate"), QByteArray(kMaxSettingsFileBytes + 1, '#'));
    open();
    EXPECT_EQ(menu(), QStringList({"A"}));
    ASSERT_EQ(m_dialogs->shown.size(), 2);
    EXPECT_EQ(m_dialogs->shown[0].text,
              behindGapMessage(2, settingsFilePath("Glimvane2") + ".damaged"));
    EXPECT_TRUE(m_dialogs->shown[1].text.endsWith(
        "The file is kept, unchanged, as '" + settingsFilePath("GlimvaneUpdate") + ".damaged'."));
}
