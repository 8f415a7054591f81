// "Add Link" against a browser window on the test script's X server: the page's title from
// the window manager's list, its address read through a real accessibility bus.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include "support/Bytes.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using gvtest::runTool;
using gvtest::visibleWindows;
using gvtest::waitFor;

TEST(BrowserLinks, ThePageABrowserShowsJoinsMyImagingSites) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs the X server of scripts/test";
    }
    const QString bus = gvtest::testFolders().runtime + "/bus";
    QStringList env = gvtest::childEnvironment();
    env << "DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus;
    QList<QProcess*> processes;
    // Ended however the test ends: a program left running would spoil the tests after it.
    const auto stopAll = qScopeGuard([&] {
        for (QProcess* p : processes) {
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
            delete p;
        }
    });
    const auto start = [&](const QString& program, const QStringList& args) {
        auto* p = new QProcess;
        p->setEnvironment(env);
        p->start(program, args);
        processes.prepend(p);
        return p;
    };
    start("dbus-daemon", {"--session", "--nofork", "--address=unix:path=" + bus});
    ASSERT_TRUE(waitFor([&] { return QFile::exists(bus); }, 5000));
    // The accessibility bus runs before the programs start, as on a desktop session.
    QProcess* launch = start("dbus-send", {"--session", "--print-reply", "--dest=org.a11y.Bus",
                                           "/org/a11y/bus", "org.a11y.Bus.GetAddress"});
    ASSERT_TRUE(launch->waitForFinished(10000));
    ASSERT_EQ(launch->exitCode(), 0);
    start(GLIMVANE_BINARY_DIR "/fakebrowser",
          {"Photos - Mozilla Firefox", "https://photos.example/album"});
    ASSERT_TRUE(waitFor([] { return !visibleWindows("Mozilla Firefox$").isEmpty(); }, 10000));
    QTest::qWait(500);
    QProcess* program = start(gvtest::glimvaneBinary(), {});
    QString window;
    ASSERT_TRUE(waitFor(
        [&] { return !(window = visibleWindows("^Glimvane - ").value(0)).isEmpty(); }, 20000));

    // Go, Add Link (above "Update Links..." and "Edit Links..."), its first item: the
    // browser's page.
    // Keys reach the menu only once its pop-up holds the keyboard: each step waits for the one
    // before it, long enough for a loaded machine.
    runTool("xdotool", {"windowactivate", "--sync", window, "key", "alt+g"});
    QTest::qWait(1000);
    runTool("xdotool", {"key", "--delay", "250", "Up", "Up", "Up", "Right"});
    QTest::qWait(1000);
    runTool("xdotool", {"key", "Return"});
    QTest::qWait(500);
    runTool("xdotool", {"windowactivate", "--sync", window, "key", "alt+F4"});
    EXPECT_TRUE(program->waitForFinished(10000));
    EXPECT_EQ(gvtest::readBytes(gvtest::testFolders().program + "/GVImgwebs.dat"),
              "https://photos.example/album<name>Photos\r\n");
}
