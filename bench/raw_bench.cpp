// A 24 MP camera raw file (a DNG of 6000x4000 raw samples with its full-size JPEG preview)
// shown fitted to a 1920x1080 view, through the decoding helper, against LibRaw's own
// extraction of the preview (simple_dcraw -e) plus a full decode of the extracted JPEG (in
// process with libjpeg, the fastest decode there is, and by a converter writing PPM). Medians
// of N runs; then the same from a cold cache, the file dropped from the page cache before
// each open.
//   raw_bench [N [PREVIEW.jpg]]    (a camera's own preview in place of the generated one)

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <jpeglib.h>
#include <vector>

#include "images/Decoder.h"
#include "support/CameraRawFiles.h"
#include "support/ImageFiles.h"

using namespace gv;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The preview decoded by libjpeg at 1/8 scale: the inverse transforms, colours and output all
// but gone, this is its entropy decoding, which no decode on one core can do without.
double entropyDecodingMs(const QByteArray& jpeg) {
    QElapsedTimer t;
    t.start();
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    std::vector<unsigned char> row(std::size_t(info.output_width) * info.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (info.output_scanline < info.output_height) {
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return t.nsecsElapsed() / 1e6;
}

// Written out and dropped from the page cache, so that the next read comes from the disk.
bool dropFromPageCache(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool dropped =
        ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return dropped;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.dng");
    gvtest::DngParts parts;
    const QSize size(6000, 4000);
    // A photograph's preview, or the JPEG named on the command line.
    parts.previewJpeg = gvtest::jpegBytes(gvtest::noisyImage(size, 7));
    if (argc > 2) {
        QFile own(QString::fromLocal8Bit(argv[2]));
        own.open(QIODevice::ReadOnly);
        parts.previewJpeg = own.readAll();
    }
    parts.previewSize = size;
    parts.rawSize = size;
    parts.orientation = 1;
    if (!gvtest::writeBytes(path, gvtest::dngBytes(parts))) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const QSize view(1920, 1080);
    std::vector<double> ours;
    std::vector<double> extract;
    std::vector<double> decode;
    std::vector<double> convert;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        DecodeRequest request;
        request.fitInto = view;
        const DecodeResult r = DecodeImageFile(path, request);
        if (!r.ok()) {
            std::fprintf(stderr, "%s\n", qPrintable(r.error().description));
            return 1;
        }
        // On screen: fitted to the view as Best Fit paints it.
        const QImage shown =
            r.picture().render(r.picture().sizePixels().scaled(view, Qt::KeepAspectRatio));
        ours.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        if (QProcess::execute(QStringLiteral("simple_dcraw"), {QStringLiteral("-e"), path}) != 0) {
            std::fprintf(stderr, "simple_dcraw failed\n");
            return 1;
        }
        extract.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        QImageReader reader(path + QStringLiteral(".thumb.jpg"));
        const QImage theirs = reader.read();
        decode.push_back(t.nsecsElapsed() / 1e6);
        // The same JPEG decoded by a converter, as a user without a viewer would.
        t.restart();
        QProcess gm;
        gm.setStandardOutputFile(QProcess::nullDevice());
        gm.start(QStringLiteral("gm"),
                 {QStringLiteral("convert"), path + QStringLiteral(".thumb.jpg"),
                  QStringLiteral("ppm:-")});
        gm.waitForFinished(-1);
        convert.push_back(t.nsecsElapsed() / 1e6);
        if (shown.isNull() || theirs.size() != size) {
            std::fprintf(stderr, "nothing decoded\n");
            return 1;
        }
    }
    // From a cold cache, as a folder of raw files on a card or a disk is first stepped through:
    // the file dropped from the page cache before each open (by both).
    std::vector<double> oursCold;
    std::vector<double> extractCold;
    for (int i = 0; i < runs; ++i) {
        if (!dropFromPageCache(path)) {
            break;
        }
        QElapsedTimer t;
        t.start();
        DecodeRequest request;
        request.fitInto = view;
        const DecodeResult r = DecodeImageFile(path, request);
        const QImage shown =
            r.picture().render(r.picture().sizePixels().scaled(view, Qt::KeepAspectRatio));
        oursCold.push_back(t.nsecsElapsed() / 1e6);
        dropFromPageCache(path);
        t.restart();
        QProcess::execute(QStringLiteral("simple_dcraw"), {QStringLiteral("-e"), path});
        extractCold.push_back(t.nsecsElapsed() / 1e6);
    }
    const double reference = median(extract) + median(decode);
    std::printf("glimvane, fitted to %dx%d through the helper: %.1f ms\n", view.width(),
                view.height(), median(ours));
    std::printf("simple_dcraw -e %.1f ms + decoding the extracted JPEG %.1f ms = %.1f ms\n",
                median(extract), median(decode), reference);
    std::printf("ratio %.2f (goal <= 0.50)\n", median(ours) / reference);
    std::vector<double> entropy;
    for (int i = 0; i < runs; ++i) {
        entropy.push_back(entropyDecodingMs(parts.previewJpeg));
    }
    std::printf("the preview's entropy decoding alone (libjpeg at 1/8 scale, one core): %.1f ms "
                "= %.2f of the reference\n",
                median(entropy), median(entropy) / reference);
    if (!oursCold.empty()) {
        const double coldReference = median(extractCold) + median(decode);
        std::printf("from a cold cache: glimvane %.1f ms, simple_dcraw -e %.1f ms + decoding %.1f "
                    "ms = %.1f ms, ratio %.2f\n",
                    median(oursCold), median(extractCold), median(decode), coldReference,
                    median(oursCold) / coldReference);
    } else {
        std::printf("from a cold cache: not measured (the page cache cannot be dropped here)\n");
    }
    const double converter = median(extract) + median(convert);
    std::printf("with gm convert to PPM as the decoder: %.1f ms, ratio %.2f\n", converter,
                median(ours) / converter);
    return 0;
}
