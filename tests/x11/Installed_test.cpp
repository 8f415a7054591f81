// The real program started from the build folder and from a tree laid out by `cmake --install`
// (through its link on the PATH), on the test script's X server: it must find its own folder,
// its shipped files and the modules it loads beside itself in both.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using gvtest::visibleWindows;
using gvtest::waitFor;

namespace {

bool traced(const QString& traceFile, const QString& line) {
    QFile f(traceFile);
    return f.open(QIODevice::ReadOnly) &&
           QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts).contains(line);
}

// Whether a child of the process runs the program at that path.
bool childRuns(qint64 pid, const QString& program) {
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // The parent is the second field after the command name's closing parenthesis.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid &&
            QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == program) {
            return true;
        }
    }
    return false;
}

// Whether the process has a file of that name mapped from the folder or a folder below it.
bool mapsFrom(qint64 pid, const QString& folder, const QString& name) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QString& line : QString::fromUtf8(maps.readAll()).split('\n')) {
        const QString path = line.section(' ', -1);
        if (path.startsWith(folder + "/") && path.endsWith("/" + name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(Installed, TheProgramFindsItsFilesAndModulesInTheBuildFolderAndInTheInstalledTree) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs the X server of scripts/test";
    }
    const QString root = gvtest::testFolders().root;
    const QString picture = gvtest::testFolders().home + "/shown.tif";
    ASSERT_TRUE(gvtest::writeTiff(picture, gvtest::quadrantImage(QSize(40, 30))));

    for (const bool installed : {false, true}) {
        SCOPED_TRACE(installed ? "installed" : "build folder");
        QString program = QStringLiteral(GLIMVANE_BINARY_DIR "/glimvane");
        QString folder = QStringLiteral(GLIMVANE_BINARY_DIR);
        if (installed) {
            const QString dest = root + "/dest";
            QProcess install;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DESTDIR", dest);
            install.setProcessEnvironment(env);
            install.setProcessChannelMode(QProcess::MergedChannels);
            install.start(GLIMVANE_CMAKE_COMMAND,
                          {"--install", GLIMVANE_BINARY_DIR, "--prefix", "/usr"});
            ASSERT_TRUE(install.waitForFinished(60000));
            ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
            program = dest + "/usr/bin/glimvane";
            folder = dest + "/usr/lib/glimvane";
            ASSERT_TRUE(QFileInfo(program).isSymLink());
        }
        folder = QFileInfo(folder).canonicalFilePath();
        for (const char* name :
             {"gvrecover", "gvsandbox", "gv23hlp.chm", "Readme.txt", "GVTIPS.GVR",
              "libglimvane_gm.so", "libglimvane_tiff.so", "libglimvane_instance.so"}) {
            EXPECT_TRUE(QFileInfo(folder + "/" + name).isFile()) << name;
        }

        // A first start, with settings of its own: the components check names the folder it
        // found (and would stop at a missing-component message); no other question, no tip.
        const QString config = root + "/config-" + QString::number(installed);
        const QString mainFile = config + "/Glimvane/Glimvane2.conf";
        {
            QSettings seed(mainFile, QSettings::IniFormat);
            seed.setValue("options/deskicon232", "1");
            seed.setValue("options/show tips at startup", "0");
        }
        const QString trace = root + "/trace-" + QString::number(installed);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("GLIMVANE_PROGRAM_DIR");
        env.insert("GLIMVANE_TRACE", trace);
        env.insert("XDG_CONFIG_HOME", config);
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(program, {picture});
        // The components check's message is answered whenever it is up (a key that comes
        // before the box is ready for it is lost); a missing-component message would stay.
        EXPECT_TRUE(waitFor(
            [&] {
                const QStringList box = visibleWindows("^Information$");
                if (!box.isEmpty()) {
                    gvtest::runTool("xdotool", {"windowactivate", "--sync", box.last()});
                    gvtest::runTool("xdotool", {"key", "--window", box.last(), "Return"});
                }
                return traced(trace, "shown: " + picture);
            },
            20000));
        // The box goes as the key goes down: xdotool, finding its window gone, may never send
        // the key's release, and a Return left down on the server swallows the next test's.
        gvtest::runTool("xdotool", {"keyup", "Return"});
        EXPECT_TRUE(waitFor([&] { return traced(trace, "load: marked"); }, 10000));
        EXPECT_EQ(QSettings(mainFile, QSettings::IniFormat).value("v2.3/path").toString(), folder);
        EXPECT_TRUE(mapsFrom(p.processId(), folder, "libglimvane_instance.so"));
        // The TIFF was decoded by the decoding helper the program started from its folder.
        EXPECT_TRUE(childRuns(p.processId(), QFileInfo(folder + "/gvsandbox").canonicalFilePath()));
        p.kill();
        p.waitForFinished(3000);
        // The server may list a killed client's windows for a moment: the next start's
        // question must not be confused with this one's.
        EXPECT_TRUE(waitFor([] { return visibleWindows("^Information$").isEmpty(); }, 5000));
    }
}
