#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <functional>

#include "external/clsVarMenus.h"
#include "platform/Paths.h"
#include "support/FakeDialogs.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

class VarMenus : public ::testing::Test {
protected:
    void SetUp() override {
        auto* first = new QAction(&m_menu);
        first->setObjectName("mnuMyWebs_0");
        m_menu.addAction(first);
        m_items << first;
        m_menus = new clsVarMenus(&m_menu, m_items);
        m_menus->DataFile = "GVImgwebs.dat";
    }
    static QString path(const QString& folder = programFolder()) {
        return folder + "/GVImgwebs.dat";
    }
    static void write(const QByteArray& bytes, const QString& file = path()) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray read(const QString& file = path()) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    gvtest::ScopedFakeDialogs m_dialogs;
    QMenu m_menu;
    QList<QAction*> m_items;
    clsVarMenus* m_menus = nullptr;
};

}  // namespace

TEST_F(VarMenus, LoadsSavesAndEmptiesTheFile) {
    write("a.exe<name>A\r\n \r\nb.exe<NAME>B & C\r\n");
    m_menus->LoadMenu();
    ASSERT_EQ(m_menus->upperBound(), 1);
    EXPECT_EQ(m_items[1]->objectName(), "mnuMyWebs_1");
    EXPECT_EQ(m_items[1]->text(), "B && C");
    EXPECT_EQ(m_menus->caption(1), "B & C");
    m_menus->SaveMenu();
    EXPECT_EQ(read(), "a.exe<name>A\r\nb.exe<name>B & C\r\n");

    // Deleting the only item leaves an empty element 0, which the next item fills.
    m_menus->DelMenuItem(0);
    m_menus->DelMenuItem(0);
    EXPECT_EQ(m_items.size(), 1);
    EXPECT_TRUE(m_menus->caption(0).isEmpty() && m_menus->tag(0).isEmpty());
    m_menus->SaveMenu();
    EXPECT_FALSE(QFile::exists(path()));
    bool fail = false;
    EXPECT_EQ(m_menus->AddItem("Site", "http://s", fail), 0);
    EXPECT_FALSE(fail);
    EXPECT_EQ(m_menus->AddItem("Other", "http://o", fail), 1);

    // A first line with nothing on either side gives an empty first item: the items after it
    // are still the user's and are saved, not deleted with the file.
    write("<name>\r\n  <name>  \r\nb.exe<name>B\r\n");
    m_menus->ReloadMenu();
    ASSERT_EQ(m_menus->upperBound(), 2);
    EXPECT_EQ(m_menus->caption(1), "  ");
    m_menus->SaveMenu();
    EXPECT_EQ(read(), "  <name>  \r\nb.exe<name>B\r\n");
}

TEST_F(VarMenus, RefusesDuplicatesAndRenames) {
    bool fail = false;
    m_menus->AddItem("Photos", "http://photos.example", fail);
    EXPECT_EQ(m_menus->AddItem("New", "  http://photos.example ", fail), 0);
    EXPECT_TRUE(fail);
    fail = false;
    EXPECT_EQ(m_menus->AddItem(" Photos", "http://else", fail), 0);
    EXPECT_TRUE(fail);
    ASSERT_EQ(m_dialogs->shown.size(), 2);
    EXPECT_EQ(m_dialogs->shown[0].text, "This is already in the menu as 'Photos'.");
    EXPECT_EQ(m_dialogs->shown[1].text, "The name  Photos is taken.");
    EXPECT_EQ(m_dialogs->titles(), QStringList({"Error", "Error"}));
    EXPECT_EQ(m_menus->upperBound(), 0);

    m_dialogs->inputAnswers << "   "
                            << " Pics ";
    EXPECT_EQ(m_menus->RenameItem(0), "");
    EXPECT_EQ(m_menus->RenameItem(0), " Pics ");
    EXPECT_EQ(m_menus->caption(0), " Pics ");
    EXPECT_FALSE(m_menus->InArray("Pics", false));
}

TEST_F(VarMenus, ADamagedFileGivesTheItemsBeforeTheDamageAndIsKeptAside) {
    const QByteArray damaged = "a<name>A\r\n" + QByteArray("\x7f\x45\x4c\x46\0\0", 6) +
                               "\r\nb<name>B\r\nno marker\r\nc<name>C\r\n";
    write(damaged);
    m_menus->LoadMenu();
    ASSERT_TRUE(m_dialogs->showedOne(
        {.text = "An error occured while loading the list file 'GVImgwebs.dat'!\n\nThe items "
                 "before the damaged line are in the menu. The file as it was is kept as '" +
                 path() + ".damaged'.",
         .title = "Error: 5",
         .icon = MsgIcon::Critical}));
    EXPECT_EQ(m_menus->entries(), (QList<MenuEntry>{{"A", "a"}}));
    EXPECT_EQ(read(path() + ".damaged"), damaged);
    // Gone aside whole, so the next load begins without it and says nothing more.
    EXPECT_FALSE(QFileInfo::exists(path()));
    m_menus->ReloadMenu();
    EXPECT_EQ(m_dialogs->shown.size(), 1);

    // What is no menu at all goes aside whole, unread.
    struct Case {
        const char* what;
        std::function<void()> make;
        QString title, reason;
    };
    const QList<Case> cases = {
        // A sparse file: its size alone decides.
        {"far too large", [] { write("z<name>Z\r\n"), QFile(path()).resize(100 << 20); },
         "Error: 7", "it is larger than 1 MB, far too large to be a menu list"},
        {"a folder", [] { QDir().mkpath(path()); }, "Error: 75", "it is not a file"},
        {"a pipe, which would block the reading", [] { ::mkfifo(qPrintable(path()), 0600); },
         "Error: 75", "it is not a file"},
    };
    for (int i = 0; i < cases.size(); ++i) {
        QFile::remove(path());
        cases[i].make();
        m_menus->ReloadMenu();
        const QString kept = path() + QString(".damaged-%1").arg(i + 2);
        ASSERT_EQ(m_dialogs->shown.size(), i + 2) << cases[i].what;
        EXPECT_EQ(m_dialogs->shown.last().text,
                  "An error occured while loading the list file 'GVImgwebs.dat'!\n\nThe file was "
                  "not read: " +
                      cases[i].reason + ". It is kept, unchanged, as '" + kept + "'.")
            << cases[i].what;
        EXPECT_EQ(m_dialogs->shown.last().title, cases[i].title) << cases[i].what;
        EXPECT_TRUE(QFileInfo(kept).exists() && !QFileInfo::exists(path())) << cases[i].what;
    }
    EXPECT_EQ(QFileInfo(path() + ".damaged-2").size(), 100 << 20);

    // A file linked from elsewhere: the link goes aside, its target is left as it was.
    const QString target = gvtest::testFolders().home + "/sites.dat";
    write("x<name>X\r\nbad\r\n", target);
    ASSERT_TRUE(QFile::link(target, path()));
    m_menus->ReloadMenu();
    EXPECT_TRUE(QFileInfo(path() + ".damaged-5").isSymLink());
    EXPECT_FALSE(QFileInfo::exists(path()));
    EXPECT_EQ(read(target), "x<name>X\r\nbad\r\n");
}

TEST_F(VarMenus, AReadOnlyProgramFolderKeepsTheUsersCopy) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "every folder is writable for root";
    }
    const QString data = gvtest::testFolders().data + "/Glimvane";
    write("s<name>Shipped\r\n");
    QFile::setPermissions(programFolder(), QFile::ReadOwner | QFile::ExeOwner);
    m_menus->LoadMenu();
    EXPECT_EQ(m_menus->caption(0), "Shipped");
    m_menus->DelMenuItem(0);
    m_menus->SaveMenu();
    EXPECT_EQ(read(path(data)), "");
    bool fail = false;
    m_menus->AddItem("Mine", "m", fail);
    m_menus->SaveMenu();
    m_menus->ReloadMenu();
    EXPECT_EQ(m_menus->caption(0), "Mine");
    QFile::setPermissions(programFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(read(), "s<name>Shipped\r\n");
    EXPECT_EQ(read(path(data)), "m<name>Mine\r\n");
}
