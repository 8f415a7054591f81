// The real program's clipboard against another X client (xclip), and the wallpaper read back
// from the root window of the test script's X server.

#include <gtest/gtest.h>

#include <signal.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using gvtest::runTool;
using gvtest::visibleWindows;
using gvtest::waitFor;

namespace {

class DesktopExchange : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            GTEST_SKIP() << "needs the X server of scripts/test";
        }
        m_image = gvtest::testFolders().home + "/Pictures/pic.png";
        QDir().mkpath(gvtest::testFolders().home + "/Pictures");
        ASSERT_TRUE(gvtest::writePng(m_image, gvtest::quadrantImage({64, 48})));
        // No desktop's own wallpaper tool: the root window is painted.
        m_program = start(gvtest::glimvaneBinary(), {m_image}, {"XDG_CURRENT_DESKTOP="});
        ASSERT_TRUE(waitFor([this] { return !(m_window = window("pic.png")).isEmpty(); }, 20000));
    }
    void TearDown() override {
        for (QProcess* p : m_processes) {
            p->kill();
            p->waitForFinished(3000);
            delete p;
        }
    }
    QProcess* start(const QString& program, const QStringList& args, const QStringList& env = {}) {
        auto* p = new QProcess;
        p->setEnvironment(gvtest::childEnvironment() + env);
        p->start(program, args);
        m_processes << p;
        return p;
    }
    static QString window(const QString& shown) {
        return visibleWindows("^Glimvane - " + QRegularExpression::escape(shown) + "$").value(0);
    }
    void key(const QString& keys) {
        runTool("xdotool", {"windowactivate", "--sync", m_window, "key", "--clearmodifiers", keys});
    }
    static QByteArray clipboard(const QString& target) {
        QProcess p;
        p.start("xclip", {"-selection", "clipboard", "-t", target, "-o"});
        p.waitForFinished(5000);
        return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
    }

    QString m_image;
    QString m_window;
    QProcess* m_program = nullptr;
    QList<QProcess*> m_processes;
};

QImage rootWindow() {
    QProcess p;
    p.start("import", {"-window", "root", "png:-"});
    p.waitForFinished(10000);
    return QImage::fromData(p.readAllStandardOutput(), "PNG");
}

}  // namespace

TEST_F(DesktopExchange, CopyPasteAndClearWithAnotherProgram) {
    key("ctrl+c");
    QImage copied;
    ASSERT_TRUE(waitFor(
        [&] { return !(copied = QImage::fromData(clipboard("image/png"))).isNull(); }, 5000));
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
              gvtest::quadrantImage({64, 48}).convertToFormat(QImage::Format_RGB32));

    // Another program's picture pastes as an unsaved image.
    const QString other = gvtest::testFolders().root + "/other.png";
    ASSERT_TRUE(gvtest::writePng(other, QImage(QSize(30, 20), QImage::Format_RGB32)));
    start("xclip", {"-quiet", "-selection", "clipboard", "-t", "image/png", "-i", other});
    ASSERT_TRUE(waitFor([] { return !clipboard("TARGETS").isEmpty(); }, 5000));
    key("ctrl+v");
    EXPECT_TRUE(waitFor([] { return !window("Unsaved Image").isEmpty(); }, 5000));

    key("ctrl+c");
    ASSERT_TRUE(waitFor(
        [&] { return QImage::fromData(clipboard("image/png")).size() == QSize(30, 20); }, 5000));
    key("ctrl+w");
    EXPECT_TRUE(waitFor([] { return clipboard("image/png").isEmpty(); }, 5000));
}

TEST_F(DesktopExchange, AnUnsavedImageIsKeptWhenTheSessionEnds) {
    const QString other = gvtest::testFolders().root + "/pasted.png";
    ASSERT_TRUE(gvtest::writePng(other, gvtest::quadrantImage({30, 20})));
    start("xclip", {"-quiet", "-selection", "clipboard", "-t", "image/png", "-i", other});
    ASSERT_TRUE(waitFor([] { return !clipboard("TARGETS").isEmpty(); }, 5000));
    key("ctrl+v");
    ASSERT_TRUE(waitFor([] { return !window("Unsaved Image").isEmpty(); }, 5000));

    ::kill(static_cast<pid_t>(m_program->processId()), SIGTERM);
    ASSERT_TRUE(m_program->waitForFinished(5000));
    EXPECT_EQ(m_program->exitCode(), 0);
    const QDir pictures(gvtest::testFolders().home + "/Pictures");
    const QStringList kept = pictures.entryList({"Glimvane unsaved image *.png"});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(QImage(pictures.filePath(kept[0])).convertToFormat(QImage::Format_RGB32),
              gvtest::quadrantImage({30, 20}).convertToFormat(QImage::Format_RGB32));
}

TEST_F(DesktopExchange, WallpaperCentredAndTiledOnTheRootWindow) {
    const QImage picture = gvtest::quadrantImage({64, 48});
    const QString bitmap = gvtest::testFolders().data + "/Glimvane/GVWallpaper.bmp";
    key("F11");
    ASSERT_TRUE(waitFor([&] { return QFile::exists(bitmap); }, 5000));
    EXPECT_EQ(QImage(bitmap, "BMP").size(), picture.size());
    ASSERT_TRUE(waitFor(
        [] {
            return runTool("xprop", {"-root", "_XROOTPMAP_ID"}).contains("#");
        },
        5000));
    m_program->kill();
    m_program->waitForFinished(3000);
    QImage root;
    ASSERT_TRUE(waitFor([&] { return (root = rootWindow()).pixel(0, 0) == qRgb(0, 0, 0); }, 5000));
    const QPoint topLeft((root.width() - 64) / 2, (root.height() - 48) / 2);
    EXPECT_EQ(root.pixel(topLeft + QPoint(1, 1)), picture.pixel(1, 1));
    EXPECT_EQ(root.pixel(topLeft + QPoint(62, 46)), picture.pixel(62, 46));

    m_program = start(gvtest::glimvaneBinary(), {m_image}, {"XDG_CURRENT_DESKTOP="});
    ASSERT_TRUE(waitFor([this] { return !(m_window = window("pic.png")).isEmpty(); }, 20000));
    key("F12");
    QTest::qWait(500);
    m_program->kill();
    m_program->waitForFinished(3000);
    ASSERT_TRUE(
        waitFor([&] { return (root = rootWindow()).pixel(1, 1) == picture.pixel(1, 1); }, 5000));
    EXPECT_EQ(root.pixel(64 * 10 + 1, 48 * 12 + 1), picture.pixel(1, 1));
    EXPECT_EQ(root.pixel(64 * 10 + 62, 48 * 12 + 46), picture.pixel(62, 46));
}
