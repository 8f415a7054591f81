// The file and folder commands in the real window, on real files, with scripted answers.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdio>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "files/FileCommands.h"
#include "files/frmBrowse.h"
#include "platform/Controls.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/ImageFiles.h"
#include "support/RawFolder.h"
#include "support/TestEnvironment.h"
#include "support/WindowFixture.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderTreeModel.h"

using namespace gv;

namespace {

class FileCommands : public gvtest::WindowFixture {
protected:
    void makeFiles(const QStringList& names) {
        for (const QString& n : names) {
            ASSERT_TRUE(gvtest::writePng(file(n), gvtest::quadrantImage({8, 8})));
        }
    }
    // Clicks the file, which makes it the current and the selected one.
    void pick(const QString& name) {
        click(name);
        w->File1->setSelected(w->File1->currentRow(), true);
    }
    void select(const QList<int>& rows) {
        for (int row : rows) {
            w->File1->setSelected(row, true);
        }
    }
    // The folder chooser answers with folder (Cancel when empty) and keeps its question.
    void chooseFolder(const QString& folder) {
        m_dialogs->modalScripts.enqueue([this, folder](QDialog& d) {
            auto& browse = dynamic_cast<frmBrowse&>(d);
            question = browse.Label1->text();
            browse.ChosenDir = folder;
            return folder.isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted);
        });
    }
    QString question;
};

TEST_F(FileCommands, CopyAndMoveAskWhereForTheSelectedFiles) {
    makeFiles({"a.png", "b.png", "c.png"});
    const QString dest = m_folder + "/out";
    QDir().mkpath(dest);
    open();
    pick("b.png");
    chooseFolder(dest);
    w->mnuCopyFile->trigger();
    EXPECT_EQ(question, "Please select where you would like to copy b.png to.");
    EXPECT_TRUE(QFile::exists(dest + "/b.png"));
    select({0, 1, 2});
    chooseFolder("");
    w->mnuMove->trigger();
    EXPECT_EQ(question, "Please select where you would like to move these 3 files to.");
    EXPECT_EQ(w->File1->count(), 3);
    // Moving the shown file away leaves the list without it, and nothing shown.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::YesToAll);
    chooseFolder(dest);
    w->mnuMove->trigger();
    EXPECT_EQ(QDir(dest).entryList(QDir::Files), (QStringList{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(m_dialogs->titles().last(), "Confirm File Replace");
    EXPECT_EQ(w->File1->count(), 0);
    EXPECT_TRUE(w->logoShown());
    EXPECT_FALSE(w->Toolbar[0]->isEnabled());
    // A file shown but none selected: the question counts none, and OK does nothing.
    w->setCurrentFolder(dest);
    click("a.png");
    w->File1->clearSelection();
    chooseFolder(m_folder);
    w->mnuCopyFile->trigger();
    EXPECT_EQ(question, "Please select where you would like to copy these 0 files to.");
    EXPECT_FALSE(QFile::exists(file("a.png")));
}

TEST_F(FileCommands, DeleteReselectsAndEmptiesTheListAtTheEnd) {
    makeFiles({"a.png", "b.png", "c.png"});
    open();
    // No "recyc" setting: permanent, after the question.
    struct Step {
        QString clicked;
        QString shownAfter;
    } const steps[] = {{"a.png", "b.png"}, {"c.png", "b.png"}, {"b.png", ""}};
    for (const Step& s : steps) {
        pick(s.clicked);
        m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
        w->Fbts[0]->click();
        ASSERT_FALSE(m_dialogs->shown.isEmpty());
        EXPECT_EQ(m_dialogs->titles().last(), "Delete File");
        EXPECT_FALSE(QFile::exists(file(s.clicked)));
        EXPECT_EQ(s.shownAfter.isEmpty() ? w->logoShown() : shown() == s.shownAfter, true)
            << s.clicked.toStdString();
    }
    EXPECT_EQ(w->File1->count(), 0);
    EXPECT_FALSE(w->Toolbar[0]->isEnabled());
    EXPECT_FALSE(w->Toolbar[1]->isEnabled());
    EXPECT_FALSE(w->Fbts[0]->isEnabled());
    // With "recyc" 1 the file goes to the Trash without a question.
    makeFiles({"d.png"});
    SaveSetting(keys::kRecyc, "1");
    pick("d.png");
    m_dialogs->shown.clear();
    w->mnuDel->trigger();
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
    EXPECT_TRUE(QFile::exists(gvtest::testFolders().data + "/Trash/files/d.png"));
}

TEST_F(FileCommands, RenameSelectsTheRenamedFile) {
    makeFiles({"photo.png", "zebra.png"});
    open();
    pick("photo.png");
    m_dialogs->inputAnswers.enqueue("holiday");
    w->Fbts[3]->click();
    EXPECT_TRUE(QFile::exists(file("holiday.png")));
    EXPECT_EQ(w->File1->currentText(), "holiday.png");
    EXPECT_EQ(appState().CurrentImagePath, file("holiday.png"));
}

TEST_F(FileCommands, FolderCommands) {
    const QString album = m_folder + "/album";
    QDir().mkpath(album + "/sub");
    open();
    w->setCurrentFolder(album);
    // A name with ":" is refused and nothing is made.
    m_dialogs->inputAnswers.enqueue("a:b");
    w->mnuCreateDir->trigger();
    EXPECT_EQ(m_dialogs->shown.last().text, kBadFolderNameMessage);
    EXPECT_EQ(QString(kBadFolderNameMessage),
              "Directory Names cannot include the characters: \\, /, ?, |, \", <,>, *, :");
    m_dialogs->inputAnswers.enqueue("new one");
    w->mnuCreateDir->trigger();
    EXPECT_EQ(QDir(album).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{"new one", "sub"}));
    m_dialogs->inputAnswers.enqueue("sub");
    w->mnuCreateDir->trigger();
    EXPECT_EQ(m_dialogs->shown.last().title, "Create New Directory");
    // Moved with follow off, the window stays in the moved folder's parent.
    const QString target = m_folder + "/elsewhere";
    QDir().mkpath(target);
    w->setCurrentFolder(album + "/sub");
    chooseFolder(target);
    w->mnuMoveDir->trigger();
    EXPECT_TRUE(QDir(target + "/sub").exists());
    EXPECT_EQ(w->currentFolder(), album);
    // Without a "recyc" setting a folder goes to the Trash.
    w->mnuDelDir->trigger();
    EXPECT_FALSE(QDir(album).exists());
    EXPECT_TRUE(QDir(gvtest::testFolders().data + "/Trash/files/album/new one").exists());
    EXPECT_EQ(w->currentFolder(), m_folder);
}

// Copy Directory asks in the chooser: the question inside it, the tree at the folder copied,
// the favourites beside it; a favourite and OK are two clicks. With the follow flag the
// window goes to where the folder went, for a copy and for a move.
TEST_F(FileCommands, CopyAndMoveDirectoryChooseAFavouriteAndFollowTheFolder) {
    const QString album = m_folder + "/album", backup = m_folder + "/backup";
    QDir().mkpath(album);
    QDir().mkpath(backup);
    SaveSetting("Glimvane2", "Favs", "favn1", "Backup");
    SaveSetting("Glimvane2", "Favs", "fava1", backup);
    SaveSetting(keys::kFollowOp, "1");
    open();
    w->setCurrentFolder(album);
    QString startedAt;
    m_dialogs->modalScripts.enqueue([&](QDialog& d) {
        auto& chooser = dynamic_cast<frmBrowse&>(d);
        d.show();
        auto* model = static_cast<FolderTreeModel*>(chooser.ftvDirs->model());
        const auto selected = [&] { return model->filePath(chooser.ftvDirs->currentIndex()); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return selected() == album; }, 5000));
        startedAt = selected();
        question = chooser.Label1->text();
        EXPECT_TRUE(chooser.Label1->isVisible());
        EXPECT_EQ(chooser.lstFavs->count(), 1);
        QTest::mouseClick(chooser.lstFavs->viewport(), Qt::LeftButton, {},
                          chooser.lstFavs->visualItemRect(chooser.lstFavs->item(0)).center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return selected() == backup; }, 5000));
        QTest::mouseClick(chooser.Command2, Qt::LeftButton);
        return d.result();
    });
    w->mnuCopyDir->trigger();
    EXPECT_EQ(question, "Please choose a folder you would like to copy 'album' to.");
    EXPECT_EQ(startedAt, album);
    EXPECT_TRUE(QDir(backup + "/album").exists());
    EXPECT_TRUE(QDir(album).exists());
    EXPECT_EQ(w->currentFolder(), backup);
    // A move follows the folder too; the window never stays in a folder that has gone.
    const QString target = m_folder + "/target";
    QDir().mkpath(target);
    w->setCurrentFolder(album);
    chooseFolder(target);
    w->mnuMoveDir->trigger();
    EXPECT_EQ(question, "Please choose a folder you would like to move 'album' to.");
    EXPECT_TRUE(QDir(target + "/album").exists());
    EXPECT_FALSE(QDir(album).exists());
    EXPECT_EQ(w->currentFolder(), target);
}

TEST(FileCommandRules, SelectionAfterDeleteAndSelectedPaths) {
    EXPECT_EQ(rowAfterDelete(1, 2), 0);  // the one before it when there is one
    const SelectedFiles root = selectedFileList("/", {"a.jpg", "b.jpg"});
    EXPECT_EQ(root.list, QString("/a.jpg") + QChar(0) + "/b.jpg");
    EXPECT_EQ(root.count, 2);
    EXPECT_EQ(parentFolderOf("/p/album"), "/p/");
}

}  // namespace

TEST_F(FileCommands, TheFolderChooserStartsAtTheFolderAndOffersTheFavourites) {
    const QString deep = m_folder + "/a/b/c";
    QDir().mkpath(deep);
    frmBrowse browse;
    browse.setFavourites({{"Pictures", m_folder}});
    QString selected, chosen;
    m_dialogs->modalScripts.enqueue([&](QDialog&) {
        const auto current = [&] {
            return static_cast<FolderTreeModel*>(browse.ftvDirs->model())
                ->filePath(browse.ftvDirs->currentIndex());
        };
        EXPECT_TRUE(QTest::qWaitFor([&] { return current() == deep; }, 5000));
        selected = current();
        browse.lstFavs->itemClicked(browse.lstFavs->item(0));
        EXPECT_TRUE(QTest::qWaitFor([&] { return current() == m_folder; }, 5000));
        browse.Command2->click();
        return browse.result();
    });
    EXPECT_TRUE(browse.ShowBrowse(nullptr, "Where?", deep, &chosen));
    EXPECT_EQ(selected, deep);
    EXPECT_EQ(chosen, m_folder);
    EXPECT_EQ(browse.Label1->text(), "Where?");
}

// Two folders that show alike, "d\xff" and "d\xef\xbf\xbd": the one clicked is the one chosen.
TEST_F(FileCommands, TheFolderChooserGivesTheFolderClickedByItsOwnBytes) {
    gvtest::RawFolder parent;
    parent.folder("d\xff");
    parent.folder("d\xef\xbf\xbd");
    const QString lookAlike = parent.path() + "/d" + QChar::ReplacementCharacter;
    frmBrowse browse;
    QString chosen;
    m_dialogs->modalScripts.enqueue([&](QDialog& dialog) {
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTreeView* tree = browse.ftvDirs;
        auto* model = static_cast<FolderTreeModel*>(tree->model());
        const QModelIndex folder = model->index(parent.path());
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 2; }, 10000));
        EXPECT_EQ(model->filePath(tree->currentIndex()), lookAlike);
        for (int r = 0; r < model->rowCount(folder); ++r) {
            const QModelIndex row = model->index(r, 0, folder);
            if (model->filePath(row) != lookAlike) {
                tree->scrollTo(row);
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                  tree->visualRect(row).center());
            }
        }
        browse.Command2->click();
        return browse.result();
    });
    EXPECT_TRUE(browse.ShowBrowse(nullptr, "Where?", lookAlike, &chosen));
    EXPECT_EQ(fileNameToStdString(chosen), parent.at("d\xff"));
}

TEST_F(FileCommands, ADeclinedDeleteKeepsTheFileShown) {
    makeFiles({"a.png", "b.png"});
    open();
    pick("b.png");
    m_dialogs->messageAnswers.enqueue(MsgAnswer::No);
    w->mnuDel->trigger();
    EXPECT_TRUE(QFile::exists(file("b.png")));
    EXPECT_EQ(shown(), "b.png");
    EXPECT_EQ(w->File1->currentText(), "b.png");
}

// Names that are not UTF-8 (an old camera card, another locale): every command acts on the file
// the user picked, by the bytes of its name, never on a look-alike whose name is the same text.
TEST_F(FileCommands, NamesThatAreNotUtf8AreActedOnByTheirOwnBytes) {
    const QByteArray folder = fileNameToBytes(m_folder);
    const auto place = [&](const std::string& name, QSize size) {
        ASSERT_TRUE(gvtest::writePng(file("made.png"), gvtest::quadrantImage(size)));
        ASSERT_EQ(::rename(fileNameToBytes(file("made.png")).constData(),
                           (folder.toStdString() + "/" + name).c_str()),
                  0);
    };
    const std::string odd = "b\xff.png";
    const std::string lookAlike = "b\xef\xbf\xbd.png";
    place(odd, {16, 8});
    place(lookAlike, {8, 8});
    const auto there = [&](const std::string& name, const QString& in = QString()) {
        struct stat st {};
        const QByteArray where = in.isEmpty() ? folder : fileNameToBytes(in);
        return ::lstat((where.toStdString() + "/" + name).c_str(), &st) == 0;
    };
    open();
    ASSERT_EQ(w->File1->count(), 2);
    const auto rowOf = [&](const std::string& name) {
        for (int row = 0; row < w->File1->count(); ++row) {
            if (fileNameToStdString(w->File1->text(row)) == name) {
                return row;
            }
        }
        return -1;
    };
    // Both rows show the name as the desktop shows it; each opens its own picture.
    const auto clickRow = [&](int row) {
        const QModelIndex index = w->File1->model()->index(row, 0);
        EXPECT_EQ(index.data().toString(), QString::fromUtf8("b\xef\xbf\xbd.png"));
        QTest::mouseClick(w->File1->viewport(), Qt::LeftButton, {},
                          w->File1->visualRect(index).center());
    };
    clickRow(rowOf(odd));
    EXPECT_EQ(appState().ImageWidthPx, 16);
    clickRow(rowOf(lookAlike));
    EXPECT_EQ(appState().ImageWidthPx, 8);
    // Copied and renamed: the copy and the new name come from the picked file.
    const QString out = m_folder + "/out";
    QDir().mkpath(out);
    clickRow(rowOf(odd));
    chooseFolder(out);
    QTest::mouseClick(w->Fbts[1], Qt::LeftButton);
    EXPECT_TRUE(there(odd, out));
    EXPECT_FALSE(there(lookAlike, out));
    // To the Trash: the picked file goes, with its own bytes in the Trash's record.
    SaveSetting(keys::kRecyc, "1");
    clickRow(rowOf(odd));
    QTest::mouseClick(w->Fbts[0], Qt::LeftButton);
    EXPECT_FALSE(there(odd));
    EXPECT_TRUE(there(lookAlike));
    const QString trash = gvtest::testFolders().data + "/Trash";
    EXPECT_TRUE(there(odd, trash + "/files"));
    QFile rawInfo;
    ASSERT_TRUE(openForReading(rawInfo, fileNameFromBytes(fileNameToBytes(trash + "/info/") +
                                                          QByteArray(odd.data()) + ".trashinfo")));
    EXPECT_TRUE(rawInfo.readAll().contains("/b%FF.png")) << "the Trash can put it back";
    // Renamed: the other file keeps its name.
    place(odd, {16, 8});
    w->RefreshFileList();
    clickRow(rowOf(odd));
    m_dialogs->inputAnswers.enqueue("holiday");
    QTest::mouseClick(w->Fbts[3], Qt::LeftButton);
    EXPECT_TRUE(there("holiday.png"));
    EXPECT_TRUE(there(lookAlike));
    EXPECT_FALSE(there(odd));
    // Deleted for good, after the question that names it as the desktop shows it.
    SaveSetting(keys::kRecyc, "0");
    clickRow(rowOf(lookAlike));
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
    QTest::mouseClick(w->Fbts[0], Qt::LeftButton);
    EXPECT_FALSE(there(lookAlike));
    EXPECT_TRUE(there("holiday.png"));
}
