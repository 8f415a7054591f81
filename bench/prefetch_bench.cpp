// Stepping through a folder of large photographs in Best Fit: what decoding costs on the UI
// thread without help, and what taking the picture the cache prefetched costs instead.
// Usage: prefetch_bench [folder for the test files; default a temporary folder]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "images/Decoder.h"
#include "images/PrefetchCache.h"

namespace {

constexpr QSize kPhotoSize(6000, 4000);
constexpr int kPhotos = 6;
constexpr QSize kView(800, 600);
constexpr int kPrefetchLeadMs = 1000;
constexpr int kQuickStepMs = 50;

// Photograph-like content: smooth colour fields with fine detail, different in every file, so
// the encoder has real work and the files have realistic sizes.
QImage makePhoto(QSize size, int seed) {
    QImage image(size, QImage::Format_RGB32);
    const double phase = seed * 0.7;
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double gy = 100 * std::cos(y * 0.004 + phase);
        for (int x = 0; x < size.width(); ++x) {
            const int r = static_cast<int>(128 + 100 * std::sin(x * 0.003 + phase) +
                                           ((x * 7 + y * 13 + seed) % 23));
            const int g = static_cast<int>(128 + gy + ((x * 11 + y * 5) % 19));
            const int b = static_cast<int>(128 + 90 * std::sin((x + y) * 0.002 - phase));
            row[x] = qRgb(r & 0xFF, g & 0xFF, b & 0xFF);
        }
    }
    return image;
}

struct Figures {
    std::vector<double> ms;
    int misses = 0;
};

double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

void report(const char* what, const Figures& f) {
    const auto [lo, hi] = std::minmax_element(f.ms.begin(), f.ms.end());
    std::printf("%-52s median %9.3f ms   min %9.3f   max %9.3f   (%zu runs", what, median(f.ms),
                f.ms.empty() ? 0.0 : *lo, f.ms.empty() ? 0.0 : *hi, f.ms.size());
    if (f.misses > 0) {
        std::printf(", %d misses", f.misses);
    }
    std::printf(")\n");
    std::fflush(stdout);
}

double timeMs(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// The window's order of steps: forward through the folder, then back.
std::vector<int> walk() {
    std::vector<int> order;
    for (int i = 0; i < kPhotos; ++i) {
        order.push_back(i);
    }
    for (int i = kPhotos - 2; i >= 0; --i) {
        order.push_back(i);
    }
    return order;
}

// Walks the folder as the window does: after showing a file it asks for the neighbours, the
// one in the walking direction first; leadMs later the user steps on and the time of take()
// for the next file is recorded, with the Best Fit rendering when withRender is set.
Figures stepThrough(const QStringList& files, int leadMs, bool withRender, qint64* peakBytes) {
    gv::PrefetchCache cache;
    Figures f;
    const std::vector<int> order = walk();
    for (std::size_t s = 0; s + 1 < order.size(); ++s) {
        const int shown = order[s];
        const int next = order[s + 1];
        const int other = 2 * shown - next;
        QStringList wish = {files[next]};
        if (other >= 0 && other < files.size()) {
            wish << files[other];
        }
        cache.prefetch(wish, kView);
        // The user looks at the picture; the UI thread keeps serving events meanwhile.
        QEventLoop loop;
        QTimer::singleShot(leadMs, &loop, &QEventLoop::quit);
        loop.exec();
        *peakBytes = std::max(*peakBytes, cache.bytesInUse());
        std::optional<gv::Picture> picture;
        f.ms.push_back(timeMs([&] {
            picture = cache.take(files[next], kView);
            if (picture && withRender) {
                const QSize fitted = picture->sizePixels().scaled(kView, Qt::KeepAspectRatio);
                const QImage shownImage = picture->render(fitted);
                if (shownImage.isNull()) {
                    picture.reset();
                }
            }
        }));
        f.misses += picture ? 0 : 1;
    }
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    QDir().mkpath(folder);

    QStringList files;
    qint64 bytesOnDisk = 0;
    for (int i = 0; i < kPhotos; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("photo-%1.jpg").arg(i));
        QImageWriter writer(path, "jpeg");
        writer.setQuality(90);
        if (!writer.write(makePhoto(kPhotoSize, i))) {
            std::fprintf(stderr, "prefetch_bench: cannot write %s\n", qPrintable(path));
            return 1;
        }
        files << path;
        bytesOnDisk += QFileInfo(path).size();
    }
    std::printf("%d JPEGs of %dx%d, quality 90, %.1f MB each on average; view %dx%d\n", kPhotos,
                kPhotoSize.width(), kPhotoSize.height(), bytesOnDisk / 1e6 / kPhotos, kView.width(),
                kView.height());

    Figures plain;
    for (const QString& path : files) {
        plain.ms.push_back(timeMs([&] {
            QImageReader reader(path);
            plain.misses += reader.read().isNull() ? 1 : 0;
        }));
    }
    report("QImageReader, full decode", plain);

    Figures fitted;
    for (const QString& path : files) {
        gv::DecodeRequest request;
        request.fitInto = kView;
        fitted.ms.push_back(
            timeMs([&] { fitted.misses += gv::DecodeImageFile(path, request).ok() ? 0 : 1; }));
    }
    report("DecodeImageFile fitted to the view", fitted);

    qint64 peak = 0;
    report("take() of the next file, prefetched 1 s earlier",
           stepThrough(files, kPrefetchLeadMs, false, &peak));
    report("take() and Best Fit render, prefetched 1 s earlier",
           stepThrough(files, kPrefetchLeadMs, true, &peak));
    // Stepping faster than the decoder: take() waits for the decode under way.
    report("take() of the next file, prefetched 50 ms earlier",
           stepThrough(files, kQuickStepMs, false, &peak));
    std::printf("largest memory held by the cache: %.1f MB of %.0f MB\n", peak / 1e6,
                gv::PrefetchCache::kDefaultBudget / 1e6);
    return 0;
}
