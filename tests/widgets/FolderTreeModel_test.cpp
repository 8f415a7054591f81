// The folder tree's model on real folders: names kept as their bytes, reading off the window's
// thread, and folders that come and go.

#include <gtest/gtest.h>

#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileNameBytes.h"
#include "support/RawFolder.h"
#include "widgets/FolderTreeModel.h"

using namespace gv;

namespace {

class FolderTree : public ::testing::Test {
protected:
    // Reads the folder and waits for its rows.
    QModelIndex read(const QString& path) {
        const QModelIndex index = m_model.index(path);
        EXPECT_TRUE(index.isValid()) << path.toStdString();
        QSignalSpy loaded(&m_model, &FolderTreeModel::directoryLoaded);
        m_model.refresh(path);
        m_model.fetchMore(index);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return std::any_of(loaded.begin(), loaded.end(), [&](const QList<QVariant>& s) {
                    return s.first().toString() == path;
                });
            },
            10000))
            << path.toStdString();
        return m_model.index(path);
    }
    QStringList rows(const QModelIndex& parent) const {
        QStringList names;
        for (int r = 0; r < m_model.rowCount(parent); ++r) {
            names.append(m_model.index(r, 0, parent).data().toString());
        }
        return names;
    }
    // The path of a row as the system stores it.
    std::string bytesOf(const QModelIndex& index) const {
        return fileNameToStdString(m_model.filePath(index));
    }

    gvtest::RawFolder m_folder;
    FolderTreeModel m_model;
};

}  // namespace

TEST_F(FolderTree, FoldersThatLookAlikeStayTwoAndOpenAsThemselves) {
    m_folder.folder("d\xff");
    m_folder.folder("d\xef\xbf\xbd");
    m_folder.folder("d\xff/only in the raw one");
    m_folder.folder("d\xef\xbf\xbd/only in the UTF-8 one");
    m_folder.folder(".hidden");
    m_folder.file("a file");
    m_folder.link("link to folder", "d\xff");
    m_folder.link("dangling", "nowhere");
    const QModelIndex top = read(m_folder.path());
    // Both show as "d\uFFFD"; hidden folders, files and dangling links are left out.
    const QString lookAlike = QStringLiteral("d") + QChar::ReplacementCharacter;
    EXPECT_EQ(rows(top), QStringList({lookAlike, lookAlike, "link to folder"}));
    struct Case {
        std::string name;
        QString inside;
    };
    const Case cases[] = {{"d\xff", "only in the raw one"},
                          {"d\xef\xbf\xbd", "only in the UTF-8 one"},
                          {"link to folder", "only in the raw one"}};
    for (const Case& c : cases) {
        QModelIndex found;
        for (int r = 0; r < m_model.rowCount(top); ++r) {
            if (bytesOf(m_model.index(r, 0, top)) == m_folder.at(c.name)) {
                EXPECT_FALSE(found.isValid()) << "twice: " << c.name;
                found = m_model.index(r, 0, top);
            }
        }
        ASSERT_TRUE(found.isValid()) << c.name;
        EXPECT_EQ(m_model.index(m_model.filePath(found)), found) << c.name;
        const QModelIndex opened = read(m_model.filePath(found));
        EXPECT_EQ(rows(opened), QStringList{c.inside}) << c.name;
        EXPECT_EQ(bytesOf(m_model.index(0, 0, opened)),
                  m_folder.at(c.name) + "/" + c.inside.toStdString());
    }
}

TEST_F(FolderTree, FoldersMadeAndRemovedShowOnceTheParentIsReadAgain) {
    // A parent named by bytes that are not UTF-8: nothing but reading it again can tell.
    m_folder.folder("p\xfe");
    const QString parent = m_folder.path() + "/" + fileNameFromBytes(QByteArray("p\xfe"));
    for (const char* name : {"p\xfe/stays", "p\xfe/goes", "p\xfe/.hidden", "p\xfe/.way"}) {
        m_folder.folder(name);
    }
    // The way to a hidden folder the user went to shows; other hidden folders do not.
    ASSERT_TRUE(m_model.index(parent + "/.way").isValid());
    QModelIndex folder = read(parent);
    EXPECT_EQ(rows(folder), QStringList({".way", "goes", "stays"}));
    const QPersistentModelIndex stays = m_model.index(parent + "/stays");
    m_folder.folder("p\xfe/new");
    m_folder.folder("p\xfe/a new one first");
    ASSERT_EQ(::rmdir(m_folder.at("p\xfe/goes").c_str()), 0);
    ASSERT_EQ(::rmdir(m_folder.at("p\xfe/.way").c_str()), 0);
    EXPECT_EQ(rows(folder), QStringList({".way", "goes", "stays"}));
    folder = read(parent);
    EXPECT_EQ(rows(folder), QStringList({"a new one first", "new", "stays"}));
    // The row that stayed is the same row, moved down.
    ASSERT_TRUE(stays.isValid());
    EXPECT_EQ(stays.row(), 2);
    EXPECT_EQ(m_model.filePath(stays), parent + "/stays");
}

// Rows added before their folder was read are put in order when it is, even when the order
// has changed since (another locale): each row keeps its index.
TEST_F(FolderTree, RowsAddedOnTheWayFollowTheOrderOfTheReading) {
    for (const char* name : {"z", "\xc3\xa4", "m"}) {
        m_folder.folder(name);
    }
    const QString umlaut = QString::fromUtf8("\xc3\xa4");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QPersistentModelIndex z = m_model.index(m_folder.path() + "/z");
    const QPersistentModelIndex a = m_model.index(m_folder.path() + "/" + umlaut);
    EXPECT_EQ(rows(m_model.index(m_folder.path())), QStringList({umlaut, "z"}));
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));  // "ä" after "z"
    const QModelIndex folder = read(m_folder.path());
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(rows(folder), QStringList({"m", "z", umlaut}));
    EXPECT_EQ(z.row(), 1);
    EXPECT_EQ(a.row(), 2);
    EXPECT_EQ(m_model.filePath(a), m_folder.path() + "/" + umlaut);
}

TEST_F(FolderTree, PathsThatNameNoFolderHaveNoRow) {
    m_folder.folder("sub");
    m_folder.file("sub/file");
    m_folder.link("loop", "loop");
    const QString cases[] = {"",
                             "relative/path",
                             m_folder.path() + "/missing",
                             m_folder.path() + "/sub/file",
                             m_folder.path() + "/loop",
                             m_folder.path() + "/sub/file/below"};
    for (const QString& path : cases) {
        EXPECT_FALSE(m_model.index(path).isValid()) << path.toStdString();
    }
    // The same folder spelled differently is the same row; "/" is the top row.
    const QModelIndex sub = m_model.index(m_folder.path() + "/sub");
    EXPECT_EQ(m_model.index(m_folder.path() + "//./sub/../sub/"), sub);
    EXPECT_EQ(m_model.index("/"), m_model.index(0, 0));
    EXPECT_EQ(m_model.filePath(m_model.index(0, 0)), "/");
    EXPECT_EQ(m_model.index(0, 0).data().toString(), "/");
    EXPECT_EQ(m_model.rowCount(), 1);
}

TEST_F(FolderTree, AHugeFolderIsReadWhileTheWindowGoesOn) {
    constexpr int kCount = 5000;  // several blocks of directory entries
    for (int i = 0; i < kCount; ++i) {
        m_folder.folder("f" + std::to_string(i));
    }
    const QModelIndex huge = m_model.index(m_folder.path());
    // Until read, the folder offers its expander.
    EXPECT_TRUE(m_model.hasChildren(huge));
    EXPECT_TRUE(m_model.canFetchMore(huge));
    QSignalSpy loaded(&m_model, &FolderTreeModel::directoryLoaded);
    m_model.fetchMore(huge);
    // The call came back before any row: the rows come from the reader thread.
    EXPECT_EQ(m_model.rowCount(huge), 0);
    EXPECT_FALSE(m_model.canFetchMore(huge));
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_EQ(loaded.first().first().toString(), m_folder.path());
    ASSERT_EQ(m_model.rowCount(huge), kCount);
    // In the file list's order: numbers by their value.
    EXPECT_EQ(rows(huge).mid(0, 4), QStringList({"f0", "f1", "f2", "f3"}));
    EXPECT_EQ(m_model.index(kCount - 1, 0, huge).data().toString(), "f4999");
    // An empty folder, once read, shows no expander.
    const QModelIndex empty = read(m_folder.path() + "/f7");
    EXPECT_FALSE(m_model.hasChildren(empty));
}

// A tree opening a folder again reads it again: folders made meanwhile show.
TEST_F(FolderTree, ATreeReadsAFolderAgainWhenItIsOpenedAgain) {
    m_folder.folder("\xff");
    const QString raw = m_folder.path() + "/" + fileNameFromBytes(QByteArray("\xff"));
    QTreeView tree;
    setFolderTreeModel(&tree, &m_model);
    const QModelIndex folder = m_model.index(raw);
    QSignalSpy loaded(&m_model, &FolderTreeModel::directoryLoaded);
    tree.expand(folder);
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_EQ(m_model.rowCount(folder), 0);
    m_folder.folder("\xff/made");
    tree.collapse(folder);
    tree.expand(folder);
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_EQ(rows(folder), QStringList{"made"});
}
