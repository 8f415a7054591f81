// Writes the seed corpus of the metafile fuzzer: the sample pictures and a few small files
// that each exercise one group of records.

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

#include "support/MetafileWriter.h"

namespace {

bool save(const QString& folder, const QString& name, const QByteArray& bytes) {
    QFile file(QDir(folder).filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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
    using namespace gvtest;
    QImage tiny(3, 2, QImage::Format_RGB32);
    tiny.fill(Qt::red);
    tiny.setPixel(1, 1, qRgb(0, 0, 255));

    WmfWriter mapping(QRect(0, 0, 100, 100), 96, false);
    mapping.setMapMode(8).setWindowOrg({0, 0}).setWindowExt({100, 100}).setViewportExt({50, 50});
    mapping.scaleWindowExt(2, 1, 2, 1).offsetWindowOrg({5, 5}).ellipse(QRect(10, 10, 50, 50));
    mapping.saveDc().intersectClipRect(QRect(0, 0, 40, 40)).excludeClipRect(QRect(5, 5, 5, 5));
    mapping.restoreDc(-1).polyPolygon(
        {{{0, 0}, {10, 0}, {10, 10}}, {{20, 20}, {30, 20}, {20, 30}}});

    WmfWriter bitmaps(QRect(0, 0, 64, 64), 96);
    bitmaps.dibStretchBlt(QRect(0, 0, 30, 30), tiny, DibFormat::Rgb565Fields);
    bitmaps.dibBitBlt({32, 0}, tiny, DibFormat::Mono1);
    bitmaps.stretchDib(QRect(0, 32, 30, 30), tiny, DibFormat::Palette8);
    bitmaps.extTextOut({2, 40}, "ab", 6, QRect(0, 30, 20, 20), {4, 5});
    bitmaps.selectObject(bitmaps.createDibPatternBrush(tiny))
        .pie(QRect(30, 30, 30, 30), {0, 0}, {64, 0});

    EmfWriter paths(QRect(0, 0, 2000, 2000));
    paths.setWorldTransform(QTransform().rotate(30))
        .beginPath()
        .polygon({{10, 10}, {60, 10}, {30, 50}}, true);
    paths.arcTo(QRect(0, 0, 40, 40), {40, 20}, {0, 20}).endPath().selectClipPath(1);
    paths.extSelectClipRgn({QRect(0, 0, 30, 30), QRect(40, 40, 10, 10)}, 2);
    paths.extCreatePen(1, 0x00012200, 3, Qt::blue).selectObject(1);
    paths.polyBezier({{0, 0}, {10, 30}, {30, 10}, {40, 40}}).roundRect(QRect(5, 5, 30, 20), {8, 8});
    paths.createFont(2, -12, QStringLiteral("DejaVu Sans"))
        .selectObject(2)
        .extTextOutW({5, 5}, QStringLiteral("Hi"), 0, {}, {6, 6});
    paths.bitBlt(QRect(0, 40, 20, 20), tiny, DibFormat::Bgr32Fields)
        .setDiBitsToDevice({30, 40}, tiny, DibFormat::Rgb555);

    // EMF+ (dual, with EMF fallback after GetDC): every object kind and most records.
    EmfWriter dual(QRect(0, 0, 2000, 2000));
    {
        EmfPlusWriter plus(dual);
        QByteArray region;  // a rectangle intersected with everything, as a region object
        for (quint32 v :
             {0xDBC01002u, 2u, 1u, 0x10000000u, 0u, 0u, 0x41200000u, 0x41200000u, 0x10000003u}) {
            for (int i = 0; i < 4; ++i) {
                region.append(char((v >> (8 * i)) & 0xFF));
            }
        }
        plus.solidBrush(1, Qt::red).hatchBrush(2, 4, Qt::blue, Qt::white);
        plus.linearBrush(3, {0, 0, 40, 40}, Qt::red, Qt::blue);
        plus.pathBrush(4, {20, 20}, Qt::green, {{0, 0}, {40, 0}, {20, 40}}, Qt::white);
        plus.pen(5, 2, Qt::black, 1).font(6, 12, QStringLiteral("DejaVu Sans"));
        plus.stringFormat(7, 1, 1).object(8, 4, region).bitmap(9, tiny, false, 2);
        plus.path(10, {{0, 0}, {30, 5}, {5, 30}, {40, 40}}, {0, 3, 3, 0x83},
                  EmfPlusWriter::Points::Relative);
        plus.save(1).setPageTransform(6, 1).transform(0x402F, {15}).setClipRect({0, 0, 30, 30});
        plus.fillRects(2, {{0, 0, 20, 20}}, true).fillPolygon(3, {{0, 0}, {40, 0}, {0, 40}});
        plus.fillPath(4, 10).drawPath(5, 10).drawLines(5, {{0, 0}, {9, 9}}, true);
        plus.fillEllipse(QColor(Qt::cyan), {0, 0, 20, 10}).pie(0x4011, 5, 30, 200, {0, 0, 20, 20});
        plus.record(0x4034, 0x0108, {}).record(0x4013, 0x8008, QByteArray(4, '\x7f'));
        plus.drawString(1, 6, QStringLiteral("EMF+"), {0, 0, 40, 20}, 7);
        plus.drawImagePoints(9, {0, 0, 3, 2}, {{0, 0}, {20, 5}, {5, 20}}).restore(1);
        plus.drawImage(9, {0, 0, 3, 2}, {10, 10, 30, 20}).resetClip().getDc();
        dual.createBrush(1, 0, Qt::green).selectObject(1).rectangle(QRect(0, 0, 10, 10));
        plus.endOfFile();
    }

    const bool ok =
        save(folder, "sample.wmf", sampleWmf()) && save(folder, "sample.emf", sampleEmf()) &&
        save(folder, "mapping.wmf", mapping.finish()) &&
        save(folder, "bitmaps.wmf", bitmaps.finish()) &&
        save(folder, "paths.emf", paths.finish()) && save(folder, "plus.emf", dual.finish());
    return ok ? 0 : 1;
}
