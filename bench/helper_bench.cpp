// The cost of decoding in the confined helper: each file is opened through the helper (warm:
// started before the first measured decode) and in this process, alternately, and the medians
// are compared. Files of every type the helper decodes, at a photograph's size. Opened back to
// back, the helper is still making its next waiting processes when the next file comes; the
// last column opens each file 150 ms after the one before, as a user who looks at each does.
//   helper_bench [RUNS]

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include <QThread>

#include "images/Decoder.h"
#include "platform/Sandbox.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename Decode>
double timeOnce(const QString& path, Decode decode, bool* ok) {
    gv::DecodeRequest request;
    request.dpi = 96;
    QElapsedTimer t;
    t.start();
    const gv::DecodeResult r = decode(path, request);
    *ok = *ok && r.ok() && !r.picture().raster().isNull();
    return double(t.nsecsElapsed()) / 1e6;
}

// The pause between two files a user opens one after the other, looking at each.
constexpr unsigned long kPauseMs = 150;

void report(const char* name, double here, double helper, double paced, bool ok) {
    std::printf("%-12s %10.2f %10.2f %7.2f %10.2f %7.2f%s\n", name, here, helper, helper / here,
                paced, paced / here, ok ? "" : "  FAILED");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    QTemporaryDir dir;
    const QImage photo = gvtest::noisyImage(QSize(2000, 1500), 11);
    const QImage drawing = gvtest::quadrantImage(QSize(2000, 1500));
    struct File {
        const char* name;
        QImage image;
    };
    const std::vector<File> files = {
        {"photo.pcx", photo}, {"photo.pct", photo}, {"photo.eps", photo},    {"photo.tga", photo},
        {"photo.bmp", photo}, {"photo.tif", photo}, {"drawing.pcx", drawing}};
    gv::sandboxClient()->start();
    std::printf("%-12s %10s %10s %7s %10s %7s\n", "file", "here ms", "helper ms", "ratio",
                "paced ms", "ratio");
    for (const File& f : files) {
        const QString path = dir.filePath(QLatin1StringView(f.name));
        if (!gvtest::writeImageFile(path, f.image)) {
            std::printf("%-12s cannot be written\n", f.name);
            continue;
        }
        bool ok = true;
        timeOnce(path, gv::DecodeImageFile, &ok);  // the file in the page cache
        std::vector<double> here;
        std::vector<double> helper;
        std::vector<double> paced;
        for (int i = 0; i < runs; ++i) {
            here.push_back(timeOnce(path, gv::DecodeImageFileInProcess, &ok));
            helper.push_back(timeOnce(path, gv::DecodeImageFile, &ok));
        }
        for (int i = 0; i < runs; ++i) {
            QThread::msleep(kPauseMs);
            paced.push_back(timeOnce(path, gv::DecodeImageFile, &ok));
        }
        report(f.name, median(here), median(helper), median(paced), ok);
    }
    // Metafiles: opened, then rendered at a full-HD view's size, as Best Fit shows them.
    const std::pair<const char*, QByteArray> metafiles[] = {{"shapes.wmf", gvtest::sampleWmf()},
                                                            {"shapes.emf", gvtest::sampleEmf()},
                                                            {"plus.emf", gvtest::sampleEmfPlus()}};
    for (const auto& [name, bytes] : metafiles) {
        const QString path = dir.filePath(QLatin1StringView(name));
        gvtest::writeBytes(path, bytes);
        auto openAndRender = [](auto decode) {
            return [decode](const QString& p, const gv::DecodeRequest& r) {
                gv::DecodeResult result = decode(p, r);
                if (result.ok()) {
                    return gv::DecodeResult(gv::Picture::fromRaster(
                        result.picture().render(QSize(1920, 1080), Qt::white)));
                }
                return result;
            };
        };
        bool ok = true;
        std::vector<double> here;
        std::vector<double> helper;
        std::vector<double> paced;
        for (int i = 0; i < runs; ++i) {
            here.push_back(timeOnce(path, openAndRender(gv::DecodeImageFileInProcess), &ok));
            helper.push_back(timeOnce(path, openAndRender(gv::DecodeImageFile), &ok));
        }
        for (int i = 0; i < runs; ++i) {
            QThread::msleep(kPauseMs);
            paced.push_back(timeOnce(path, openAndRender(gv::DecodeImageFile), &ok));
        }
        report(name, median(here), median(helper), median(paced), ok);
    }
    return 0;
}
