#pragma once
// Byte-exact writers of the raster file shapes the decoders must draw as the formats' own
// reference decoders draw them: bitmaps with any header, mask or compression, icons with AND
// masks, Targa and PCX variants, PICT pictures, and PNG and TIFF files written through libpng
// and libtiff with the sample layouts Qt's readers got wrong. Tests know the pixel values they
// wrote, so the expected picture follows from the file, never from the decoder.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <functional>

namespace gvtest {

// ---- Windows and OS/2 bitmaps

struct BmpLayout {
    int headerSize = 40;  // 12 and 16..64 are OS/2's, 40, 52, 56, 108, 124 Windows'
    int width = 0;
    int height = 0;  // negative: rows stored top-down
    int bitCount = 24;
    quint32 compression = 0;
    QList<quint32> masks;  // at byte 40 of the header: inside it, or after a 40-byte one
    QList<QRgb> palette;   // 3 bytes an entry in a 12-byte header, else 4
    QByteArray pixels;     // as the file stores them
};
QByteArray bmpBytes(const BmpLayout& layout);
// Rows of `bits`-bit values given top row first, stored bottom row first unless topDown, each
// padded to four bytes; 16-, 24- and 32-bit values little-endian.
QByteArray bmpRows(const QList<QList<quint32>>& rows, int bits, bool topDown = false);

// ---- Icons

struct IconImage {
    QByteArray data;         // a bitmap (header, palette, colour rows, AND mask rows) or a PNG file
    int directoryWidth = 0;  // what the directory claims
    int directoryHeight = 0;
};
// A bitmap for an icon: colour rows of `bits`-bit values (top row first) and the AND mask
// (true = not covered), with the doubled height of the format.
QByteArray iconBitmap(const QList<QList<quint32>>& rows, int bits, const QList<QRgb>& palette,
                      const QList<QList<bool>>& mask);
QByteArray icoBytes(const QList<IconImage>& images);

// ---- Targa

struct TgaLayout {
    QByteArray id;
    int mapType = 0;
    int imageType = 2;
    int mapFirst = 0;
    int mapLength = 0;
    int mapEntryBits = 0;
    QByteArray map;
    int width = 0;
    int height = 0;
    int depth = 24;
    int descriptor = 0;
    QByteArray pixels;        // as stored (already run-length packed for types 9..11)
    int attributesType = -1;  // >= 0: a TGA 2.0 extension area with this alpha meaning
};
QByteArray tgaBytes(const TgaLayout& layout);

// ---- PCX

struct PcxLayout {
    int version = 5;
    int bits = 8;
    int planes = 1;
    int width = 0;
    int height = 0;
    QByteArray headerPalette;  // up to 48 bytes at byte 16
    QList<QByteArray> lines;   // each scan line's planes, unpacked; run-length packed here
    QByteArray vgaPalette;     // 768 bytes appended after the 0x0C marker when not empty
};
QByteArray pcxBytes(const PcxLayout& layout);

// ---- PICT (version 2, with the 512-byte application header)

// A picture of the given frame whose opcodes (each with its data) are `opcodes`.
QByteArray pictBytes(QSize frame, const QList<QByteArray>& opcodes);
// A PackBitsRect of 8-bit indices with its colour table.
QByteArray pictPackBitsRect(const QImage& indexed8);
// A DirectBitsRect of 16-bit (pack type 3) or 32-bit (pack type 4, 3 or 4 components) pixels.
QByteArray pictDirectBitsRect(const QImage& image, int pixelSize, int components = 3);
// QuickTime's compressed-picture opcode holding a JPEG of the image.
QByteArray pictQuickTimeJpeg(const QImage& image);

// ---- PNG through libpng

// An image of 16-bit RGB samples, grey samples or palette indices (colour type as libpng
// names it) with an optional tRNS chunk, Adam7-interlaced when asked.
struct PngLayout {
    int width = 0;
    int height = 0;
    int colourType = 2;
    int bitDepth = 16;
    bool interlaced = false;
    QList<QRgb> palette;
    QList<quint16> transparent;  // tRNS: one grey or three RGB values, or per-palette alphas
};
bool writePngSamples(const QString& path, const PngLayout& layout,
                     const std::function<QList<quint16>(int x, int y)>& samples);
// libpng's own decode, as 8-bit straight BGRA.
QImage referencePngDecode(const QString& path);

// ---- TIFF through libtiff

struct TiffLayout {
    int width = 0;
    int height = 0;
    int bits = 8;
    int samples = 1;
    int photometric = 1;   // as libtiff names them: 0 white is zero, 1 black, 2 RGB, ...
    int sampleFormat = 1;  // 1 unsigned, 2 signed, 3 floating point
    bool planar = false;   // each sample in a plane of its own
    int tile = 0;          // tile side; 0: strips of rowsPerStrip rows
    int rowsPerStrip = 2;
    QList<int> extraSamples;  // 1 associated alpha, 2 unassociated
    int compression = 1;
    int predictor = 1;
    int orientation = 1;
    QList<quint16> colourMap;  // red, green and blue tables one after the other
    int jpegYCbCr = 0;         // > 0: YCbCr through libtiff's JPEG codec at this quality
};
// sample(x, y, s) gives the stored value: an integer of `bits` bits, or a float.
bool writeTiffSamples(const QString& path, const TiffLayout& layout,
                      const std::function<double(int x, int y, int s)>& sample);
// libtiff's RGBA interface's decode (premultiplied, as it gives it), or a null image when
// that interface refuses the file.
QImage referenceTiffDecode(const QString& path);

}  // namespace gvtest
