// Navigate Forward through a folder of 6000x4000 JPEGs in Best Fit (800x600 view), pausing
// one second between steps as a person looking at each image would: the time from the
// command to the painted view, with the neighbours decoded ahead meanwhile.
//   navigate_bench FOLDER_WITH_JPEGS [steps]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

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
    gv::SaveSetting(gv::keys::kImageSize, QStringLiteral("Stretch"));

    gv::frmGlimvane w;
    w.Load();
    for (int i = 0; i < 3; ++i) {
        w.resize(w.size() + QSize(800, 600) - w.Picture1->size());
        QCoreApplication::processEvents();
    }
    if (w.File1->count() < 2) {
        std::fprintf(stderr, "the folder needs at least two images\n");
        return 2;
    }
    w.Toolbar[1]->click();  // the first image
    w.Picture1->grab();

    std::vector<double> times;
    for (int i = 0; i < steps; ++i) {
        QTest::qWait(1000);
        QElapsedTimer t;
        t.start();
        w.Toolbar[1]->click();
        w.Picture1->grab();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "navigate: next image painted in Best Fit after a 1 s look: median %.1f ms "
        "(target <= 50), min %.1f, max %.1f, %d steps over %d files\n",
        times[times.size() / 2], times.front(), times.back(), steps, int(w.File1->count()));
    return 0;
}
