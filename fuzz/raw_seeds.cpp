// Writes the seed corpus of the camera raw fuzzer: DNGs with a JPEG preview in each
// orientation, and one without a preview whose raw data is developed.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "support/CameraRawFiles.h"
#include "support/ImageFiles.h"

using namespace gvtest;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    for (const int orientation : {1, 3, 6, 8}) {
        writeBytes(QDir(folder).filePath(QString("preview%1.dng").arg(orientation)),
                   dngWithPreview(quadrantImage(QSize(16, 12)), orientation));
    }
    DngParts parts;
    parts.rawSize = QSize(8, 6);
    return writeBytes(QDir(folder).filePath("developed.dng"), dngBytes(parts)) ? 0 : 1;
}
