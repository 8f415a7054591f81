// A second start of the real program against a first one, on the test script's X server.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <functional>

#include "platform/Settings.h"
#include "platform/SingleInstance.h"
#include "settings/SettingKeys.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using namespace gv;
using gvtest::visibleWindows;
using gvtest::waitFor;

namespace {

// A figure of the process's memory from /proc (VmRSS now, VmHWM the peak), in KiB.
qint64 memoryKb(qint64 pid, const char* field) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

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
                    const QString& workingFolder = {},
                    const QString& program = gvtest::glimvaneBinary()) {
        auto* p = new QProcess;
        p->setWorkingDirectory(workingFolder);
        // A variable given here replaces the test's own value of it.
        QStringList env = gvtest::childEnvironment(m_trace);
        for (const QString& var : extraEnv) {
            const QString name = var.section('=', 0, 0) + '=';
            env.erase(std::remove_if(env.begin(), env.end(),
                                     [&](const QString& e) { return e.startsWith(name); }),
                      env.end());
            if (var.contains('=')) {
                env << var;
            }
        }
        p->setEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(program, args);
        m_processes << p;
        return p;
    }
    // The other end of the socket, speaking its wire format by hand.
    QProcess* startPeer(const QStringList& args, const QString& program = peerBinary()) {
        auto* p = new QProcess;
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(program, args);
        m_processes << p;
        return p;
    }
    static QString peerBinary() { return QStringLiteral(GLIMVANE_BINARY_DIR "/socketpeer"); }
    static QString socketPath() {
        return gvtest::testFolders().runtime + "/" + kInstanceKey + "_APPLICATION";
    }
    QList<QByteArray> traceByteLines() const {
        QFile f(m_trace);
        return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
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
        EXPECT_TRUE(
            waitFor([this] { return tracedCount("load: shown") == m_shownSoFar + 1; }, 20000));
        ++m_shownSoFar;
        return p;
    }
    QString makeImageFile(const QString& name) {
        const QString path = m_images + "/" + name;
        EXPECT_TRUE(gvtest::writeBytes(path, "BM"));
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
    // Names of files that are not there: one that cannot be read would put up a message,
    // and later hand-overs wait while a question is open.
    for (const QString& name :
         {QStringLiteral("holiday.bmp"), QStringLiteral("été à la mer.bmp")}) {
        const QString path = m_images + "/" + name;
        expectEndsAlone(start({path}), 3000);
        EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + path); }, 5000))
            << name.toStdString();
    }
    // A relative path means the folder it was typed in, not the running instance's folder.
    const QString typed = m_images + "/typed here.bmp";
    expectEndsAlone(start({"typed here.bmp"}, {}, m_images), 3000);
    EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + typed); }, 5000));
    // Only one instance ever loaded.
    EXPECT_EQ(tracedCount("load: marked"), 1);
    EXPECT_TRUE(waitFor([] { return visibleWindows("^Glimvane - Vividra$").size() == 1; }, 5000));
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
    ASSERT_TRUE(gvtest::writeBytes(gvtest::testFolders().program + "/glimvane", {}));
    SaveSetting(keys::kVersionMajor, QString::number(GLIMVANE_VERSION_MAJOR));
    SaveSetting(keys::kVersionMinor, QString::number(GLIMVANE_VERSION_MINOR));
    SaveSetting(keys::kVersionRev, QString::number(GLIMVANE_VERSION_REV));
    start();
    QStringList question;
    ASSERT_TRUE(
        waitFor([&] { return !(question = visibleWindows("^Desktop Icons$")).isEmpty(); }, 20000));

    expectEndsAlone(start(), 3000);
    QTest::qWait(500);
    EXPECT_TRUE(visibleWindows("^Glimvane - Vividra$").isEmpty());
    EXPECT_FALSE(traced("activate"));

    // A key that comes before the box takes keys is lost: pressed again until the box goes.
    gvtest::runTool("xdotool", {"windowactivate", "--sync", question.last()});
    for (int i = 0; i < 10 && visibleWindows("^Desktop Icons$").contains(question.last()); ++i) {
        gvtest::runTool("xdotool", {"key", "--window", question.last(), "n"});
        waitFor([&] { return !visibleWindows("^Desktop Icons$").contains(question.last()); }, 1000);
    }
    EXPECT_TRUE(waitFor([this] { return traced("load: shown"); }, 10000));
    EXPECT_TRUE(waitFor([this] { return traced("activate"); }, 5000));
    EXPECT_EQ(tracedCount("load: marked"), 1);
}

TEST_F(HandOver, AnImageOnTheCommandLineCanOpenStraightInFullScreenAndEndOnTheFirstClick) {
    SaveSetting(keys::kImgFll, "1");
    SaveSetting(keys::kCloseAfter1, "1");
    const QString image = m_images + "/photo.png";
    ASSERT_TRUE(QImage(64, 48, QImage::Format_RGB32).save(image, "PNG"));
    QProcess* p = start({image});
    QStringList viewer;
    ASSERT_TRUE(waitFor([&] { return !(viewer = visibleWindows("^Glimvane$")).isEmpty(); }, 20000));
    EXPECT_TRUE(visibleWindows("^Glimvane - ").isEmpty());
    QTest::qWait(400);  // past the viewer's opening lock
    gvtest::runTool("xdotool",
                    {"mousemove", "--window", viewer.last(), "300", "300", "click", "3"});
    ASSERT_TRUE(p->waitForFinished(5000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_FALSE(traced("load: shown"));
}

TEST_F(HandOver, FullScreenCoversTheMonitorOfTheMainWindow) {
    // Two monitors side by side; the window was last placed on the second.
    const QString screens = gvtest::testFolders().root + "/screens.json";
    ASSERT_TRUE(gvtest::writeBytes(screens, R"({"screens": [
        {"name": "left", "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96},
        {"name": "right", "x": 1280, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96}]})"));
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
    // An open tip window would keep the hidden window hidden.
    SaveSetting(keys::kShowTips, "0");
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
    EXPECT_TRUE(
        waitFor([this] { return traced(QStringLiteral("ProcessCmdLine: ") + QChar(0)); }, 5000));
    EXPECT_TRUE(waitFor([this] { return traced("show: window shown"); }, 5000));
    EXPECT_TRUE(waitFor([] { return visibleWindows("^Glimvane - Vividra$").size() == 1; }, 5000));
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
    EXPECT_TRUE(
        waitFor([this] { return traced("hand-over: waiting for the running instance"); }, 3000));
    EXPECT_EQ(second->state(), QProcess::Running);

    ::kill(pid, SIGCONT);
    expectEndsAlone(second, 5000);
    EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + path); }, 5000));
    const QStringList lines = traceLines();
    EXPECT_LT(lines.indexOf("hand-over: waiting for the running instance"),
              lines.indexOf("load: marked"));
    EXPECT_EQ(tracedCount("load: shown"), 1);
    EXPECT_TRUE(waitFor([] { return visibleWindows("^Glimvane - Vividra$").size() == 1; }, 5000));
}

TEST_F(HandOver, AHandOverThatGetsNoAnswerGivesUpAfterFiveSeconds) {
    InstanceLock lock;
    ASSERT_TRUE(lock.tryAcquire());
    QLocalServer deaf;
    QLocalServer::removeServer(socketPath());
    ASSERT_TRUE(deaf.listen(socketPath()));
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

TEST_F(HandOver, EndedByTheSessionItLeavesNoLockAndSavesItsPlace) {
    const auto placementSaved = [] {
        return SettingExists(QString::fromLatin1(keys::kLeft.application),
                             QString::fromLatin1(keys::kLeft.section),
                             QString::fromLatin1(keys::kLeft.key));
    };
    ASSERT_FALSE(placementSaved());
    for (const int signalNumber : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        QProcess* first = startFirst();
        ::kill(static_cast<pid_t>(first->processId()), signalNumber);
        ASSERT_TRUE(first->waitForFinished(5000));
        EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first->exitCode(), 0);
        EXPECT_TRUE(traced(QStringLiteral("end: signal %1").arg(signalNumber)));
        EXPECT_FALSE(QFile::exists(InstanceLock().filePath()));
        EXPECT_FALSE(QFile::exists(socketPath()));
    }
    // Ending wrote the window's place, as a close by the user does.
    EXPECT_TRUE(placementSaved());
}

TEST_F(HandOver, StartedFromAVolumeRootItSaysSoAndEnds) {
    QProcess* p = start({}, {"GLIMVANE_PROGRAM_DIR=/"});
    QStringList box;
    ASSERT_TRUE(waitFor([&] { return !(box = visibleWindows("^Glimvane$")).isEmpty(); }, 10000));
    gvtest::runTool("xdotool", {"windowactivate", "--sync", box.last()});
    // A key that comes before the box takes keys is lost: pressed again while the box stays.
    for (int i = 0; i < 5 && p->state() != QProcess::NotRunning; ++i) {
        gvtest::runTool("xdotool", {"key", "--window", box.last(), "Return"});
        p->waitForFinished(1000);
    }
    ASSERT_EQ(p->state(), QProcess::NotRunning);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(tracedCount("load: marked"), 0);
}

TEST_F(HandOver,
       AFloodOfHandOversFromParallelSendersIsHandledInOrderAndLeavesTheInstanceAnswering) {
    // A stack of 1 MiB instead of the usual 8: hand-overs taken inside one another would
    // exhaust it within a flood the test can afford.
    QProcess* first =
        start({"-c", "ulimit -s 1024 && exec \"$0\"", gvtest::glimvaneBinary()}, {}, {}, "/bin/sh");
    ASSERT_TRUE(waitFor([this] { return traced("load: shown"); }, 20000));
    ASSERT_TRUE(waitFor([this] { return traced("load: marked"); }, 5000));
    constexpr int kSenders = 8;
    constexpr int kEach = 1500;
    QList<QProcess*> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders << startPeer({"flood", socketPath(), QString::number(kEach),
                              QStringLiteral("/nonexistent/flood-%1-").arg(s)});
    }
    int acknowledged = 0;
    for (QProcess* sender : senders) {
        ASSERT_TRUE(sender->waitForFinished(120000));
        acknowledged += sender->readAllStandardOutput().trimmed().toInt();
    }
    ASSERT_FALSE(first->waitForFinished(200))
        << "the flood ended the running instance (exit status " << first->exitStatus() << ")";
    EXPECT_EQ(acknowledged, kSenders * kEach);
    // Each sender's hand-overs are handled in the order it sent them, the last one included.
    const auto last = [](int s) {
        return QStringLiteral("ProcessCmdLine: /nonexistent/flood-%1-%2").arg(s).arg(kEach - 1);
    };
    EXPECT_TRUE(waitFor(
        [&] {
            for (int s = 0; s < kSenders; ++s) {
                if (!traced(last(s))) {
                    return false;
                }
            }
            return true;
        },
        60000));
    QList<QList<int>> order(kSenders);
    for (const QString& line : traceLines().filter("ProcessCmdLine: /nonexistent/flood-")) {
        const QStringList parts = line.section("flood-", 1).split('-');
        order[parts[0].toInt()] << parts[1].toInt();
    }
    for (int s = 0; s < kSenders; ++s) {
        EXPECT_TRUE(std::is_sorted(order[s].begin(), order[s].end())) << "sender " << s;
    }
    // And the instance still answers a real start.
    const QString path = makeImageFile("after-flood.bmp");
    expectEndsAlone(start({path}), 3000);
    EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + path); }, 10000));
}

TEST_F(HandOver, SendersThatSendTooMuchOrStallHoldNeitherMemoryNorTheInstance) {
    QProcess* first = startFirst();
    ASSERT_TRUE(waitFor([this] { return traced("load: marked"); }, 5000));
    const qint64 pid = first->processId();
    const qint64 peakBefore = memoryKb(pid, "VmHWM:");
    const qint64 before = memoryKb(pid, "VmRSS:");
    ASSERT_GT(before, 0);

    // Hundreds of senders each announcing and sending 1 MB, all at once: each is dropped at
    // its length, before its bytes are read.
    QProcess* big = startPeer({"hog", socketPath(), "256", "1000000", "1000000", "2000"});
    ASSERT_TRUE(big->waitForFinished(60000));
    EXPECT_EQ(big->readAllStandardOutput().trimmed().split('\n').value(1), "closed 256");
    EXPECT_LT(memoryKb(pid, "VmHWM:") - peakBefore, 32 * 1024);
    EXPECT_LT(memoryKb(pid, "VmRSS:") - before, 16 * 1024);

    // A hundred that announce a full-size command line and never finish it: the oldest make
    // room for newer ones, the rest are dropped after 5 s, and a real start gets through.
    QProcess* stalled = startPeer({"hog", socketPath(), "100", "65536", "1000", "7000"});
    ASSERT_TRUE(stalled->waitForReadyRead(20000));
    const QString path = makeImageFile("during.bmp");
    expectEndsAlone(start({path}), 3000);
    EXPECT_TRUE(waitFor([&] { return traced("ProcessCmdLine: " + path); }, 5000));
    ASSERT_TRUE(stalled->waitForFinished(30000));
    EXPECT_EQ(stalled->readAllStandardOutput().trimmed().split('\n').last(), "closed 100");
    EXPECT_EQ(first->state(), QProcess::Running);

    // A command line longer than any the instance takes is not sent at all.
    const QString tooLong = "/" + QString(kMaxHandOverBytes, 'x');
    expectEndsAlone(start({tooLong}), 3000);
    QTest::qWait(300);
    EXPECT_FALSE(traced("ProcessCmdLine: " + tooLong));
    EXPECT_EQ(tracedCount("load: shown"), 1);
}

namespace {

// Another local user (uid 54321) who gets in first: a lock naming a running "glimvane" of
// theirs and a socket that records whatever it is sent, in a temporary folder all users share.
class AnotherUser {
public:
    static constexpr int kUid = 54321;

    AnotherUser() : m_shared(QDir::tempPath() + "/gvshared-XXXXXX") {
        ::chmod(qPrintable(m_shared.path()), 01777);
        // Their own copy of a program named as ours, which the lock then names.
        const QString bin = m_shared.path() + "/bin";
        QDir().mkpath(bin);
        ::chmod(qPrintable(bin), 0755);
        QFile::copy(QStringLiteral(GLIMVANE_BINARY_DIR "/socketpeer"), program());
        ::chmod(qPrintable(program()), 0755);
    }
    QString path(const QString& name) const { return m_shared.path() + "/" + name; }
    QString program() const { return path("bin/glimvane"); }
    // A folder of theirs (owned by them, mode 0700).
    QString folderOfTheirs(const QString& name) const {
        QDir().mkpath(path(name));
        ::chown(qPrintable(path(name)), kUid, kUid);
        ::chmod(qPrintable(path(name)), 0700);
        return path(name);
    }
    QByteArray received() const {
        QFile f(path("received"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_shared;
};

}  // namespace

TEST_F(HandOver, AnotherUserCanNeitherKeepTheProgramFromStartingNorReadItsCommandLine) {
    enum class Runtime { Unset, TheirFolder, OpenFolder, Ours };
    struct Case {
        const char* what;
        Runtime runtime;
        bool plantedInOurFolder;  // their lock and socket inside our own private folder
        bool ourLockHeld;         // and a lock of ours held by a process that is no instance
        bool starts;
    };
    for (const Case c : {
             Case{"no runtime folder", Runtime::Unset, false, false, true},
             Case{"another user's runtime folder", Runtime::TheirFolder, false, false, true},
             Case{"a runtime folder open to all", Runtime::OpenFolder, false, false, true},
             Case{"their lock and socket in our folder", Runtime::Ours, true, false, true},
             Case{"their socket beside our lock", Runtime::Ours, true, true, false},
         }) {
        SCOPED_TRACE(c.what);
        gvtest::emptyTestFolders();
        AnotherUser other;
        // Squatted: the shared folder's "runtime-<user>" that Qt would fall back to, and the
        // lock and socket in the shared folder itself.
        other.folderOfTheirs(QStringLiteral("runtime-") + ::getpwuid(::geteuid())->pw_name);
        const QString theirs = other.path(kInstanceKey);
        QProcess* listener = startPeer(
            {"--uid", QString::number(AnotherUser::kUid), "listen", theirs + "_APPLICATION",
             other.path("received"), theirs + "_APPLICATION_MUTEX"},
            other.program());
        if (!listener->waitForReadyRead(5000)) {
            GTEST_SKIP() << "acting as another user needs root";
        }
        const QString ours = gvtest::testFolders().runtime + "/" + kInstanceKey;
        QStringList env = {"TMPDIR=" + other.path(""), "XDG_CACHE_HOME"};
        if (c.plantedInOurFolder) {
            // Only the superuser could do this (a program run with sudo in our environment).
            for (const char* suffix : {"_APPLICATION", "_APPLICATION_MUTEX"}) {
                ASSERT_EQ(::rename(qPrintable(theirs + suffix), qPrintable(ours + suffix)), 0);
            }
        }
        std::unique_ptr<QLockFile> ourLock;
        if (c.ourLockHeld) {
            QFile::remove(ours + "_APPLICATION_MUTEX");
            ourLock = std::make_unique<QLockFile>(ours + "_APPLICATION_MUTEX");
            ASSERT_TRUE(ourLock->tryLock(0));
        }
        if (c.runtime == Runtime::Unset) {
            env << "XDG_RUNTIME_DIR";
        } else if (c.runtime == Runtime::TheirFolder) {
            env << "XDG_RUNTIME_DIR=" + other.folderOfTheirs("theirs");
        } else if (c.runtime == Runtime::OpenFolder) {
            QDir().mkpath(other.path("open"));
            ::chmod(qPrintable(other.path("open")), 0777);
            env << "XDG_RUNTIME_DIR=" + other.path("open");
        }

        const int shownBefore = tracedCount("load: shown");
        QProcess* p = start({"/nonexistent/secret plans.bmp"}, env);
        if (c.starts) {
            EXPECT_TRUE(
                waitFor([&] { return tracedCount("load: shown") == shownBefore + 1; }, 20000));
            if (c.runtime != Runtime::Ours) {
                // Single all the same, from a private folder of its own.
                EXPECT_TRUE(waitFor([&] { return traced("load: marked"); }, 5000));
                EXPECT_TRUE(QFile::exists(gvtest::testFolders().home + "/.cache/Glimvane/runtime/" +
                                          kInstanceKey + "_APPLICATION"));
            }
        } else {
            expectEndsAlone(p, 3000);
        }
        EXPECT_TRUE(other.received().isEmpty()) << other.received().toStdString();
        p->kill();
        p->waitForFinished(3000);
        listener->kill();
        listener->waitForFinished(3000);
    }
}

TEST_F(HandOver, TheRunningInstanceRefusesAConnectionOfAnotherUser) {
    startFirst();
    ASSERT_TRUE(waitFor([this] { return traced("load: marked"); }, 5000));
    // The socket opened up and reachable from a folder the other user can enter.
    AnotherUser other;
    ASSERT_EQ(::chmod(qPrintable(socketPath()), 0777), 0);
    ASSERT_EQ(::link(qPrintable(socketPath()), qPrintable(other.path("way-in"))), 0);
    QProcess* theirs = startPeer({"--uid", QString::number(AnotherUser::kUid), "send",
                                  other.path("way-in"), "/nonexistent/planted.bmp"},
                                 other.program());
    ASSERT_TRUE(theirs->waitForFinished(10000));
    if (theirs->exitCode() == 77) {
        GTEST_SKIP() << "acting as another user needs root";
    }
    EXPECT_EQ(theirs->exitCode(), 3) << "the other user's connection was answered";
    QTest::qWait(300);
    EXPECT_FALSE(traced("ProcessCmdLine: /nonexistent/planted.bmp"));
    EXPECT_TRUE(traced(QStringLiteral("hand-over: refused a connection of another user (uid %1)")
                           .arg(AnotherUser::kUid)));
}

TEST_F(HandOver, ANameThatIsNotUtf8OpensThatFileNotItsLookAlike) {
    // Beside it a look-alike whose name is the UTF-8 of U+FFFD, which a lossy conversion of
    // the byte 0xFF would open instead.
    const QByteArray folder = QFile::encodeName(m_images);
    const QByteArray name = folder + "/b\xff.jpg";
    const QByteArray lookAlike = folder + "/b\xef\xbf\xbd.jpg";
    // Qt's own clean-up of the test folders cannot remove a name that is not UTF-8.
    struct RemovedAfter {
        QByteArray path;
        ~RemovedAfter() { ::unlink(path.constData()); }
    } const removedAfter{name};
    const auto writeJpeg = [](const QByteArray& path, int width) {
        QBuffer jpeg;
        jpeg.open(QIODevice::WriteOnly);
        QImage(width, 8, QImage::Format_RGB32).save(&jpeg, "JPEG");
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, jpeg.data().constData(), jpeg.size()), jpeg.size());
        ::close(fd);
    };
    // The shell hands the program the byte 0xFF, which Qt's own argument list cannot carry.
    const QStringList viaShell = {"-c", R"sh(exec "$0" "$(printf '%s/b\377.jpg' "$1")")sh",
                                  gvtest::glimvaneBinary(), m_images};
    for (const bool secondStart : {false, true}) {
        SCOPED_TRACE(secondStart ? "handed over" : "own command line");
        gvtest::emptyTestFolders();
        QDir().mkpath(m_images);
        writeJpeg(name, 16);
        writeJpeg(lookAlike, 8);
        QProcess* first = secondStart ? startFirst() : start(viaShell, {}, {}, "/bin/sh");
        if (secondStart) {
            ASSERT_TRUE(waitFor([this] { return traced("load: marked"); }, 5000));
            expectEndsAlone(start(viaShell, {}, {}, "/bin/sh"), 3000);
        }
        EXPECT_TRUE(
            waitFor([&] { return traceByteLines().contains("ProcessCmdLine: " + name); }, 20000));
        EXPECT_TRUE(waitFor([&] { return traceByteLines().contains("shown: " + name); }, 20000));
        EXPECT_FALSE(traceByteLines().contains("shown: " + lookAlike));
        first->kill();
        first->waitForFinished(3000);
        m_shownSoFar = 0;
    }
}
