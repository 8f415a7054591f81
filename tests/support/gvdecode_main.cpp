// gvdecode [--fit WxH | --first WxH] [--budget-mb N] [--peak] FILE: decodes one image file as
// the program does and prints its size and a digest of its pixels, so that tests can compare
// the pictures that processes with differently used memory make of the same file. --fit and
// --first ask as Best Fit and Actual Size do (Best Fit digests the picture as held, at the
// scale it was decoded); --peak adds the process's peak resident memory (kB) once the picture
// is whole, before the digest's own copies.

#include <QCryptographicHash>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>

#include "images/Decoder.h"
#include "images/MemoryBudget.h"

namespace {

QSize sizeArgument(const char* text) {
    int w = 0;
    int h = 0;
    return std::sscanf(text, "%dx%d", &w, &h) == 2 ? QSize(w, h) : QSize();
}

long peakKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    // The budget first: a request takes the program's as its own limit.
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--budget-mb") == 0) {
            gv::MemoryBudget::program().setLimit(std::atoll(argv[i + 1]) * 1024 * 1024);
        }
    }
    gv::DecodeRequest request;
    request.dpi = 96;
    bool peak = false;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (valued && std::strcmp(argv[i], "--fit") == 0) {
            request.fitInto = sizeArgument(argv[++i]);
        } else if (valued && std::strcmp(argv[i], "--first") == 0) {
            request.firstRegion = sizeArgument(argv[++i]);
        } else if (valued && std::strcmp(argv[i], "--budget-mb") == 0) {
            ++i;
        } else if (std::strcmp(argv[i], "--peak") == 0) {
            peak = true;
        } else {
            file = argv[i];
        }
    }
    if (!file) {
        std::fprintf(stderr,
                     "usage: gvdecode [--fit WxH | --first WxH] [--budget-mb N] [--peak] FILE\n");
        return 2;
    }
    const gv::DecodeResult result = gv::DecodeImageFile(QString::fromLocal8Bit(file), request);
    if (!result.ok()) {
        std::printf("error %d %s\n", result.error().number,
                    result.error().description.toUtf8().constData());
        if (peak) {
            std::printf("peak %ld\n", peakKb());
        }
        return 1;
    }
    const gv::Picture& picture = result.picture();
    const bool whole = picture.awaitWhole();
    // What the view shows: the picture fitted into the box, or the picture at 1:1 (a metafile
    // played at its size, with the images inside it).
    const bool fit = request.fitInto.isValid();
    const QImage shown =
        !fit ? picture.fullRaster()
        : picture.isMetafile()
            ? picture.render(picture.sizePixels().scaled(request.fitInto, Qt::KeepAspectRatio))
            : picture.raster();
    const long measured = peakKb();
    if (!whole || shown.isNull()) {
        std::printf("error %s\n", whole ? "no raster" : "rest");
        if (peak) {
            std::printf("peak %ld\n", measured);
        }
        return 1;
    }
    const QImage image = shown.convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < image.height(); ++y) {
        hash.addData(QByteArrayView(image.constScanLine(y), image.width() * 4));
    }
    std::printf("%dx%d %s\n", image.width(), image.height(), hash.result().toHex().constData());
    if (peak) {
        std::printf("peak %ld\n", measured);
    }
    return 0;
}
