// Decoding speed of a large JPEG: Qt's reader alone, our full decode, our reduced decode for a
// window-sized box (what Best Fit asks for), and the JPEG held as its planes: decoding them,
// making a full-HD view's worth of pixels from them (one paint at 1:1), and turning them into
// the whole raster (the first zoom or save). Then a large PNG, opaque and with alpha, through
// Qt's reader and through our decode.

#include <benchmark/benchmark.h>

#include <QColorSpace>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>

#include "images/Decoder.h"
#include "images/JpegPlanes.h"

namespace {

QString g_jpeg;
QString g_png;
QString g_pngAlpha;
QByteArray g_jpegBytes;
// The same JPEG with zero bytes before its end marker, as many cameras write them.
QString g_padded;
// The same JPEG with an Adobe RGB profile, shown converted to sRGB.
QString g_adobe;

// A photograph-like picture: smooth colour fields with fine detail, so the encoder has real
// work to do and the file has a realistic size.
QImage makePicture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int r =
                static_cast<int>(128 + 100 * std::sin(x * 0.003) + ((x * 7 + y * 13) % 23));
            const int g =
                static_cast<int>(128 + 100 * std::cos(y * 0.004) + ((x * 11 + y * 5) % 19));
            const int b = static_cast<int>(128 + 90 * std::sin((x + y) * 0.002));
            row[x] = qRgb(r & 0xFF, g & 0xFF, b & 0xFF);
        }
    }
    return image;
}

void report(benchmark::State& state, const QImage& image) {
    state.counters["raster_MB"] = image.sizeInBytes() / (1024.0 * 1024.0);
}

void BM_QImageReaderFull(benchmark::State& state) {
    QImage image;
    for (auto _ : state) {
        QImageReader reader(g_jpeg);
        image = reader.read();
        benchmark::DoNotOptimize(image);
    }
    report(state, image);
}

gv::DecodeRequest request(QSize fitInto = {}) {
    gv::DecodeRequest r;
    r.dpi = 96;
    r.fitInto = fitInto;
    return r;
}

void BM_DecodeImageFileFull(benchmark::State& state) {
    QImage image;
    for (auto _ : state) {
        const gv::DecodeResult result = gv::DecodeImageFile(g_jpeg, request());
        if (!result.ok()) {
            state.SkipWithError(qPrintable(result.error().description));
            return;
        }
        image = result.picture().raster();
        benchmark::DoNotOptimize(image);
    }
    report(state, image);
}

void BM_DecodeImageFileFit800x600(benchmark::State& state) {
    QImage image;
    for (auto _ : state) {
        const gv::DecodeResult result = gv::DecodeImageFile(g_jpeg, request(QSize(800, 600)));
        if (!result.ok()) {
            state.SkipWithError(qPrintable(result.error().description));
            return;
        }
        image = result.picture().raster();
        benchmark::DoNotOptimize(image);
    }
    report(state, image);
}

void BM_PlanesDecode(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<gv::JpegPlanes> planes = gv::JpegPlanes::decode(g_jpegBytes);
        if (!planes) {
            state.SkipWithError("not decoded as planes");
            return;
        }
        state.counters["planes_MB"] = planes->bytes() / (1024.0 * 1024.0);
    }
}

void BM_PlanesRegion1920x1080(benchmark::State& state) {
    const std::unique_ptr<gv::JpegPlanes> planes = gv::JpegPlanes::decode(g_jpegBytes);
    for (auto _ : state) {
        QImage part = planes->region(QRect(2001, 1501, 1920, 1080));
        benchmark::DoNotOptimize(part);
    }
}

void BM_PlanesToRgb888(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<gv::JpegPlanes> planes = gv::JpegPlanes::decode(g_jpegBytes);
        state.ResumeTiming();
        QImage image = gv::JpegPlanes::toRgb888(planes);
        benchmark::DoNotOptimize(image);
    }
}

void BM_QImageReaderPng(benchmark::State& state, const QString* path) {
    QImage image;
    for (auto _ : state) {
        QImageReader reader(*path);
        image = reader.read();
        benchmark::DoNotOptimize(image);
    }
    report(state, image);
}

void BM_DecodeImageFilePng(benchmark::State& state, const QString* path) {
    QImage image;
    for (auto _ : state) {
        const gv::DecodeResult result = gv::DecodeImageFile(*path, request());
        if (!result.ok()) {
            state.SkipWithError(qPrintable(result.error().description));
            return;
        }
        image = result.picture().raster();
        benchmark::DoNotOptimize(image);
    }
    report(state, image);
}

// Opening the JPEG at 1:1 in an 800x600 view: the top-left part, then the rest on the worker,
// for the file as written (0) and with padding before its end marker (1); what the picture
// then holds.
void BM_ActualSizeWhole(benchmark::State& state) {
    const QString& path = state.range(0) ? g_padded : g_jpeg;
    gv::DecodeRequest r = request();
    r.firstRegion = QSize(800, 600);
    bool planes = false;
    qint64 held = 0;
    for (auto _ : state) {
        const gv::DecodeResult result = gv::DecodeImageFile(path, r);
        if (!result.ok() || !result.picture().awaitWhole()) {
            state.SkipWithError("not decoded");
            return;
        }
        planes = result.picture().heldAsPlanes();
        held = planes ? gv::JpegPlanes::decode(g_jpegBytes)->bytes()
                      : result.picture().raster().sizeInBytes();
    }
    state.counters["as_planes"] = planes ? 1 : 0;
    state.counters["held_MB"] = held / (1024.0 * 1024.0);
}

// The JPEG at 1:1 in an 800x600 view, as written (0) and with an Adobe RGB profile (1): the
// first pixels (the call returns with the corner shown first) and the whole picture after it.
void BM_ActualSizeProfile(benchmark::State& state) {
    const QString& path = state.range(0) ? g_adobe : g_jpeg;
    gv::DecodeRequest r = request();
    r.firstRegion = QSize(800, 600);
    double first = 0;
    double whole = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const gv::DecodeResult result = gv::DecodeImageFile(path, r);
        first += timer.nsecsElapsed() / 1e6;
        if (!result.ok() || !result.picture().awaitWhole()) {
            state.SkipWithError("not decoded");
            return;
        }
        whole += timer.nsecsElapsed() / 1e6;
    }
    state.counters["first_ms"] = benchmark::Counter(first, benchmark::Counter::kAvgIterations);
    state.counters["whole_ms"] = benchmark::Counter(whole, benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_QImageReaderFull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeImageFileFull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeImageFileFit800x600)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanesDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanesRegion1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanesToRgb888)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_QImageReaderPng, rgb_3000x2000, &g_png)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeImageFilePng, rgb_3000x2000, &g_png)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_QImageReaderPng, rgba_3000x2000, &g_pngAlpha)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeImageFilePng, rgba_3000x2000, &g_pngAlpha)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ActualSizeWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ActualSizeProfile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    g_jpeg = dir.filePath(QStringLiteral("large-6000x4000-q90.jpg"));
    QImageWriter writer(g_jpeg, "jpeg");
    writer.setQuality(90);
    if (!writer.write(makePicture(QSize(6000, 4000)))) {
        std::fprintf(stderr, "decode_bench: cannot write %s\n", qPrintable(g_jpeg));
        return 1;
    }
    const QImage png = makePicture(QSize(3000, 2000));
    g_png = dir.filePath(QStringLiteral("large-3000x2000.png"));
    g_pngAlpha = dir.filePath(QStringLiteral("large-3000x2000-alpha.png"));
    QImage alpha = png.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < alpha.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(alpha.scanLine(y));
        for (int x = 0; x < alpha.width(); ++x) {
            row[x] = (row[x] & 0x00FFFFFF) | (static_cast<QRgb>((x + y) & 0xFF) << 24);
        }
    }
    if (!png.save(g_png, "png") || !alpha.save(g_pngAlpha, "png")) {
        std::fprintf(stderr, "decode_bench: cannot write the PNG files\n");
        return 1;
    }
    QFile written(g_jpeg);
    if (!written.open(QIODevice::ReadOnly)) {
        return 1;
    }
    g_jpegBytes = written.readAll();
    g_padded = dir.filePath(QStringLiteral("padded.jpg"));
    QFile padded(g_padded);
    if (!padded.open(QIODevice::WriteOnly) ||
        padded.write(QByteArray(g_jpegBytes).insert(g_jpegBytes.size() - 2, QByteArray(4096, 0))) !=
            g_jpegBytes.size() + 4096) {
        return 1;
    }
    padded.close();
    // An APP2 segment right after the start marker, holding the whole profile.
    const QByteArray icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const qsizetype length = 2 + 14 + icc.size();
    const QByteArray app2 = QByteArray("\xFF\xE2") + char(length >> 8) + char(length & 0xFF) +
                            QByteArray("ICC_PROFILE\0\x01\x01", 14) + icc;
    g_adobe = dir.filePath(QStringLiteral("adobe.jpg"));
    QFile adobe(g_adobe);
    if (!adobe.open(QIODevice::WriteOnly) ||
        adobe.write(QByteArray(g_jpegBytes).insert(2, app2)) != g_jpegBytes.size() + app2.size()) {
        return 1;
    }
    adobe.close();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
