// bombs_bench FOLDER: writes the decompression bombs and the panorama that bench/run hands to
// gvdecode, which reports the peak memory of decoding each within a budget.

#include <QFile>
#include <QGuiApplication>
#include <QSize>
#include <cstdio>

#include "support/Bombs.h"

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bombs_bench FOLDER\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    using namespace gvtest;
    const bool ok =
        writeBytes(dir + "png-38000x38000.png", zeroPng(38000, 38000)) &&
        writeBytes(dir + "png16-12000x12000.png", zeroPng(12000, 12000, 6, 16)) &&
        writeBytes(dir + "jpeg-claims-30000x30000.jpg", jpegDeclaring(QSize(30000, 30000))) &&
        writeBytes(dir + "jpeg-progressive-11000x11000.jpg",
                   jpegDeclaring(QSize(11000, 11000), true)) &&
        writeBytes(dir + "pcx-12000x12000.pcx", zeroPcx(12000, 12000)) &&
        writeBytes(dir + "emfplus-10x4096-pngs.emf", emfPlusOfPngs(QSize(800, 600), 10, 4096)) &&
        writeBytes(dir + "panorama-40000x10000.jpg", flatJpeg(QSize(40000, 10000)));
    return ok ? 0 : 1;
}
