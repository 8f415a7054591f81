// The Trash of another volume: the volume's own trash at its top folder, and .trashinfo files
// whose Path= is relative to that top, as the desktop's file managers read them back.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Trash.h"
#include "support/TestEnvironment.h"
#include "support/Tmpfs.h"

TEST(Trash, AnotherVolumesTrashKeepsPathsRelativeToItsTopAndTheDate) {
    const QString top = gvtest::testFolders().root + "/volume";
    gvtest::Tmpfs volume(top.toStdString());
    GV_REQUIRE_TMPFS(volume);
    const QString uid = QString::number(::getuid());
    struct Case {
        const char* what;
        bool sharedTrash;  // the administrator made a sticky .Trash at the top
        QByteArray file;   // below the top
        QByteArray path;   // the Path= line
    } const cases[] = {
        {"own trash", false, "album/a b\xff.jpg", "album/a%20b%FF.jpg"},
        {"at the top", false, "top.jpg", "top.jpg"},
        {"shared trash", true, "album/deeper/c.jpg", "album/deeper/c.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray volumeBytes = QFile::encodeName(top);
        if (c.sharedTrash) {
            ASSERT_EQ(::mkdir((volumeBytes + "/.Trash").constData(), 01777), 0);
            ::chmod((volumeBytes + "/.Trash").constData(), 01777);
        }
        const QByteArray file = volumeBytes + "/" + c.file;
        QDir().mkpath(QFile::decodeName(file.left(file.lastIndexOf('/'))));
        FILE* f = std::fopen(file.constData(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        ASSERT_EQ(gv::Trash().put(file.toStdString()), 0);
        const QString can = top + (c.sharedTrash ? "/.Trash/" + uid : "/.Trash-" + uid);
        const QByteArray name = c.file.mid(c.file.lastIndexOf('/') + 1);
        // Names are bytes: looked up as such.
        const QByteArray canBytes = QFile::encodeName(can);
        EXPECT_EQ(::access((canBytes + "/files/" + name).constData(), F_OK), 0);
        EXPECT_NE(::access(file.constData(), F_OK), 0);
        std::ifstream info((canBytes + "/info/" + name + ".trashinfo").toStdString());
        ASSERT_TRUE(info.is_open());
        const QList<QByteArray> lines =
            QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(info), {}))
                .split('\n');
        ASSERT_EQ(lines.size(), 4);
        EXPECT_EQ(lines[0], "[Trash Info]");
        EXPECT_EQ(lines[1], "Path=" + c.path);
        // Local time, to the second, without a zone.
        const QDateTime date =
            QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), "yyyy-MM-ddTHH:mm:ss");
        EXPECT_TRUE(lines[2].startsWith("DeletionDate=") && date >= before &&
                    date <= QDateTime::currentDateTime())
            << lines[2].data();
    }
}
