// What the file manager hands to the file-operation service: paths, operation, flags, and the
// questions it asks on the way.

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QWidget>

#include "files/clsFileManager.h"
#include "files/frmBrowse.h"
#include "support/FakeDialogs.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

class FileManager : public ::testing::Test {
protected:
    gvtest::ScopedFakeDialogs dialogs;
    QWidget form;
    QList<FileOpRequest> requests;
    FileOpOutcome outcome;
    clsFileManager fm{[this](const FileOpRequest& r, QWidget*) {
        requests << r;
        return outcome;
    }};
};

TEST_F(FileManager, RenameKeepsTheExtensionAndJoinsRootsOnce) {
    struct Case {
        QString folder, file, typed, source, target;
    } const cases[] = {
        {"/pics", "photo.jpg", "holiday", "/pics/photo.jpg", "/pics/holiday.jpg"},
        {"/pics", "photo.jpg", "holiday.JPG", "/pics/photo.jpg", "/pics/holiday.JPG"},
        {"/pics", "photo.jpg", "holiday.gif", "/pics/photo.jpg", "/pics/holiday.gif.jpg"},
        {"/pics", "photo.jpg", "holiday.Jpg", "/pics/photo.jpg", "/pics/holiday.Jpg.jpg"},
        {"/pics", "photo.jpeg", "  holiday.jpeg ", "/pics/photo.jpeg", "/pics/holiday.jpeg"},
        {"/", "photo.jpg", "holiday", "/photo.jpg", "/holiday.jpg"},
    };
    for (const Case& c : cases) {
        requests.clear();
        dialogs->shown.clear();
        dialogs->inputAnswers.enqueue(c.typed);
        QString typed;
        EXPECT_TRUE(fm.Rename(c.folder, c.file, &form, &typed));
        EXPECT_EQ(typed, c.typed.trimmed());
        ASSERT_EQ(requests.size(), 1);
        EXPECT_EQ(requests[0], (FileOpRequest{FileOpKind::Rename, {c.source}, c.target, 0}));
        EXPECT_EQ(dialogs->shown[0].text, "Please type a new name for " + c.file + " below.");
        EXPECT_EQ(dialogs->shown[0].title, "Rename File");
    }
    // Cancel (or only blanks): no rename, and the name is left alone.
    QString typed = "untouched";
    dialogs->inputAnswers.enqueue("   ");
    EXPECT_FALSE(fm.Rename("/pics", "photo.jpg", &form, &typed));
    EXPECT_EQ(typed, "untouched");
    EXPECT_EQ(requests.size(), 1);
}

TEST_F(FileManager, ListsReachTheServiceAsPathsWithTheirOperation) {
    const QString list = QString("/a/1.jpg") + QChar(0) + "/a/2.jpg" + QChar(0) + "/a/3.jpg";
    const QStringList paths = {"/a/1.jpg", "/a/2.jpg", "/a/3.jpg"};
    for (const auto& [op, kind] : {std::pair{1, FileOpKind::Copy}, std::pair{2, FileOpKind::Move},
                                   std::pair{0, FileOpKind::Move}}) {
        requests.clear();
        EXPECT_TRUE(fm.MultipleFileOp(list, &form, op, "/b"));
        EXPECT_EQ(requests, (QList<FileOpRequest>{{kind, paths, "/b", 0}}));
    }
    // The recycle bin runs with its flag alone; otherwise the properties decide.
    fm.setYesToAll(true);
    fm.setDisplayPBar(true);
    fm.setRenameFiles(true);
    requests.clear();
    fm.DeleteFile(list, &form, true);
    fm.DeleteFile(list, &form, false);
    fm.DeleteDirectory("/a", &form, true);
    EXPECT_EQ(requests, (QList<FileOpRequest>{{FileOpKind::Delete, paths, list, kFofAllowUndo},
                                              {FileOpKind::Delete, paths, list, 0x4 | 0x8 | 0x10},
                                              {FileOpKind::Delete, {"/a"}, "/a", kFofAllowUndo}}));
}

TEST_F(FileManager, AnEmptySourceDoesNothingAndKeepsTheLastOutcome) {
    outcome.failed = true;
    EXPECT_FALSE(fm.DeleteFile("/a/1.jpg", &form, false));
    outcome.failed = false;
    EXPECT_FALSE(fm.DeleteFile("", &form, false));
    EXPECT_TRUE(fm.DeleteFile("/a/1.jpg", &form, false));
    outcome.aborted = true;
    EXPECT_TRUE(fm.MultipleFileOp("", &form, 1, "/b"));
    EXPECT_EQ(requests.size(), 2);
}

TEST_F(FileManager, TheDestinationIsAskedForWhenNotGiven) {
    QString destination, pDest;
    // The chooser's question, the folder it starts at, the favourites it lists; then the
    // answer (Cancel when empty).
    QStringList asked;
    fm.setFavourites([] { return QList<Favourite>{{"Backup", "/b"}}; });
    for (const QString answer : {"", "/x", "/y"}) {
        dialogs->modalScripts.enqueue([&asked, answer](QDialog& d) {
            auto& chooser = dynamic_cast<frmBrowse&>(d);
            asked << chooser.Label1->text() + " | " + chooser.ChosenDir + " | " +
                         chooser.lstFavs->item(0)->text();
            chooser.ChosenDir = answer;
            return answer.isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted);
        });
    }
    EXPECT_FALSE(fm.CopyDirectory("/p/album/", &form, &destination, &pDest));
    EXPECT_TRUE(requests.isEmpty());
    EXPECT_TRUE(fm.MoveDirectory("/p/album", &form, &destination, &pDest));
    EXPECT_EQ(destination, "/x");
    EXPECT_EQ(pDest, "/x");
    destination.clear();
    EXPECT_TRUE(fm.MoveFile("/p", "a.jpg", &form, &destination, &pDest));
    EXPECT_EQ(pDest, "/y/a.jpg");
    EXPECT_EQ(requests, (QList<FileOpRequest>{{FileOpKind::Move, {"/p/album"}, "/x", 0},
                                              {FileOpKind::Move, {"/p/a.jpg"}, "/y/a.jpg", 0}}));
    EXPECT_EQ(asked,
              (QStringList{
                  "Please choose a folder you would like to copy 'album' to. | /p/album | Backup",
                  "Please choose a folder you would like to move 'album' to. | /p/album | Backup",
                  "Please choose a folder you would like to move a.jpg to. | /p | Backup"}));
    EXPECT_EQ(lastPathComponent("/"), "/");

    // Without a destination the calling window is needed to ask.
    EXPECT_FALSE(fm.CopyFile("/p", "a.jpg", nullptr));
    ASSERT_TRUE(fm.lastError().has_value());
    EXPECT_EQ(fm.lastError()->number, -2147216046);
    EXPECT_EQ(fm.lastError()->description,
              "When the destination auguement is not specified, the calling form auguement "
              "must be specified.");
    EXPECT_FALSE(fm.CopyDirectory("/p", nullptr));
    EXPECT_TRUE(fm.lastError()->description.contains("augument must"));
    EXPECT_EQ(requests.size(), 2);
}

}  // namespace
