// The fonts the real program draws its window with, on the test script's X server.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

namespace {

// The font files a process has open (FreeType maps each face's file).
QStringList fontFilesOf(qint64 pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList files;
    const QRegularExpression font(QStringLiteral("(/\\S+\\.(?:ttf|otf|t1|pfb|pfa))$"));
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QRegularExpressionMatch m = font.match(QString::fromUtf8(line));
        if (m.hasMatch() && !files.contains(m.captured(1))) {
            files << m.captured(1);
        }
    }
    return files;
}

}  // namespace

// Type 1 fonts are slow to load and the desktop's toolkits pass them over: the window's text,
// the sans-serif faces that have both kinds included, comes from OpenType and TrueType files.
TEST(Fonts, TheWindowIsDrawnWithoutTypeOneFonts) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs the X server of scripts/test";
    }
    const QString trace = gvtest::testFolders().root + "/fonts-trace.txt";
    QProcess p;
    p.setEnvironment(gvtest::childEnvironment(trace));
    p.start(gvtest::glimvaneBinary(), {});
    ASSERT_TRUE(gvtest::waitFor(
        [&] {
            QFile f(trace);
            return f.open(QIODevice::ReadOnly) && f.readAll().contains("load: shown");
        },
        20000));
    QStringList fonts;
    gvtest::waitFor([&] { return !(fonts = fontFilesOf(p.processId())).isEmpty(); }, 5000);
    p.kill();
    p.waitForFinished(3000);
    ASSERT_FALSE(fonts.isEmpty());
    for (const QString& file : fonts) {
        EXPECT_FALSE(file.endsWith(".t1") || file.endsWith(".pfb") || file.endsWith(".pfa"))
            << file.toStdString();
    }
}
