// Writes the seed corpus of the raster fuzzer: one file of each shape the readers' tests
// write, behind the byte that picks its reader.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

#include "support/RasterFiles.h"

using namespace gvtest;

namespace {

enum Reader { kBmp, kIcon, kTga, kPcx, kPict, kPng };

bool save(const QString& folder, const QString& name, Reader reader, const QByteArray& bytes) {
    QFile file(QDir(folder).filePath(name));
    return file.open(QIODevice::WriteOnly) && file.putChar(char(reader)) &&
           file.write(bytes) == bytes.size();
}

QByteArray bitmap(int headerSize, int bits, quint32 compression, const QList<quint32>& masks,
                  const QByteArray& pixels, int width = 4, int height = 2) {
    BmpLayout l;
    l.headerSize = headerSize;
    l.width = width;
    l.height = height;
    l.bitCount = bits;
    l.compression = compression;
    l.masks = masks;
    if (bits <= 8) {
        l.palette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    }
    l.pixels = pixels;
    return bmpBytes(l);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const QList<QList<quint32>> rows = {{1, 2, 3, 0}, {0, 3, 2, 1}};
    QImage image(12, 8, QImage::Format_RGB32);
    image.fill(0xFF3366CC);
    TgaLayout tga;
    tga.imageType = 10;
    tga.depth = 32;
    tga.descriptor = 0x28;
    tga.width = 3;
    tga.height = 2;
    tga.pixels = QByteArray::fromHex("820000ff80 0200ff00ff ff000040 ffffff00");
    PcxLayout pcx;
    pcx.bits = 1;
    pcx.planes = 4;
    pcx.width = 8;
    pcx.height = 1;
    pcx.lines = {QByteArray::fromHex("a06010f0")};
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("seed.png"));
    writePngSamples(png, {4, 2, 2, 16, true, {}, {0, 0, 0}}, [](int x, int y) {
        return QList<quint16>{quint16(x * 9000), quint16(y * 30000), 0};
    });
    QFile pngFile(png);
    pngFile.open(QIODevice::ReadOnly);
    const bool ok =
        save(folder, "rgb565.bmp", kBmp,
             bitmap(40, 16, 3, {0xF800, 0x07E0, 0x001F},
                    bmpRows({{0xFFFF, 1, 2, 3}, {4, 5, 6, 7}}, 16))) &&
        save(folder, "v5.bmp", kBmp,
             bitmap(124, 32, 3, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, bmpRows(rows, 32))) &&
        save(folder, "os2.bmp", kBmp, bitmap(12, 4, 0, {}, bmpRows(rows, 4))) &&
        save(folder, "rle4.bmp", kBmp,
             bitmap(40, 4, 2, {}, QByteArray::fromHex("0512000000053123100000000201000323 0001"), 5,
                    3)) &&
        save(folder, "rle8.bmp", kBmp,
             bitmap(40, 8, 1, {},
                    QByteArray::fromHex("05010000020200020200010300000003010203000001"), 5, 3)) &&
        save(folder, "icon.ico", kIcon,
             icoBytes({{iconBitmap(rows, 24, {}, {{true, false, false, true}, {}}), 4, 2}})) &&
        save(folder, "rle.tga", kTga, tgaBytes(tga)) &&
        save(folder, "ega.pcx", kPcx, pcxBytes(pcx)) &&
        save(folder, "packbits.pct", kPict,
             pictBytes(image.size(),
                       {pictPackBitsRect(image.convertToFormat(QImage::Format_Indexed8))})) &&
        save(folder, "direct.pct", kPict,
             pictBytes(image.size(), {pictDirectBitsRect(image, 16)})) &&
        save(folder, "quicktime.pct", kPict, pictBytes(image.size(), {pictQuickTimeJpeg(image)})) &&
        save(folder, "trns.png", kPng, pngFile.readAll());
    return ok ? 0 : 1;
}
