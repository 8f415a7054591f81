#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"
#include "support/RasterFiles.h"

using namespace gvtest;

namespace {

void expectRows(const QString& path, const QList<QList<QRgb>>& rows, const char* what) {
    QString why;
    const QImage image = decodeToArgb(path, &why);
    ASSERT_FALSE(image.isNull()) << what << ": " << why.toStdString();
    expectPixels(image, rows, what);
}

struct TgaCase {
    const char* name;
    TgaLayout layout;
    QList<QList<QRgb>> rows;  // top row first
};

TgaLayout tga(int type, int depth, int descriptor, const char* hexPixels) {
    TgaLayout l;
    l.imageType = type;
    l.depth = depth;
    l.descriptor = descriptor;
    l.width = 3;
    l.height = 2;
    l.pixels = QByteArray::fromHex(hexPixels);
    return l;
}

}  // namespace

TEST(TargaDecode, AlphaOriginsIdFieldsAndColourMapsDrawAsWritten) {
    TgaLayout withId = tga(2, 24, 0x20, "0000ff00ff00ff0000 ffffff000000ffffff");
    withId.id = "camera7";
    TgaLayout mapped = tga(1, 8, 0x20, "020304 040003");
    mapped.mapType = 1;
    mapped.mapFirst = 2;  // index 2 is the map's first entry
    mapped.mapLength = 3;
    mapped.mapEntryBits = 24;
    mapped.map = QByteArray::fromHex("0000ff 00ff00 ff0000");
    TgaLayout mappedRuns = mapped;
    mappedRuns.imageType = 9;
    mappedRuns.pixels = QByteArray::fromHex("8502");  // one run over both rows
    TgaLayout unused = tga(2, 32, 0x28, "0000ff00 00ff0080 ff0000ff ffffff00 00000000 0000ff00");
    unused.attributesType = 0;  // the extension area says: no alpha data
    const TgaCase cases[] = {
        // Bottom row first: one run of half-transparent red; then three literal pixels.
        {"rlealpha",
         tga(10, 32, 0x08, "820000ff80 0200ff00ff ff000040 ffffff00"),
         {{kGreen, 0x400000FF, kClear}, {0x80FF0000, 0x80FF0000, 0x80FF0000}}},
        {"righttoleft",
         tga(2, 24, 0x10, "0000ff00ff00ff0000 ffffff0000000000ff"),
         {{kRed, kBlack, kWhite}, {kBlue, kGreen, kRed}}},
        {"imageid", withId, {{kRed, kGreen, kBlue}, {kWhite, kBlack, kWhite}}},
        // 5-bit channels scaled to 8 bits although the header claims 8 alpha bits.
        {"rgb16",
         tga(2, 16, 0x28, "ffff 10c2 1f80 00fc e083 0080"),
         {{kWhite, 0xFF848484, kBlue}, {kRed, kGreen, kBlack}}},
        {"greyalpha",
         tga(3, 16, 0x28, "ffff 8080 0000 4040 c0ff 00ff"),
         {{kWhite, 0x80808080, kClear}, {0x40404040, 0xFFC0C0C0, kBlack}}},
        {"grey16",
         tga(3, 16, 0x20, "c807 0001 ffff 8000 4000 0000"),
         {{0xFFC8C8C8, kBlack, kWhite}, {0xFF808080, 0xFF404040, kBlack}}},
        {"mapfirst", mapped, {{kRed, kGreen, kBlue}, {kBlue, kBlack, kGreen}}},
        {"mappedruns", mappedRuns, {{kRed, kRed, kRed}, {kRed, kRed, kRed}}},
        {"noalphadata", unused, {{kRed, kGreen, kBlue}, {kWhite, kBlack, kRed}}},
    };
    QTemporaryDir dir;
    for (const TgaCase& c : cases) {
        const QString path = dir.filePath(QString(c.name) + ".tga");
        ASSERT_TRUE(writeBytes(path, tgaBytes(c.layout)));
        expectRows(path, c.rows, c.name);
    }
}

namespace {

struct PcxCase {
    const char* name;
    PcxLayout layout;
    QList<QList<QRgb>> rows;
};

}  // namespace

TEST(PcxDecode, MonochromeEgaVgaAndTrueColourFilesDrawAsWritten) {
    // Monochrome in CGA mode: the header gives the two colours, here black on white; without
    // two colours there, 0 is black and 1 white.
    PcxLayout mono;
    mono.bits = 1;
    mono.width = 8;
    mono.height = 2;
    mono.headerPalette = QByteArray::fromHex("ffffff 000000");
    mono.lines = {QByteArray::fromHex("f000"), QByteArray::fromHex("0f00")};
    PcxLayout plainMono = mono;
    plainMono.headerPalette.clear();
    PcxLayout ega;
    ega.bits = 1;
    ega.planes = 4;
    ega.width = 4;
    ega.height = 1;
    for (QRgb c : {kBlack, kRed, kGreen, kBlue, kWhite}) {
        ega.headerPalette.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    }
    // Indices 1, 2, 3, 4: plane 0 holds bit 0 of each, plane 2 bit 2.
    ega.lines = {QByteArray::fromHex("a0") + QByteArray::fromHex("60") + QByteArray::fromHex("10") +
                 QByteArray::fromHex("00")};
    PcxLayout vga;
    vga.width = 3;
    vga.height = 1;
    vga.lines = {QByteArray::fromHex("0201c5")};
    vga.vgaPalette = QByteArray::fromHex("000000 ff0000 00ff00").leftJustified(768, '\0');
    vga.vgaPalette.replace(0xc5 * 3, 3, QByteArray::fromHex("0000ff"));
    PcxLayout rgb;
    rgb.planes = 3;
    rgb.width = 2;
    rgb.height = 2;
    rgb.lines = {QByteArray::fromHex("ff00 00ff 0000"), QByteArray::fromHex("ff00ff00ff00")};
    const PcxCase cases[] = {
        {"cgamono",
         mono,
         {{kBlack, kBlack, kBlack, kBlack, kWhite, kWhite, kWhite, kWhite},
          {kWhite, kWhite, kWhite, kWhite, kBlack, kBlack, kBlack, kBlack}}},
        {"plainmono",
         plainMono,
         {{kWhite, kWhite, kWhite, kWhite, kBlack, kBlack, kBlack, kBlack},
          {kBlack, kBlack, kBlack, kBlack, kWhite, kWhite, kWhite, kWhite}}},
        {"ega", ega, {{kRed, kGreen, kBlue, kWhite}}},
        {"vga", vga, {{kGreen, kRed, kBlue}}},
        {"rgb", rgb, {{kRed, kGreen}, {kWhite, kBlack}}},
    };
    QTemporaryDir dir;
    for (const PcxCase& c : cases) {
        const QString path = dir.filePath(QString(c.name) + ".pcx");
        ASSERT_TRUE(writeBytes(path, pcxBytes(c.layout)));
        expectRows(path, c.rows, c.name);
    }
}
