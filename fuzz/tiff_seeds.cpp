// Writes the seed corpus of the TIFF fuzzer: small files of the sample layouts the module
// converts itself (bit depths, planes, tiles, floating point, palettes, CMYK, CIELab) and one
// it leaves to libtiff's RGBA interface (JPEG-compressed YCbCr).

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "support/RasterFiles.h"

using namespace gvtest;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    auto layout = [](int bits, int samples, int photometric) {
        TiffLayout l;
        l.width = 5;
        l.height = 3;
        l.bits = bits;
        l.samples = samples;
        l.photometric = photometric;
        return l;
    };
    QList<std::pair<QString, TiffLayout>> seeds;
    for (int bits : {1, 4, 12, 24}) {
        seeds.append({QStringLiteral("grey%1.tif").arg(bits), layout(bits, 1, 1)});
    }
    TiffLayout planar = layout(16, 4, 2);
    planar.planar = true;
    planar.tile = 16;
    planar.extraSamples = {2};
    seeds.append({QStringLiteral("planar.tif"), planar});
    TiffLayout floats = layout(64, 1, 1);
    floats.sampleFormat = 3;
    floats.compression = 8;
    floats.predictor = 3;
    seeds.append({QStringLiteral("float.tif"), floats});
    TiffLayout palette = layout(4, 1, 3);
    for (int i = 0; i < 48; ++i) {
        palette.colourMap << quint16(i * 1000);
    }
    seeds.append({QStringLiteral("palette.tif"), palette});
    seeds.append({QStringLiteral("cmyk.tif"), layout(8, 4, 5)});
    TiffLayout lab = layout(8, 4, 8);
    lab.extraSamples = {1};
    seeds.append({QStringLiteral("lab.tif"), lab});
    TiffLayout ycc = layout(8, 3, 6);
    ycc.width = 16;
    ycc.height = 16;
    ycc.compression = 7;
    ycc.jpegYCbCr = 75;
    ycc.rowsPerStrip = 16;
    seeds.append({QStringLiteral("ycbcr.tif"), ycc});
    for (const auto& [name, l] : seeds) {
        const int max = l.sampleFormat == 3 ? 1 : (1 << std::min(l.bits, 16)) - 1;
        if (!writeTiffSamples(QDir(folder).filePath(name), l, [max](int x, int y, int s) {
                return double((x * 37 + y * 11 + s * 5) % (max + 1));
            })) {
            return 1;
        }
    }
    return 0;
}
