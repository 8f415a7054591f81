#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <functional>

#include "platform/DesktopFiles.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(DesktopFiles, AFileChangedSinceItWasReadIsNotReplaced) {
    const QString dir = gvtest::testFolders().home;
    const QString path = dir + "/list";
    const QString other = dir + "/other";
    const struct {
        const char* what;
        std::function<void()> before;  // the file as it was read
        std::function<void()> meanwhile;
    } cases[] = {
        {"rewritten", [&] { put(path, "a"); }, [&] { put(path, "b"); }},
        {"made", [&] { QFile::remove(path); }, [&] { put(path, "b"); }},
        {"removed", [&] { put(path, "a"); }, [&] { QFile::remove(path); }},
        {"replaced by a link", [&] { put(path, "a"); },
         [&] {
             QFile::remove(path);
             put(other, "a");
             QFile::link(other, path);
         }},
        {"its link pointed elsewhere",
         [&] {
             put(other, "a");
             QFile::link(other, path);
         },
         [&] {
             QFile::remove(path);
             put(dir + "/third", "a");
             QFile::link(dir + "/third", path);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& f : {path, other, dir + "/third"}) {
            QFile::remove(f);
        }
        c.before();
        UserFile read;
        ASSERT_TRUE(readUserFile(path, read).ok());
        c.meanwhile();
        const QByteArray now = contents(path);
        EXPECT_EQ(replaceUserFile(read, "new").error, UserFileError::Changed);
        EXPECT_EQ(contents(path), now);
        EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden).filter(".gv-"), QStringList());
    }
}

TEST(DesktopFiles, AReplacedFileKeepsItsPermissionsAndItsLink) {
    const QString dir = gvtest::testFolders().home;
    put(dir + "/private", "old");
    ::chmod(QFile::encodeName(dir + "/private").constData(), 0600);
    QDir().mkpath(dir + "/dotfiles");
    put(dir + "/dotfiles/real", "old");
    ::chmod(QFile::encodeName(dir + "/dotfiles/real").constData(), 0640);
    ASSERT_EQ(::symlink("dotfiles/real", QFile::encodeName(dir + "/linked").constData()), 0);
    for (const QString& name : {QString("private"), QString("linked")}) {
        UserFile file;
        ASSERT_TRUE(readUserFile(dir + "/" + name, file).ok());
        EXPECT_EQ(file.bytes, "old");
        ASSERT_TRUE(replaceUserFile(file, "new").ok()) << name.toStdString();
    }
    EXPECT_EQ(modeOf(dir + "/private"), 0600u);
    EXPECT_EQ(contents(dir + "/private"), "new");
    EXPECT_EQ(QFile::symLinkTarget(dir + "/linked"), dir + "/dotfiles/real");
    EXPECT_EQ(modeOf(dir + "/dotfiles/real"), 0640u);
    EXPECT_EQ(contents(dir + "/dotfiles/real"), "new");

    // A new file in folders that are not there yet gets the mode asked for.
    UserFile fresh;
    ASSERT_TRUE(readUserFile(dir + "/a/b/launcher", fresh).ok());
    EXPECT_FALSE(fresh.exists);
    ASSERT_TRUE(replaceUserFile(fresh, "x", 0755).ok());
    EXPECT_EQ(modeOf(dir + "/a/b/launcher"), 0755u);
}

TEST(DesktopFiles, WhatIsNoOrdinaryFileIsRefusedWithoutWaiting) {
    const QString dir = gvtest::testFolders().home;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/pipe").constData(), 0600), 0);
    QDir().mkpath(dir + "/folder");
    ASSERT_EQ(::symlink("gone", QFile::encodeName(dir + "/dangling").constData()), 0);
    const std::pair<const char*, UserFileError> cases[] = {
        {"pipe", UserFileError::NotAFile},
        {"folder", UserFileError::NotAFile},
        {"dangling", UserFileError::DanglingLink},
    };
    for (const auto& [name, error] : cases) {
        UserFile file;
        EXPECT_EQ(readUserFile(dir + "/" + name, file).error, error) << name;
    }
    put(dir + "/big", QByteArray(100, 'x'));
    UserFile big;
    EXPECT_EQ(readUserFile(dir + "/big", big, 99).error, UserFileError::TooLarge);
}
