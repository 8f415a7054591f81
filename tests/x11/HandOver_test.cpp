// A second start of the real program against a first one, on the test script's X server.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <functional>
#include <signal.h>

#include "platform/Settings.h"
#include "platform/SingleInstance.h"
#include "settings/SettingKeys.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using namespace gv;
using gvtest::visibleWindows;
using gvtest::waitFor;

namespace {

class HandOver : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            GTEST_SKIP() << "needs the X server of scripts/test";
        }
        m_trace = gvtest::testFolders().root + "/trace.txt";
        m_images = gvtest::testFolders().home + "/Pictures";
        QDir().mkpath(m_images);
    }
    void TearDown() override {
        for (QProcess* p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(3000);
            }
            delete p;
        }
    }

    QProcess* start(const QStringList& args = {}, const QStringList& extraEnv = {},
                    const QString& workingFolder = {}) {
        auto* p = new QProcess;
        p->setWorkingDirectory(workingFolder);
        p->setEnvironment(gvtest::childEnvironment(m_trace) + extraEnv);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(gvtest::glimvaneBinary(), args);
        m_processes << p;
        return p;
    }
    QStringList traceLines() const {
        QFile f(m_trace);
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    bool traced(const QString& line) const { return traceLines().contains(line); }
    int tracedCount(const QString& line) const { return traceLines().count(line); }

    QProcess* startFirst(const QStringList& extraEnv = {}) {
        QProcess* p = start({}, extraEnv);
        EXPECT_TRUE(waitFor([this] { return tracedCount("load: shown") == m_shownSoFar + 1; },
                            20000));
        ++m_shownSoFar;
        return p;
    }
    QString makeImageFile(const QString& name) {
        const QString path = m_images + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM");
        return path;
    }
    // A second start must end by itself, quickly, without a window of its own.
    void expectEndsAlone(QProcess* second, int withinMs) {
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(second->waitForFinished(withinMs + 2000));
        EXPECT_LT(t.elapsed(), withinMs);
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
    }

    QString m_trace;
    QString m_images;
    QList<QProcess*> m_processes;
    int m_shownSoFar = 0;
};

}  // namespace

TEST_F(HandOver, APathReachesTheRunningInstance) {
    startFirst();
    for (const QString& name :
         {QStringLiteral("holiday.bmp"), QStringLiteral("été à la mer.bmp")}) {
        const QString path = makeImageFile(name);
        expectEndsAlone(start({path}), 3000);
        EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + path); }, 5000))
            << name.toStdString();
    }
    // A relative path means the folder it was typed in, not the running instance's folder.
    const QString typed = makeImageFile("typed here.bmp");
    expectEndsAlone(start({"typed here.bmp"}, {}, m_images), 3000);
    EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + typed); }, 5000));
    // Only one instance ever loaded.
    EXPECT_EQ(tracedCount("load: marked"), 1);
    EXPECT_TRUE(
        waitFor([] { return visibleWindows("^Glimvane - Vividra$").size() == 1; }, 5000));
}

TEST_F(HandOver, AnEmptyStartActivatesAVisibleWindowWithoutHandingOver) {
    startFirst();
    const auto commandLinesBefore = traceLines().filter("ProcessCmdLine:").size();
    expectEndsAlone(start(), 3000);
    EXPECT_TRUE(waitFor([this] { return traced("activate"); }, 5000));
    EXPECT_EQ(traceLines().filter("ProcessCmdLine:").size(), commandLinesBefore);
    EXPECT_EQ(tracedCount("load: marked"), 1);
}

TEST_F(HandOver, ASecondStartDuringTheLoadWaitsForTheWindowToBeReady) {
    // An installed program that has not yet asked about desktop icons asks while it loads.
    QFile program(gvtest::testFolders().program + "/glimvane");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    SaveSetting(keys::kVersionMajor, QString::number(GLIMVANE_VERSION_MAJOR));
    SaveSetting(keys::kVersionMinor, QString::number(GLIMVANE_VERSION_MINOR));
    SaveSetting(keys::kVersionRev, QString::number(GLIMVANE_VERSION_REV));
    start();
    QStringList question;
    ASSERT_TRUE(waitFor(
        [&] { return !(question = visibleWindows("^Desktop Icons$")).isEmpty(); }, 20000));

    expectEndsAlone(start(), 3000);
    QTest::qWait(500);
    EXPECT_TRUE(visibleWindows("^Glimvane - Vividra$").isEmpty());
    EXPECT_FALSE(traced("activate"));

    gvtest::runTool("xdotool", {"windowactivate", "--sync", question.last()});
    gvtest::runTool("xdotool", {"key", "--window", question.last(), "n"});
    EXPECT_TRUE(waitFor([this] { return traced("load: shown"); }, 10000));
    EXPECT_TRUE(waitFor([this] { return traced("activate"); }, 5000));
    EXPECT_EQ(tracedCount("load: marked"), 1);
}

TEST_F(HandOver, AnImageOnTheCommandLineCanOpenStraightInFullScreenAndEndOnTheFirstClick) {
    SaveSetting(keys::kImgFll, "1");
    SaveSetting(keys::kCloseAfter1, "1");
    QFile image(m_images + "/photo.png");
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    QImage(64, 48, QImage::Format_RGB32).save(&image, "PNG");
    image.close();
    QProcess* p = start({image.fileName()});
    QStringList viewer;
    ASSERT_TRUE(waitFor([&] { return !(viewer = visibleWindows("^Glimvane$")).isEmpty(); }, 20000));
    EXPECT_TRUE(visibleWindows("^Glimvane - ").isEmpty());
    QTest::qWait(400);  // past the viewer's opening lock
    gvtest::runTool("xdotool", {"mousemove", "--window", viewer.last(), "300", "300", "click", "3"});
    ASSERT_TRUE(p->waitForFinished(5000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_FALSE(traced("load: shown"));
}

TEST_F(HandOver, FullScreenCoversTheMonitorOfTheMainWindow) {
    // Two monitors side by side; the window was last placed on the second.
    const QString screens = gvtest::testFolders().root + "/screens.json";
    QFile config(screens);
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(R"({"screens": [
        {"name": "left", "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96},
        {"name": "right", "x": 1280, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96}]})");
    config.close();
    SaveSetting(keys::kLeft, QString::number(1400 * 15));
    SaveSetting(keys::kTop, QString::number(100 * 15));
    SaveSetting(keys::kImgFll, "1");
    const QString image = m_images + "/photo.png";
    ASSERT_TRUE(QImage(64, 48, QImage::Format_RGB32).save(image, "PNG"));
    start({image}, {"QT_QPA_PLATFORM=offscreen:configfile=" + screens});
    EXPECT_TRUE(waitFor([this] { return traced("fullscreen: 1280,0 1024x768"); }, 20000))
        << traceLines().filter("fullscreen").join(' ').toStdString();
}

TEST_F(HandOver, AnEmptyStartShowsAWindowHiddenInTheTray) {
    SaveSetting(keys::kSysTrayIcon, "1");
    SaveSetting(keys::kShowMinim, "True");
    startFirst();
    QStringList windows;
    ASSERT_TRUE(waitFor(
        [&] { return (windows = visibleWindows("^Glimvane - Vividra$")).size() == 1; }, 5000));
    gvtest::runTool("xdotool", {"windowminimize", windows[0]});
    if (!waitFor([this] { return traced("tray: window hidden"); }, 5000)) {
        GTEST_SKIP() << "no notification area on this display";
    }
    EXPECT_TRUE(waitFor([] { return visibleWindows("^Glimvane - Vividra$").isEmpty(); }, 5000));

    expectEndsAlone(start(), 3000);
    // The hidden window gets the one NUL byte and comes back.
    EXPECT_TRUE(waitFor(
        [this] { return traced(QStringLiteral("ProcessCmdLine: ") + QChar(0)); }, 5000));
    EXPECT_TRUE(waitFor([this] { return traced("show: window shown"); }, 5000));
    EXPECT_TRUE(
        waitFor([] { return visibleWindows("^Glimvane - Vividra$").size() == 1; }, 5000));
}

TEST_F(HandOver, WithTheLockHeldButNoWindowTheSecondStartEndsSilently) {
    InstanceLock lock;
    ASSERT_TRUE(lock.tryAcquire());
    expectEndsAlone(start({makeImageFile("a.bmp")}), 2000);
    EXPECT_EQ(tracedCount("load: marked"), 0);
}

TEST_F(HandOver, ASecondStartBeforeTheFirstListensWaitsForIt) {
    // The first instance is held between taking the lock and listening, which it does only
    // once its window is on the screen.
    QProcess* first = start();
    const auto pid = static_cast<pid_t>(first->processId());
    QLockFile lockFile(InstanceLock().filePath());
    qint64 owner = 0;
    QElapsedTimer t;
    t.start();
    while (!(lockFile.getLockInfo(&owner, nullptr, nullptr) && owner == pid) &&
           t.elapsed() < 20000) {
        QThread::usleep(200);
    }
    ::kill(pid, SIGSTOP);
    ASSERT_EQ(owner, pid);
    ASSERT_FALSE(traced("load: marked"));

    const QString path = makeImageFile("early.bmp");
    QProcess* second = start({path});
    EXPECT_TRUE(waitFor([this] { return traced("hand-over: waiting for the running instance"); },
                        3000));
    EXPECT_EQ(second->state(), QProcess::Running);

    ::kill(pid, SIGCONT);
    expectEndsAlone(second, 5000);
    EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + path); }, 5000));
    const QStringList lines = traceLines();
    EXPECT_LT(lines.indexOf("hand-over: waiting for the running instance"),
              lines.indexOf("load: marked"));
    EXPECT_EQ(tracedCount("load: shown"), 1);
    EXPECT_TRUE(
        waitFor([] { return visibleWindows("^Glimvane - Vividra$").size() == 1; }, 5000));
}

TEST_F(HandOver, AHandOverThatGetsNoAnswerGivesUpAfterFiveSeconds) {
    InstanceLock lock;
    ASSERT_TRUE(lock.tryAcquire());
    QLocalServer deaf;
    const QString name = instanceFolder() + "/" + kInstanceKey + "_APPLICATION";
    QLocalServer::removeServer(name);
    ASSERT_TRUE(deaf.listen(name));
    QElapsedTimer t;
    t.start();
    QProcess* second = start({makeImageFile("b.bmp")});
    ASSERT_TRUE(second->waitForFinished(12000));
    EXPECT_GE(t.elapsed(), 4900);
    EXPECT_LT(t.elapsed(), 9000);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(tracedCount("load: marked"), 0);
}

TEST_F(HandOver, ALockLeftByACrashedInstanceDoesNotBlockTheNextStart) {
    QProcess* crashed = startFirst();
    ::kill(static_cast<pid_t>(crashed->processId()), SIGKILL);
    crashed->waitForFinished(3000);
    ASSERT_TRUE(QFile::exists(InstanceLock().filePath()));

    startFirst();
    EXPECT_EQ(tracedCount("load: shown"), 2);
    // And the new instance receives hand-overs as usual.
    const QString path = makeImageFile("after-crash.bmp");
    expectEndsAlone(start({path}), 3000);
    EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + path); }, 5000));
}

TEST_F(HandOver, StartedFromAVolumeRootItSaysSoAndEnds) {
    QProcess* p = start({}, {"GLIMVANE_PROGRAM_DIR=/"});
    QStringList box;
    ASSERT_TRUE(
        waitFor([&] { return !(box = visibleWindows("^Glimvane$")).isEmpty(); }, 10000));
    gvtest::runTool("xdotool", {"windowactivate", "--sync", box.last()});
    gvtest::runTool("xdotool", {"key", "--window", box.last(), "Return"});
    ASSERT_TRUE(p->waitForFinished(5000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(tracedCount("load: marked"), 0);
}
