// The full-screen viewer over a folder of 6000x4000 JPEGs (all the same picture under other
// names): opening it over the shown picture, the next picture after a one-second look, and
// 200 pictures stepped through at ten clicks a second.
//   fullscreen_bench FOLDER_WITH_JPEGS [steps]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "fullscreen/frmFullscn.h"
#include "images/PrefetchCache.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Peak resident memory of this process, in MB.
double peakMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}

void click(gv::frmFullscn& viewer, Qt::MouseButton button) {
    QTest::mousePress(viewer.Picture1, button, {}, QPoint(3, 3));
    QTest::mouseRelease(viewer.Picture1, button, {}, QPoint(3, 3));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [steps]\n", argv[0]);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int steps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    gv::SaveSetting(gv::keys::kStartDir, folder);
    gv::SaveSetting(gv::keys::kImageSize, QStringLiteral("Normal"));

    gv::frmGlimvane w;
    w.Load();
    w.resize(1000, 700);
    w.Toolbar[1]->click();  // the first picture, in the main window
    w.Picture1->grab();
    if (w.File1->count() < steps + 2) {
        std::fprintf(stderr, "the folder needs more pictures than steps\n");
        return 2;
    }

    // Opening: the main window's picture on the whole screen, to the first frame.
    std::vector<double> opens;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        auto viewer = w.makeFullScreen();
        viewer->show();
        viewer->grab();
        opens.push_back(t.nsecsElapsed() / 1e6);
    }

    // Looking at each picture for a second, then the next.
    auto viewer = w.makeFullScreen();
    viewer->show();
    QTest::qWait(400);  // past the opening lock
    std::vector<double> nexts;
    for (int i = 0; i < steps; ++i) {
        QTest::qWait(1000);
        const int before = viewer->loadsRun();
        QElapsedTimer t;
        t.start();
        click(*viewer, Qt::RightButton);
        while (viewer->loadsRun() == before) {
            QCoreApplication::processEvents();
        }
        viewer->grab();
        nexts.push_back(t.nsecsElapsed() / 1e6);
    }
    viewer.reset();

    // Ten clicks a second through the rest of the folder.
    viewer = w.makeFullScreen();
    viewer->show();
    QTest::qWait(400);
    const int clicks = std::min(200, int(w.File1->count()) - 1);
    qint64 cacheMax = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < clicks; ++i) {
        click(*viewer, Qt::RightButton);
        while (clock.elapsed() < (i + 1) * 100) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            cacheMax = std::max(cacheMax, w.prefetchCache()->bytesInUse());
        }
    }
    QTest::qWait(500);
    std::printf(
        "fullscreen: opening over the shown 6000x4000 picture: median %.1f ms "
        "(target <= 30)\n",
        median(opens));
    std::printf(
        "fullscreen: next picture painted after a 1 s look: median %.1f ms "
        "(target <= 50), max %.1f, %d steps\n",
        median(nexts), *std::max_element(nexts.begin(), nexts.end()), steps);
    std::printf(
        "fullscreen: %d clicks at 10 a second: %d loads, cache at most %.0f MB of "
        "%.0f MB, peak memory %.0f MB\n",
        clicks, viewer->loadsRun(), cacheMax / 1048576.0, w.prefetchCache()->budget() / 1048576.0,
        peakMb());
    return 0;
}
