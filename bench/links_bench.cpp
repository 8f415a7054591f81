// Opening the Go menu and its two site lists with 1000 sites in each, and Copy of a 24 MP
// picture to the clipboard: the time, and the memory the copy adds.
//   links_bench [repetitions]     (run with its own program folder, see bench/run)

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "images/Picture.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Paths.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long residentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

void writeSites(const QString& name, const char* host) {
    QFile f(gv::joinPath(gv::programFolder(), name));
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < 1000; ++i) {
        f.write(QStringLiteral("https://%1%2.example/gallery<name>%1 gallery number %2\r\n")
                    .arg(QLatin1String(host))
                    .arg(i)
                    .toUtf8());
    }
}

}  // namespace

int main(int argc, char** argv) {
    // On the X server when there is one: the real clipboard and menus.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    writeSites(QStringLiteral("GVImgwebs.dat"), "mine");
    writeSites(QStringLiteral("GVSetwebs.dat"), "vividra");
    gv::frmGlimvane w;
    w.Load();
    w.show();
    QCoreApplication::processEvents();

    std::vector<double> go;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer t;
        t.start();
        w.mnuGoItem->popup(QPoint(10, 10));
        w.mnuImgsites->popup(QPoint(200, 10));
        w.mnuMyWeb->popup(QPoint(400, 10));
        QCoreApplication::processEvents();
        go.push_back(t.nsecsElapsed() / 1e6);
        w.mnuMyWeb->hide();
        w.mnuImgsites->hide();
        w.mnuGoItem->hide();
        QCoreApplication::processEvents();
    }
    std::printf("links: Go menu opened with its two lists of %d sites: median %.1f ms "
                "(target <= 50), max %.1f\n",
                int(w.mnuImgWebs.size()), median(go), *std::max_element(go.begin(), go.end()));

    QImage raster(6000, 4000, QImage::Format_RGB32);
    raster.fill(Qt::darkCyan);
    w.LoadAndShowImage(gv::Picture::fromRaster(raster));
    raster = QImage();
    QCoreApplication::processEvents();
    std::vector<double> copy;
    long added = 0;
    for (int i = 0; i < repetitions; ++i) {
        const long before = residentKb();
        QElapsedTimer t;
        t.start();
        w.mnuCopy->trigger();
        copy.push_back(t.nsecsElapsed() / 1e6);
        added = std::max(added, residentKb() - before);
    }
    std::printf("links: Copy of a 6000x4000 picture to the clipboard: median %.1f ms "
                "(target <= 150), max %.1f; memory added at most %ld KB (a second copy would "
                "be %d KB)\n",
                median(copy), *std::max_element(copy.begin(), copy.end()), added,
                6000 * 4000 * 4 / 1024);
    return 0;
}
