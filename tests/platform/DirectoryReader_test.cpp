#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/DirectoryReader.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "support/RawFolder.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

using Folder = gvtest::RawFolder;

QStringList sorted(QStringList names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(DirectoryReader, ListsRegularFilesAndLinksToThemOnly) {
    Folder other;
    other.file("elsewhere.png");
    Folder f;
    const QStringList files = {"plain.jpg",   "with  blanks .png", " leading blank.gif",
                               ".hidden.jpg", "UPPER.JPG",         "Übersicht café.bmp",
                               "日本語.tif",  "line\nbreak.bmp",   "tab\there",
                               "no extension"};
    for (const QString& name : files) {
        f.file(name.toStdString());
    }
    f.folder("folder.jpg");
    f.folder(".hidden folder");
    f.link("link to file.jpg", "plain.jpg");
    f.link("link to link.jpg", "link to file.jpg");
    f.link("absolute link.png", other.at("elsewhere.png"));
    f.link("link to folder.jpg", "folder.jpg");
    f.link("dangling.gif", "missing.gif");
    f.link("loop.gif", "loop.gif");
    ASSERT_EQ(::mkfifo(f.at("pipe.tif").c_str(), 0644), 0);
    const std::string socketPath = f.at("socket.png");
    if (socketPath.size() < sizeof(sockaddr_un::sun_path)) {
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(s);
    }

    const FolderFiles read = readFolderFiles(f.path());
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(sorted(read.names), sorted(files + QStringList{"link to file.jpg", "link to link.jpg",
                                                             "absolute link.png"}));
}

TEST(DirectoryReader, NamesThatAreNotUtf8KeepTheirBytes) {
    Folder f;
    const std::string names[] = {"bad\xff.jpg", "bad\xef\xbf\xbd.jpg", "cut\xe2\x82.jpg",
                                 "latin1 caf\xe9.png", "\xc0\xaf overlong.gif"};
    std::vector<std::string> expected;
    for (const std::string& name : names) {
        f.file(name);
        expected.push_back(name);
    }
    const FolderFiles files = readFolderFiles(f.path());
    EXPECT_TRUE(files.ok);
    std::vector<std::string> read;
    for (const QString& name : files.names) {
        read.push_back(gv::fileNameToStdString(name));
        // Shown as Qt shows such names.
        EXPECT_EQ(gv::fileNameForDisplay(name),
                  QFile::decodeName(QByteArray::fromStdString(read.back())));
    }
    std::sort(read.begin(), read.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(read, expected);
}

TEST(DirectoryReader, FolderThatCannotBeReadGivesTheErrorFlag) {
    Folder f;
    f.file("picture.jpg");
    f.folder("sub");
    f.file("sub/inside.jpg");
    f.folder("locked");
    f.file("locked/picture.jpg");
    ASSERT_EQ(::chmod(f.at("locked").c_str(), 0300), 0);
    QStringList cases = {
        QString(),
        f.path() + QStringLiteral("/missing"),
        f.path() + QStringLiteral("/picture.jpg"),      // a file, not a folder
        f.path() + QStringLiteral("/picture.jpg/sub"),  // a path through a file
        f.path() + QStringLiteral("/sub") + QChar(0) + QStringLiteral("x"),  // cut short by NUL
    };
    if (::geteuid() != 0) {  // permissions do not stop root
        cases.append(f.path() + QStringLiteral("/locked"));
    }
    for (const QString& folder : cases) {
        const FolderFiles files = readFolderFiles(folder);
        EXPECT_FALSE(files.ok) << folder.toStdString();
        EXPECT_TRUE(files.names.isEmpty()) << folder.toStdString();
    }
    ::chmod(f.at("locked").c_str(), 0755);
    // The same folder spelled differently still reads.
    for (const QString& folder :
         {f.path() + QStringLiteral("/sub/"), f.path() + QStringLiteral("/./sub/../sub")}) {
        const FolderFiles files = readFolderFiles(folder);
        EXPECT_TRUE(files.ok);
        EXPECT_EQ(files.names, QStringList{QStringLiteral("inside.jpg")});
    }
}

TEST(DirectoryReader, EmptyFolder) {
    // (Folders of more entries than one read returns: the big folder test below.)
    Folder f;
    const FolderFiles empty = readFolderFiles(f.path());
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.names.isEmpty());
}

TEST(DirectoryReader, OnlyWantedNamesAreLookedAtAndTaken) {
    Folder f;
    f.file("keep.jpg");
    f.file("skip.jpg");
    f.link("keep link.jpg", "keep.jpg");
    f.link("skip link.jpg", "keep.jpg");
    f.link("keep dangling.jpg", "nowhere");
    f.folder("keep folder");
    QStringList asked;
    QStringList taken;
    const bool ok = forEachFolderFile(
        f.path(),
        [&](std::string_view name) {
            asked.append(decodeFileName(name));
            return name.substr(0, 4) == "keep";
        },
        [&](std::string_view name) { taken.append(decodeFileName(name)); });
    EXPECT_TRUE(ok);
    // Folders are known from the entry type and never offered.
    EXPECT_EQ(sorted(asked), sorted({"keep.jpg", "skip.jpg", "keep link.jpg", "skip link.jpg",
                                     "keep dangling.jpg"}));
    EXPECT_EQ(sorted(taken), sorted({"keep.jpg", "keep link.jpg"}));
}

TEST(DirectoryReader, ABigFolderIsReadOnAThreadOfItsOwnWithNothingLostOrTwice) {
    // Enough names for the reading to move to a reader thread part way; links, dangling links
    // and folders spread over the whole folder, so that some come after the hand-over.
    Folder f;
    constexpr int kCount = 12000;
    QStringList expected;
    for (int i = 0; i < kCount; ++i) {
        const std::string name = "img " + std::to_string(i) + ".jpg";
        switch (i % 100) {
            case 7:
                f.link(name, "img 0.jpg");
                expected.append(QString::fromStdString(name));
                break;
            case 8:
                f.link(name, "nowhere");
                break;
            case 9:
                f.folder(name);
                break;
            default:
                f.file(name);
                expected.append(QString::fromStdString(name));
        }
    }
    const Qt::HANDLE caller = QThread::currentThreadId();
    QStringList taken;
    bool takenElsewhere = false;
    const bool ok = forEachFolderFile(
        f.path(), [](std::string_view name) { return name.substr(0, 3) == "img"; },
        [&](std::string_view name) {
            takenElsewhere = takenElsewhere || QThread::currentThreadId() != caller;
            taken.append(decodeFileName(name));
        });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(takenElsewhere);
    EXPECT_EQ(sorted(taken), sorted(expected));

    // A sink that gives up (out of memory, say) part way: the reader thread is stopped and the
    // failure reaches the caller.
    int calls = 0;
    EXPECT_THROW(forEachFolderFile(
                     f.path(), [](std::string_view) { return true; },
                     [&calls](std::string_view) {
                         if (++calls == 6000) {
                             throw std::bad_alloc();
                         }
                     }),
                 std::bad_alloc);
    EXPECT_EQ(calls, 6000);
}

TEST(DirectoryReader, SubfoldersAreFoldersAndLinksToThemByTheirStoredNames) {
    Folder f;
    for (const char* name : {"plain", ".hidden", "d\xff", "d\xef\xbf\xbd", "caf\xe9"}) {
        f.folder(name);
    }
    f.file("d\xff/inside.jpg");
    f.file("file.jpg");
    f.link("link to folder", "plain");
    f.link("link to file", "file.jpg");
    f.link("dangling", "nowhere");
    const Subfolders read = readSubfolders(f.path());
    EXPECT_TRUE(read.ok);
    QStringList bytes;
    for (const QString& name : read.names) {
        bytes.append(QString::fromLatin1(fileNameToBytes(name).toHex()));
    }
    // Compared as bytes: "d\xff" must not come back as its look-alike "d\xef\xbf\xbd".
    QStringList expected;
    for (const char* name :
         {"plain", ".hidden", "d\xff", "d\xef\xbf\xbd", "caf\xe9", "link to folder"}) {
        expected.append(QString::fromLatin1(QByteArray(name).toHex()));
    }
    EXPECT_EQ(sorted(bytes), sorted(expected));

    // The folders reached by those names are the right ones, not their look-alikes.
    const QString raw = f.path() + QStringLiteral("/") + fileNameFromBytes(QByteArray("d\xff"));
    EXPECT_TRUE(isFolder(raw));
    EXPECT_FALSE(isFolder(f.path() + QStringLiteral("/file.jpg")));
    EXPECT_FALSE(isFolder(f.path() + QStringLiteral("/dangling")));
    EXPECT_TRUE(isFolder(f.path() + QStringLiteral("/link to folder")));
    EXPECT_EQ(readFolderFiles(raw).names, QStringList{QStringLiteral("inside.jpg")});
    EXPECT_TRUE(readSubfolders(raw).ok);
    EXPECT_TRUE(readSubfolders(raw).names.isEmpty());
    EXPECT_FALSE(readSubfolders(f.path() + QStringLiteral("/file.jpg")).ok);

    // A reading nobody waits for any more stops.
    const std::atomic<bool> stop = true;
    EXPECT_FALSE(readSubfolders(f.path(), &stop).ok);
}
