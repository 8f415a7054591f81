#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QByteArray>
#include <QTemporaryDir>
#include <functional>

#include "platform/FileNameBytes.h"
#include "platform/SingleInstance.h"

using namespace gv;

namespace {

constexpr uid_t kOtherUid = 54321;
using Make = std::function<void(const QByteArray& folder, const QByteArray& root)>;

mode_t modeOf(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void makeFolder(const QByteArray& path, mode_t mode) {
    for (qsizetype slash = path.indexOf('/', 1); slash != -1;
         slash = path.indexOf('/', slash + 1)) {
        ::mkdir(path.left(slash).constData(), 0755);
    }
    ASSERT_EQ(::mkdir(path.constData(), mode), 0);
    ASSERT_EQ(::chmod(path.constData(), mode), 0);
}

bool exists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

// Makes a file through the folder's own name for it.
void probe(const PrivateFolder& folder, const char* name) {
    const int fd = ::open(fileNameToBytes(folder.path() + '/' + name).constData(),
                          O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
}

const Make kOurs0700 = [](const QByteArray& f, const QByteArray&) { makeFolder(f, 0700); };
const Make kLinkToPrivate = [](const QByteArray& f, const QByteArray& root) {
    makeFolder(root + "/elsewhere", 0700);
    makeFolder(f, 0700);
    ASSERT_EQ(::rmdir(f.constData()), 0);
    ASSERT_EQ(::symlink((root + "/elsewhere").constData(), f.constData()), 0);
};
const Make kAnotherUsers = [](const QByteArray& f, const QByteArray&) {
    makeFolder(f, 0700);
    if (::chown(f.constData(), kOtherUid, kOtherUid) != 0) {
        GTEST_SKIP() << "giving a folder to another user needs root";
    }
};

}  // namespace

TEST(PrivateFolder, TakesTheRuntimeFolderOnlyWhenNobodyElseCanEnterIt) {
    struct Case {
        const char* what;
        Make make;
        bool runtimeTaken;
    };
    const Case cases[] = {
        {"ours, mode 0700", kOurs0700, true},
        {"open to the group", [](const QByteArray& f, const QByteArray&) { makeFolder(f, 0750); },
         false},
        {"open to all", [](const QByteArray& f, const QByteArray&) { makeFolder(f, 0777); }, false},
        {"a link to a private folder", kLinkToPrivate, false},
        {"another user's", kAnotherUsers, false},
        {"a file",
         [](const QByteArray& f, const QByteArray&) {
             ::close(::open(f.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
         },
         false},
        {"missing", [](const QByteArray&, const QByteArray&) {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QByteArray root = dir.path().toUtf8();
        const QByteArray runtime = root + "/runtime";
        c.make(runtime, root);
        if (::testing::Test::IsSkipped()) {
            continue;
        }
        const PrivateFolder folder = PrivateFolder::choose(runtime, root + "/cache");
        ASSERT_TRUE(folder.isValid()) << folder.problem().toStdString();
        const QByteArray expected = c.runtimeTaken ? runtime : root + "/cache/Glimvane/runtime";
        EXPECT_EQ(fileNameToBytes(folder.realPath()), expected);
        EXPECT_EQ(modeOf(expected), 0700u);
        probe(folder, "probe");
        EXPECT_TRUE(exists(expected + "/probe"));
    }
}

TEST(PrivateFolder, TheCacheFolderIsMadePrivateOrRefused) {
    struct Case {
        const char* what;
        Make make;
        bool valid;
    };
    const Case cases[] = {
        {"made anew", [](const QByteArray&, const QByteArray&) {}, true},
        {"ours, opened up by hand",
         [](const QByteArray& f, const QByteArray&) { makeFolder(f, 0755); }, true},
        {"a link to a private folder", kLinkToPrivate, false},
        {"another user's", kAnotherUsers, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QByteArray root = dir.path().toUtf8();
        // A cache folder whose name is not UTF-8 is used by its bytes.
        const QByteArray cache = root + "/cache\xff";
        const QByteArray expected = cache + "/Glimvane/runtime";
        c.make(expected, root);
        if (::testing::Test::IsSkipped()) {
            continue;
        }
        const PrivateFolder folder = PrivateFolder::choose(QByteArray(), cache);
        ASSERT_EQ(folder.isValid(), c.valid) << folder.problem().toStdString();
        if (c.valid) {
            EXPECT_EQ(fileNameToBytes(folder.realPath()), expected);
            EXPECT_EQ(modeOf(expected), 0700u);
            probe(folder, "probe");
            EXPECT_TRUE(exists(expected + "/probe"));
        } else {
            EXPECT_TRUE(folder.problem().contains("is not a private folder of this user"))
                << folder.problem().toStdString();
        }
    }
}

TEST(PrivateFolder, StaysWithTheFolderItCheckedWhenItsNameIsTakenOver) {
    QTemporaryDir dir;
    const QByteArray root = dir.path().toUtf8();
    const QByteArray runtime = root + "/runtime";
    makeFolder(runtime, 0700);
    const PrivateFolder folder = PrivateFolder::choose(runtime, QByteArray());
    ASSERT_TRUE(folder.isValid());
    // Someone renames it and puts a link to a folder of theirs in its place.
    ASSERT_EQ(::rename(runtime.constData(), (runtime + ".moved").constData()), 0);
    makeFolder(root + "/theirs", 0777);
    ASSERT_EQ(::symlink((root + "/theirs").constData(), runtime.constData()), 0);
    probe(folder, "lock");
    EXPECT_TRUE(exists(runtime + ".moved/lock"));
    EXPECT_FALSE(exists(root + "/theirs/lock"));
}
