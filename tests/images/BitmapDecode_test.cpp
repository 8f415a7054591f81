#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"
#include "support/RasterFiles.h"

using namespace gvtest;

namespace {

template <typename T>
QList<T> reversed(QList<T> list) {
    std::reverse(list.begin(), list.end());
    return list;
}

struct BitmapCase {
    const char* name;
    int headerSize;
    int bitCount;
    quint32 compression;
    QList<quint32> masks;
    QList<quint32> pixels;  // the top row; the bottom row holds them in reverse order
    QList<QRgb> expected;
    QList<QRgb> palette;
    bool topDown;
};

BitmapCase bitmap(const char* name, int headerSize, int bitCount, quint32 compression,
                  QList<quint32> masks, QList<quint32> pixels, QList<QRgb> expected,
                  QList<QRgb> palette = {}, bool topDown = false) {
    return {name, headerSize, bitCount, compression, masks, pixels, expected, palette, topDown};
}

}  // namespace

TEST(BitmapDecode, EveryHeaderDepthAndMaskDrawsAsWritten) {
    // Channel values scaled to 0..255 by their mask's own width, rounded: 5 bits of 16 give
    // 132, 6 bits of 32 give 130, 10 bits of 512 give 128, 3 bits of 4 give 146, 7 bits of 64
    // give 129, 18 bits of 131072 give 128, 2 alpha bits of 1 give 85.
    const QList<QRgb> rgbw = {kRed, kGreen, kBlue, kWhite};
    const BitmapCase cases[] = {
        bitmap("rgb555", 40, 16, 0, {}, {0x7FFF, 0x4210, 0x0001, 0x7C00},
               {kWhite, 0xFF848484, 0xFF000008, kRed}),
        bitmap("fields565", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xFFFF, 0x8410, 0x07E0, 0},
               {kWhite, 0xFF848284, kGreen, kBlack}),
        bitmap("fields11-11-10", 40, 32, 3, {0xFFE00000, 0x001FFC00, 0x000003FF},
               {0xFFFFFFFF, 0x80100200, 0xFFE00000, 0x00000001},
               {kWhite, 0xFF808080, kRed, kBlack}),
        bitmap("fields3-10-3", 40, 16, 3, {0xE000, 0x1FF8, 0x0007}, {0xFFFF, 0x9007, 0x1FF8, 0},
               {kWhite, 0xFF9280FF, kGreen, kBlack}),
        bitmap("fields7-18-7", 40, 32, 3, {0xFE000000, 0x01FFFF80, 0x0000007F},
               {0xFFFFFFFF, 0x8100007F, 0x0000007F, 0}, {kWhite, 0xFF8180FF, kBlue, kBlack}),
        bitmap("fields10-10-10-2", 56, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
               {0x7FF80000, 0xFFFFFFFF, 0x800003FF, 0x3FFFFFFF},
               {0x55FF8000, kWhite, 0xAA0000FF, kClear}),
        // A channel without a mask is 0.
        bitmap("nored", 40, 16, 3, {0, 0x07E0, 0x001F}, {0xFFFF, 0x07E0, 0x001F, 0},
               {0xFF00FFFF, kGreen, kBlue, kBlack}),
        bitmap("header52", 52, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xFFFF, 0x8410, 0x07E0, 0},
               {kWhite, 0xFF848284, kGreen, kBlack}),
        bitmap("alphafields", 40, 32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
               {0x80FF0000, 0xFF00FF00, 0x000000FF, 0xFFFFFFFF},
               {0x80FF0000, kGreen, kClear, kWhite}),
        bitmap("unusedalpha", 56, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
               {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF}, rgbw),
        bitmap("v5rgb", 124, 32, 0, {}, {0x80FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF}, rgbw),
        bitmap("os2short", 16, 24, 0, {}, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, rgbw),
        bitmap("os2long", 64, 8, 0, {}, {0, 1, 2, 3}, rgbw, rgbw),
        // Indices past a palette shorter than the depth allows are black.
        bitmap("os2core", 12, 8, 0, {}, {0, 1, 2, 5}, {kRed, kGreen, kBlue, kBlack},
               {kRed, kGreen, kBlue}),
        bitmap("topdown4", 40, 4, 0, {}, {1, 2, 3, 0}, {kRed, kGreen, kBlue, kBlack},
               {kBlack, kRed, kGreen, kBlue}, true),
        bitmap("mono", 40, 1, 0, {}, {1, 0, 0, 1}, {kWhite, kBlack, kBlack, kWhite},
               {kBlack, kWhite}),
    };
    QTemporaryDir dir;
    for (const BitmapCase& c : cases) {
        BmpLayout l;
        l.headerSize = c.headerSize;
        l.width = int(c.pixels.size());
        l.height = c.topDown ? -2 : 2;
        l.bitCount = c.bitCount;
        l.compression = c.compression;
        l.masks = c.masks;
        l.palette = c.palette;
        l.pixels = bmpRows({c.pixels, reversed(c.pixels)}, c.bitCount, c.topDown);
        const QString path = dir.filePath(QString(c.name) + ".bmp");
        ASSERT_TRUE(writeBytes(path, bmpBytes(l)));
        QString why;
        const QImage image = decodeToArgb(path, &why);
        ASSERT_FALSE(image.isNull()) << c.name << ": " << why.toStdString();
        expectPixels(image, {c.expected, reversed(c.expected)}, c.name);
    }
}

namespace {

struct RleCase {
    const char* name;
    quint32 compression;
    int bitCount;
    QByteArray stream;
    QList<QList<int>> rows;  // palette indices, top row first; -1 for a skipped pixel
};

RleCase rle(const char* name, quint32 compression, int bitCount, const char* hex,
            QList<QList<int>> rows) {
    return {name, compression, bitCount, QByteArray::fromHex(hex), rows};
}

}  // namespace

TEST(BitmapDecode, RunLengthCodesFillOddWidthsAndLeaveSkippedPixelsTransparent) {
    const QList<QRgb> palette = {kBlack, kRed, kGreen, kBlue};
    const RleCase cases[] = {
        // Rows bottom-up: a full run; a run, a delta over two pixels, a run; three literal
        // pixels (padded to a word) and the end of the bitmap with two pixels left.
        rle("skips8", 1, 8, "0501 0000 0202 00020200 0103 0000 0003010203 00 0001",
            {{1, 2, 3, -1, -1}, {2, 2, -1, -1, 3}, {1, 1, 1, 1, 1}}),
        // 4-bit runs alternate their two colours; a literal of five pixels is three bytes and
        // one byte of padding; a delta moves one pixel right.
        rle("skips4", 2, 4, "0512 0000 0005312310 00 0000 00020100 0323 0001",
            {{-1, 2, 3, 2, -1}, {3, 1, 2, 3, 1}, {1, 2, 1, 2, 1}}),
        // Everything skipped: a picture that is all transparent, not all black.
        rle("allskipped", 1, 8, "0001", {{-1, -1, -1}, {-1, -1, -1}}),
        // Nothing skipped: an opaque picture whose last odd column is its own colour.
        rle("full8", 1, 8, "0201 0103 0000 0003010203 00 0000 0202 0103 0001",
            {{2, 2, 3}, {1, 2, 3}, {1, 1, 3}}),
    };
    QTemporaryDir dir;
    for (const RleCase& c : cases) {
        BmpLayout l;
        l.width = int(c.rows.first().size());
        l.height = int(c.rows.size());
        l.bitCount = c.bitCount;
        l.compression = c.compression;
        l.palette = palette;
        l.pixels = c.stream;
        const QString path = dir.filePath(QString(c.name) + ".rle");
        ASSERT_TRUE(writeBytes(path, bmpBytes(l)));
        QList<QList<QRgb>> expected;
        for (const QList<int>& row : c.rows) {
            QList<QRgb> colours;
            for (int index : row) {
                colours << (index < 0 ? kClear : palette[index]);
            }
            expected << colours;
        }
        QString why;
        const QImage image = decodeToArgb(path, &why);
        ASSERT_FALSE(image.isNull()) << c.name << ": " << why.toStdString();
        expectPixels(image, expected, c.name);
    }
}

namespace {

struct IconCase {
    const char* name;
    int bits;
    QList<QList<quint32>> rows;
    QList<QList<bool>> mask;
    QList<QList<QRgb>> expected;
    QList<QRgb> palette;
    int directorySide;  // what the directory claims; 0 for the image's own size
};

IconCase icon(const char* name, int bits, QList<QList<quint32>> rows, QList<QList<bool>> mask,
              QList<QList<QRgb>> expected, QList<QRgb> palette = {}, int directorySide = 0) {
    return {name, bits, rows, mask, expected, palette, directorySide};
}

}  // namespace

TEST(BitmapDecode, IconsShowTheirAndMaskAndTheirOwnHeadersSize) {
    const QList<QList<bool>> corners = {
        {true, false, false, true}, {false, false, false, false}, {true, false, false, true}};
    const QList<QList<bool>> none(3, QList<bool>(4, false));
    const QList<QList<quint32>> rgb = {{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                                       {0x00FF00, 0x0000FF, 0xFFFFFF, 0xFF0000},
                                       {0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00}};
    const QList<QList<QRgb>> rgbOpaque = {{kRed, kGreen, kBlue, kWhite},
                                          {kGreen, kBlue, kWhite, kRed},
                                          {kBlue, kWhite, kRed, kGreen}};
    QList<QList<QRgb>> rgbMasked = rgbOpaque;
    for (const QPoint& corner : {QPoint(0, 0), QPoint(3, 0), QPoint(0, 2), QPoint(3, 2)}) {
        rgbMasked[corner.y()][corner.x()] = kClear;
    }
    QList<QList<quint32>> argb = rgb;
    for (QList<quint32>& row : argb) {
        for (quint32& v : row) {
            v |= 0x80000000;
        }
    }
    const QList<QList<QRgb>> half = {{0x80FF0000, 0x8000FF00, 0x800000FF, 0x80FFFFFF},
                                     {0x8000FF00, 0x800000FF, 0x80FFFFFF, 0x80FF0000},
                                     {0x800000FF, 0x80FFFFFF, 0x80FF0000, 0x8000FF00}};
    const IconCase cases[] = {
        icon("rgb24", 24, rgb, corners, rgbMasked),
        // 32-bit images whose alpha is all zero are drawn through their mask.
        icon("zeroalpha32", 32, rgb, corners, rgbMasked),
        icon("alpha32", 32, argb, corners, half),
        icon("palette4", 4, {{1, 2, 3, 4}, {2, 3, 4, 1}, {3, 4, 1, 2}}, corners, rgbMasked,
             {kBlack, kRed, kGreen, kBlue, kWhite}),
        // The directory says 16x16; the image's own header says 4x3, and it is drawn so.
        icon("misdirected", 24, rgb, none, rgbOpaque, {}, 16),
    };
    QTemporaryDir dir;
    for (const IconCase& c : cases) {
        IconImage entry{iconBitmap(c.rows, c.bits, c.palette, c.mask),
                        c.directorySide ? c.directorySide : 4,
                        c.directorySide ? c.directorySide : 3};
        const QString path = dir.filePath(QString(c.name) + ".ico");
        ASSERT_TRUE(writeBytes(path, icoBytes({entry})));
        QString why;
        const QImage image = decodeToArgb(path, &why);
        ASSERT_FALSE(image.isNull()) << c.name << ": " << why.toStdString();
        expectPixels(image, c.expected, c.name);
    }
}
