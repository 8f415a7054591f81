// Writes the seed corpus of the JPEG fuzzer: colour JPEGs of the kinds the shortcuts take
// (baseline and progressive, odd sizes, with a resolution, comments and a colour profile) and
// one they leave to Qt's reader (greyscale).

#include <QColorSpace>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QImage image(37, 29, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, qRgb(x * 7, y * 9, (x * y) & 0xFF));
        }
    }
    QImage described = image;
    described.setDotsPerMeterX(5905);
    described.setText(QStringLiteral("Description"), QStringLiteral("seed"));
    described.setColorSpace(QColorSpace::AdobeRgb);
    struct Seed {
        const char* name;
        QImage image;
        bool progressive;
    };
    const Seed seeds[] = {{"baseline.jpg", image, false},
                          {"progressive.jpg", image, true},
                          {"described.jpg", described, false},
                          {"grey.jpg", image.convertToFormat(QImage::Format_Grayscale8), false}};
    for (const Seed& s : seeds) {
        QImageWriter writer(QDir(folder).filePath(QString::fromLatin1(s.name)), "jpeg");
        writer.setQuality(50);
        writer.setProgressiveScanWrite(s.progressive);
        if (!writer.write(s.image)) {
            return 1;
        }
    }
    return 0;
}
