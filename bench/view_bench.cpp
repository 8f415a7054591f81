// Showing a 6000x4000 JPEG in the main window (offscreen), compared in the same run with a
// plain full decode of the same file.
//   view_bench compare [runs]   Best Fit and Actual Size against QImageReader
//   view_bench write PATH [WxH] writes the test image (6000x4000 unless given)
//   view_bench folder DIR N     fills DIR with N image files named as people name them
//   view_bench memory PATH      peak resident memory while showing that image in Best Fit

#include <sys/resource.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include "BenchFolders.h"
#include "widgets/FileListBox.h"

#include "mainwindow/frmGlimvane.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "widgets/ImageBox.h"

namespace {

// Photo-like content: smooth colour fields with fine detail, so the JPEG is not trivially small.
QImage photoLike(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double fx = x / 300.0, fy = y / 250.0;
            const int r = 128 + int(90 * std::sin(fx + 0.5 * fy)) + ((x * 7 + y * 13) % 23);
            const int g = 128 + int(80 * std::cos(fy * 1.3 - fx * 0.4)) + ((x * 11 + y * 5) % 19);
            const int b = 128 + int(70 * std::sin((fx + fy) * 0.7)) + ((x * 3 + y * 17) % 29);
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return img;
}

double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A window whose image view is 800 x 600 pixels.
std::unique_ptr<gv::frmGlimvane> windowWithView800x600() {
    auto w = std::make_unique<gv::frmGlimvane>();
    w->Load();
    for (int i = 0; i < 3; ++i) {
        const QSize view = w->Picture1->size();
        w->resize(w->size() + QSize(800, 600) - view);
        QCoreApplication::processEvents();
    }
    return w;
}

// From the load of the selected file to the painted view.
double showOnce(const QString& folder, const QString& name, bool bestFit) {
    gv::resetAppState();
    gv::SaveSetting(gv::keys::kImageSize, bestFit ? "Stretch" : "Normal");
    gv::SaveSetting(gv::keys::kStartDir, folder);
    auto w = windowWithView800x600();
    gv::appState().SuppressFileClick = true;
    w->File1->setCurrentRow(w->File1->rowOf(name));
    gv::appState().SuppressFileClick = false;
    QElapsedTimer t;
    t.start();
    w->LoadAndShowImage();
    const QPixmap painted = w->Picture1->grab();
    const double ms = t.nsecsElapsed() / 1e6;
    if (painted.isNull()) {
        std::fprintf(stderr, "nothing painted\n");
    }
    return ms;
}

double plainDecode(const QString& path) {
    QElapsedTimer t;
    t.start();
    QImageReader reader(path);
    reader.setAllocationLimit(0);
    const QImage img = reader.read();
    const double ms = t.nsecsElapsed() / 1e6;
    if (img.isNull()) {
        std::fprintf(stderr, "plain decode failed\n");
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("compare");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    auto writeTestImage = [](const QString& path, QSize size = QSize(6000, 4000)) {
        QImageWriter writer(path, "jpeg");
        writer.setQuality(90);
        return writer.write(photoLike(size));
    };
    if (mode == QStringLiteral("write") && argc > 2) {
        QSize size(6000, 4000);
        if (argc > 3) {
            const QStringList wh = QString::fromLatin1(argv[3]).split(QLatin1Char('x'));
            size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        }
        return writeTestImage(QString::fromLocal8Bit(argv[2]), size) ? 0 : 1;
    }
    if (mode == QStringLiteral("folder") && argc > 3) {
        gvbench::makeFolder(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), 1);
        return 0;
    }
    if (mode == QStringLiteral("memory") && argc > 2) {
        // A process of its own, which never held the full-size source image.
        const QFileInfo file(QString::fromLocal8Bit(argv[2]));
        showOnce(file.absolutePath(), file.fileName(), true);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf(
            "view: peak resident memory showing the image in Best Fit: %.1f MB "
            "(target <= 110)\n",
            usage.ru_maxrss / 1024.0);
        return 0;
    }

    QTemporaryDir dir;
    const QString name = QStringLiteral("big.jpg");
    const QString path = dir.path() + QLatin1Char('/') + name;
    writeTestImage(path);

    std::vector<double> plain, fit, actual;
    plainDecode(path);  // warm the page cache
    for (int i = 0; i < runs; ++i) {
        plain.push_back(plainDecode(path));
        fit.push_back(showOnce(dir.path(), name, true));
        actual.push_back(showOnce(dir.path(), name, false));
    }
    const double p = medianOf(plain), f = medianOf(fit), a = medianOf(actual);
    std::printf(
        "view: plain full decode %.1f ms; Best Fit shown %.1f ms (%.2f x, target <= 0.60); "
        "Actual Size shown %.1f ms (%.2f x, target <= 1.20); medians of %d\n",
        p, f, f / p, a, a / p, runs);
    return 0;
}
