// gvdecode FILE: decodes one image file as the program does and prints its size and a digest
// of its pixels, so that tests can compare the pictures that processes with differently used
// memory make of the same file.

#include <QCryptographicHash>
#include <QGuiApplication>
#include <cstdio>

#include "images/Decoder.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: gvdecode FILE\n");
        return 2;
    }
    gv::DecodeRequest request;
    request.dpi = 96;
    const gv::DecodeResult result = gv::DecodeImageFile(QString::fromLocal8Bit(argv[1]), request);
    if (!result.ok()) {
        std::printf("error %d %s\n", result.error().number,
                    result.error().description.toUtf8().constData());
        return 1;
    }
    const QImage image = result.picture().fullRaster().convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < image.height(); ++y) {
        hash.addData(QByteArrayView(image.constScanLine(y), image.width() * 4));
    }
    std::printf("%dx%d %s\n", image.width(), image.height(), hash.result().toHex().constData());
    return 0;
}
