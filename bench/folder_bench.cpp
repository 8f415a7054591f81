// Changing the main window's folder to one of 100 000 (and 10 000) image files: the file list
// filled, filtered and sorted, against a bare directory read of the same folder in the same run;
// then a Fileseek search over that list, as the window runs it, until its results are painted;
// and the longest the window keeps the user waiting in the seconds after the change.
//   folder_bench [runs]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>

#include <dirent.h>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchFolders.h"
#include "widgets/FileListBox.h"
#include "mainwindow/frmGlimvane.h"

namespace {

double bareRead(const QString& path) {
    QElapsedTimer t;
    t.start();
    DIR* dir = opendir(QFile::encodeName(path).constData());
    long n = 0;
    while (dirent* e = readdir(dir)) {
        n += e->d_name[0] != 0;
    }
    closedir(dir);
    return t.nsecsElapsed() / 1e6 + (n < 0 ? 1 : 0);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir root;
    const QString big = root.path() + QStringLiteral("/big");
    const QString small = root.path() + QStringLiteral("/small");
    const QString empty = root.path() + QStringLiteral("/empty");
    gvbench::makeFolder(big, 100000, 1);
    gvbench::makeFolder(small, 10000, 2);
    QDir().mkpath(empty);

    gv::frmGlimvane w;
    w.Load();
    w.setFilePattern(w.SetPattern());
    std::vector<double> bare, filled, filledSmall, seek;
    int found = 0;
    int listed = 0;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(bareRead(big));
        w.setCurrentFolder(empty);
        QElapsedTimer t;
        t.start();
        w.setCurrentFolder(big);
        filled.push_back(t.nsecsElapsed() / 1e6);
        listed = w.File1->count();
        w.List1->clear();
        t.restart();
        w.RunFileseek(QStringLiteral("bea"), w.List1);
        // Until the results are laid out and painted, as the user sees them.
        w.List1->repaint();
        QCoreApplication::processEvents();
        seek.push_back(t.nsecsElapsed() / 1e6);
        found = w.List1->count();
        w.setCurrentFolder(empty);
        t.restart();
        w.setCurrentFolder(small);
        filledSmall.push_back(t.nsecsElapsed() / 1e6);
    }
    // Responsiveness: the longest the event loop waits in the 3 s after the change, while the
    // folder tree reads the new folder in the background.
    w.setCurrentFolder(empty);
    w.setCurrentFolder(big);
    QElapsedTimer watch;
    watch.start();
    qint64 last = 0;
    qint64 worst = 0;
    while (watch.elapsed() < 3000) {
        QCoreApplication::processEvents();
        const qint64 now = watch.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    }
    const double b = median(bare), f = median(filled), s = median(filledSmall);
    std::printf(
        "folder: bare readdir of 100000 files %.1f ms; file list filled %.1f ms (%.2f x, "
        "target <= 2.00, %d image files listed); 10000 files %.1f ms (target < 50); "
        "medians of %d; the first change after start %.1f ms (%.2f x)\n",
        b, f, f / b, listed, s, runs, filled.front(), filled.front() / bare.front());
    std::printf("fileseek: \"bea\" over the %d listed names, %d results listed: %.1f ms (target < 20), "
                "median of %d\n",
                listed, found, median(seek), runs);
    std::printf("responsive: the longest wait of the event loop in the 3 s after the change: %.1f ms\n",
                worst / 1e6);
    return 0;
}
