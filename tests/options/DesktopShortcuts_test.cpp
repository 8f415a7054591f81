// Launchers and Glimvane's own desktop entry, checked by the desktop's own tools:
// desktop-file-validate for their form, gio for what their Exec line runs.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "options/DesktopEntries.h"
#include "options/DesktopShortcuts.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(20000)) << program.toStdString();
    return QString::fromUtf8(p.readAll()) + (p.exitCode() ? QString("(failed)") : QString());
}

void write(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    ASSERT_TRUE(gvtest::writeBytes(path, bytes)) << path.toStdString();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

}  // namespace

TEST(DesktopShortcuts, EntriesAreValidAndRunTheProgramWhateverItsPathHolds) {
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty() ||
        QStandardPaths::findExecutable("gio").isEmpty()) {
        GTEST_SKIP() << "needs desktop-file-utils and gio (scripts/install-deps)";
    }
    const QString home = gvtest::testFolders().home;
    const QString ran = home + "/ran";
    for (const QString& folder : {QString("plain"), QString("My Apps"), QString("a\"b$c`d\\e%f'g"),
                                  QString("semi;colon & (paren) #1")}) {
        SCOPED_TRACE(folder.toStdString());
        const QString program = home + "/" + folder + "/glimvane";
        QDir().mkpath(home + "/" + folder);
        // The program says how it was started (the answer appears whole, by a rename).
        write(program,
              "#!/bin/sh\nprintf '%s|%s' \"$0\" \"$1\" > \"$GV_RAN.part\" && "
              "mv \"$GV_RAN.part\" \"$GV_RAN\"\n",
              0755);
        const std::optional<QByteArray> launcher = launcherEntry("Glimvane", program, true);
        const std::optional<QByteArray> own = associationEntry(program, {"image/png", "image/gif"});
        ASSERT_TRUE(launcher && own);
        for (const QByteArray& text : {*launcher, *own}) {
            write(home + "/check.desktop", text);
            EXPECT_EQ(run("desktop-file-validate", {home + "/check.desktop"}), "") << text.data();
        }
        QFile::remove(ran);
        qputenv("GV_RAN", QFile::encodeName(ran));
        write(home + "/check.desktop", *launcher);
        run("gio", {"launch", home + "/check.desktop", home + "/a b.png"});
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(ran); }, 5000));
        EXPECT_EQ(QString::fromUtf8(gvtest::readBytes(ran)), program + "|" + home + "/a b.png");
    }
    // A program whose path is not UTF-8 cannot be named in an entry.
    EXPECT_FALSE(
        launcherEntry("Glimvane", fileNameFromBytes(QByteArray("/opt/b\xff/glimvane")), true));
}

TEST(DesktopShortcuts, DesktopIconsAreExecutableLaunchersThatLeaveTheUsersOwnFilesAlone) {
    const QString desktop = gvtest::testFolders().home + "/Desktop";
    const QString launcher = desktop + "/Glimvane.desktop";
    const QString update = desktop + "/Glimvane Update.desktop";
    // Without the update program, only Glimvane's.
    EXPECT_EQ(CreateDesktopIcons(), QStringList{launcher});
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(launcher).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_TRUE(
        gvtest::readBytes(launcher).contains("Exec=" + QFile::encodeName(programPath()) + " %f\n"));

    // With it, both; a launcher of Glimvane's own is written again.
    write(joinPath(programFolder(), "gvupdate"), "#!/bin/sh\n", 0755);
    write(launcher, "[Desktop Entry]\nName=old\nX-Glimvane-Written=true\n");
    EXPECT_EQ(CreateDesktopIcons(), (QStringList{launcher, update}));
    EXPECT_TRUE(gvtest::readBytes(launcher).contains("Name=Glimvane\n"));
    EXPECT_TRUE(gvtest::readBytes(update).contains("Exec=" + QFile::encodeName(programFolder()) +
                                                   "/gvupdate\n"));

    // A file the user made under that name, or a link there, stays as it is.
    const QByteArray mine = "[Desktop Entry]\nName=My own\nExec=glimvane --mine\n";
    write(launcher, mine);
    QFile::remove(update);
    ASSERT_TRUE(QFile::link(launcher, update));
    EXPECT_EQ(CreateDesktopIcons(), QStringList());
    EXPECT_EQ(gvtest::readBytes(launcher), mine);
    EXPECT_TRUE(QFileInfo(update).isSymLink());
}
