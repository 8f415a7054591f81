#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "favourites/FavouriteCommands.h"
#include "favourites/FavouriteStore.h"
#include "platform/Settings.h"
#include "support/FakeDialogs.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

// Writes section Favs as a user's file would hold it: pairs of name and folder by number.
void storeFavs(const QList<std::pair<int, Favourite>>& favs) {
    DeleteSetting("Glimvane2", "Favs");
    for (const auto& [n, f] : favs) {
        SaveSetting("Glimvane2", "Favs", QString("favn%1").arg(n), f.name);
        SaveSetting("Glimvane2", "Favs", QString("fava%1").arg(n), f.folder);
    }
}

QHash<QString, QString> stored() {
    return GetAllSettings("Glimvane2", "Favs");
}

QStringList names(const QList<Favourite>& favs) {
    QStringList n;
    for (const Favourite& f : favs) {
        n << f.name;
    }
    return n;
}

class Favourites : public ::testing::Test {
protected:
    gvtest::ScopedFakeDialogs m_dialogs;
    FavouriteStore m_store;
};

}  // namespace

TEST_F(Favourites, NumberingGapsAndTheLastTakingOverADeletedNumber) {
    m_store.LoadFavourites();
    EXPECT_EQ(m_store.menuEntries(), (QList<Favourite>{Favourite{"No Favourites", ""}}));

    // Behind a gap nothing loads; the next add fills the gap and the rest loads again.
    storeFavs({{1, {"A", "/a"}}, {2, {"B", "/b"}}, {4, {"D", "/d"}}});
    m_store.LoadFavourites();
    EXPECT_EQ(names(m_store.favourites()), QStringList({"A", "B"}));
    ASSERT_TRUE(m_store.AddFavourite("C", "/c"));
    EXPECT_EQ(names(m_store.favourites()), QStringList({"A", "B", "C", "D"}));

    // Deleting 2 of 4 moves 4 into its number; deleting the last touches nothing else.
    m_store.DeleteFavourite("B", "/b");
    EXPECT_EQ(names(m_store.favourites()), QStringList({"A", "D", "C"}));
    EXPECT_EQ(stored().value("fava2"), "/d");
    EXPECT_FALSE(stored().contains("favn4") || stored().contains("fava4"));
    m_store.DeleteFavourite("C", "/c");
    EXPECT_EQ(stored(), (QHash<QString, QString>{
                            {"favn1", "A"}, {"fava1", "/a"}, {"favn2", "D"}, {"fava2", "/d"}}));

    // A name that no favourite has changes nothing; a favourite stored without a folder loads.
    m_store.DeleteFavourite("Z", "/a");
    SaveSetting("Glimvane2", "FAVS", "FAVN3", "No folder");
    m_store.LoadFavourites();
    EXPECT_EQ(m_store.favourites().last(), (Favourite{"No folder", ""}));
    EXPECT_EQ(favouriteMenuEntries(), m_store.favourites());
}

TEST_F(Favourites, AUsedFolderOrNameIsRefusedWithItsMessage) {
    storeFavs({{1, {"Holiday", "/p/holiday"}}, {2, {"Work", "/p/work"}}});
    m_store.LoadFavourites();
    struct Case {
        QString name, folder, text;
        MsgIcon icon;
    };
    const QString folderUsed = "The directory has already been set as a favourite!";
    const QString nameUsed = "This name has been used by another favourite.";
    for (const Case& c : {Case{"Other", "/p/work", folderUsed, MsgIcon::Exclamation},
                          Case{"Work", "/p/new", nameUsed, MsgIcon::None},
                          // Both match: the lower number decides.
                          Case{"Work", "/p/holiday", folderUsed, MsgIcon::Exclamation},
                          Case{"Holiday", "/p/work", nameUsed, MsgIcon::None},
                          Case{"holiday", "/p/Holiday", "", MsgIcon::None}}) {
        m_dialogs->shown.clear();
        const bool added = m_store.AddFavourite(c.name, c.folder);
        EXPECT_EQ(added, c.text.isEmpty()) << c.name.toStdString();
        if (!added) {
            ASSERT_EQ(m_dialogs->shown.size(), 1);
            EXPECT_EQ(m_dialogs->shown[0].text, c.text);
            EXPECT_EQ(m_dialogs->shown[0].icon, c.icon);
            EXPECT_EQ(m_dialogs->shown[0].title, "Glimvane");
        }
    }
    EXPECT_EQ(stored().size(), 6);
}

TEST_F(Favourites, RenamingMakesTheFavouriteTheLastOne) {
    storeFavs({{1, {"A", "/a"}}, {2, {"B", "/b"}}, {3, {"C", "/c"}}});
    m_store.LoadFavourites();
    EXPECT_TRUE(m_store.RenameFavourite("A", "/a", "A"));
    EXPECT_EQ(names(m_store.favourites()), QStringList({"C", "B", "A"}));
    EXPECT_TRUE(m_store.RenameFavourite("B", "/b", "Bee"));
    EXPECT_EQ(m_store.favourites(), (QList<Favourite>{{"C", "/c"}, {"A", "/a"}, {"Bee", "/b"}}));
    const auto before = stored();
    EXPECT_FALSE(m_store.RenameFavourite("A", "/a", "C"));
    EXPECT_EQ(m_dialogs->titles(), QStringList({"Glimvane"}));
    EXPECT_EQ(stored(), before);
}

TEST_F(Favourites, TheAddCommandAsksForANameAndRefusesThePlaceholder) {
    const QString pictures = gvtest::testFolders().home;
    struct Case {
        QString folder, answer, proposed;
        bool added;
    };
    for (const Case& c :
         {Case{"/", "", "", false}, Case{pictures, "No Favourites", "home", false},
          Case{pictures, "no favourites", "home", true}, Case{"/", "Root", "", true}}) {
        m_dialogs->shown.clear();
        m_dialogs->inputAnswers.enqueue(c.answer);
        runAddCommand(m_store, kAddCaption, c.folder, nullptr);
        ASSERT_GE(m_dialogs->shown.size(), 1);
        EXPECT_EQ(m_dialogs->shown[0].text, "Please input a name for this favourite");
        EXPECT_EQ(m_dialogs->shown[0].title, "Enter Name");
        EXPECT_EQ(m_dialogs->inputDefaults.last(), c.proposed);
        EXPECT_EQ(m_dialogs->titles().contains("Illegal Name"), c.answer == "No Favourites");
        EXPECT_EQ(addCommandCaption(m_store.menuEntries(), c.folder) == kDeleteCaption, c.added)
            << c.answer.toStdString();
    }

    // Deleting asks first; No keeps the favourite.
    m_dialogs->shown.clear();
    m_dialogs->messageAnswers << MsgAnswer::No << MsgAnswer::Yes;
    runAddCommand(m_store, kDeleteCaption, "/", nullptr);
    EXPECT_EQ(names(m_store.favourites()), QStringList({"no favourites", "Root"}));
    runAddCommand(m_store, kDeleteCaption, "/", nullptr);
    EXPECT_EQ(names(m_store.favourites()), QStringList({"no favourites"}));
    EXPECT_EQ(m_dialogs->titles(), QStringList({"Delete Favourite?", "Delete Favourite?"}));
}

TEST_F(Favourites, AFavouriteWhoseFolderHasGone) {
    const QString home = gvtest::testFolders().home;
    QDir().mkpath(home + "/kept");
    storeFavs({{1, {"Gone 1", home + "/gone1"}},
               {2, {"Kept", home + "/kept"}},
               {3, {"Gone 2", home + "/gone2"}},
               {4, {"Gone 3", home + "/gone3"}}});
    m_store.LoadFavourites();
    QStringList opened;
    const auto open = [&opened](const QString& folder) { opened << folder; };

    // From the list: the message, and nothing else.
    openFavouriteFromList(m_store, "Gone 2", open, nullptr);
    ASSERT_EQ(m_dialogs->shown.size(), 1);
    EXPECT_EQ(m_dialogs->shown[0].text,
              "Invalid Favourite, the directory path could not be found!");
    EXPECT_EQ(m_dialogs->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(m_dialogs->shown[0].title, "Error");
    // From the menu: the offer to delete it, which No declines and Yes accepts.
    m_dialogs->messageAnswers << MsgAnswer::No << MsgAnswer::Yes;
    openFavouriteFromMenu(m_store, m_store.favourites()[2], open, nullptr);
    EXPECT_EQ(m_store.favourites().size(), 4);
    openFavouriteFromMenu(m_store, m_store.favourites()[2], open, nullptr);
    EXPECT_EQ(names(m_store.favourites()), QStringList({"Gone 1", "Kept", "Gone 3"}));
    EXPECT_EQ(m_dialogs->shown.last().text, "This favourite is invalid, delete it?");
    EXPECT_TRUE(opened.isEmpty());
    openFavouriteFromList(m_store, "Kept", open, nullptr);
    EXPECT_EQ(opened, QStringList({home + "/kept"}));

    // At start with "DelFavs": all of them, though each delete renumbers the others.
    DeleteInvalidFavourites(m_store);
    EXPECT_EQ(m_store.favourites(), QList<Favourite>({{"Kept", home + "/kept"}}));
}
