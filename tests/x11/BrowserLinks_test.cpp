// "Add Link" against a browser window on the test script's X server: the page's title from
// the window manager's list, its address read through a real accessibility bus.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
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
    gvtest::SessionProcesses session;
    ASSERT_TRUE(session.busReady());
    // The accessibility bus runs before the programs start, as on a desktop session.
    QProcess* launch =
        session.start("dbus-send", {"--session", "--print-reply", "--dest=org.a11y.Bus",
                                    "/org/a11y/bus", "org.a11y.Bus.GetAddress"});
    ASSERT_TRUE(launch->waitForFinished(10000));
    ASSERT_EQ(launch->exitCode(), 0);
    session.start(GLIMVANE_BINARY_DIR "/fakebrowser",
                  {"Photos - Mozilla Firefox", "https://photos.example/album"});
    ASSERT_TRUE(waitFor([] { return !visibleWindows("Mozilla Firefox$").isEmpty(); }, 10000));
    QTest::qWait(500);
    QProcess* program = session.start(gvtest::glimvaneBinary(), {});
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
    bool ended = program->waitForFinished(5000);
    if (!ended) {
        // On a loaded machine the menu can still hold the keyboard when Alt+F4 comes: it then
        // closes the menu, and the window needs it again.
        runTool("xdotool", {"key", "Escape", "Escape"});
        runTool("xdotool", {"windowactivate", "--sync", window, "key", "alt+F4"});
        ended = program->waitForFinished(10000);
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(gvtest::readBytes(gvtest::testFolders().program + "/GVImgwebs.dat"),
              "https://photos.example/album<name>Photos\r\n");
}
