#pragma once
// Writers of real image files of every type Glimvane reads, so that tests and the sample
// folder never depend on files copied from elsewhere. Qt writes what it can; the GIF, RLE
// bitmap, Targa, icon, cursor and EPS writers are our own; PCX and PICT come from the
// GraphicsMagick command.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <array>

namespace gvtest {

// The test picture: four quadrants, top-left, top-right, bottom-left, bottom-right.
using QuadrantColours = std::array<QColor, 4>;
inline const QuadrantColours kQuadrantColours = {QColor(220, 30, 30), QColor(30, 200, 40),
                                                 QColor(30, 40, 210), QColor(240, 220, 20)};
QImage quadrantImage(QSize size, const QuadrantColours& colours = kQuadrantColours);
// Noise over gradients: every block differs, so a JPEG's data spreads over the file as a
// photo's does.
QImage noisyImage(QSize size, quint32 seed);
// The centre of each quadrant, in the order of the colours.
std::array<QPoint, 4> quadrantCentres(QSize size);

// Each writer returns false when the file could not be written.
bool writeBytes(const QString& path, const QByteArray& bytes);
bool writeWithQt(const QString& path, const QImage& image, const char* format, int quality = -1);

bool writeBmp(const QString& path, const QImage& image);  // also .dib
// A bitmap with 8-bit run-length compression (BI_RLE8); the image must have at most 256
// colours to come out exact.
bool writeRle8Bmp(const QString& path, const QImage& image);
bool writeJpeg(const QString& path, const QImage& image, int quality = 90);
// A JPEG file's bytes as Qt's writer makes them, in memory.
QByteArray jpegBytes(const QImage& image);
bool writePng(const QString& path, const QImage& image);
bool writeTiff(const QString& path, const QImage& image);

enum class GifVersion { V87a, V89a };
bool writeGif(const QString& path, const QImage& image, GifVersion version = GifVersion::V89a);
struct GifFrame {
    QImage image;
    int delayCs = 10;  // hundredths of a second
};
// A looping 89a animation; every frame has its own colour table.
bool writeAnimatedGif(const QString& path, const QList<GifFrame>& frames);

enum class TgaCompression { None, Rle };
enum class TgaOrigin { BottomLeft, TopLeft };
bool writeTga(const QString& path, const QImage& image,
              TgaCompression compression = TgaCompression::None,
              TgaOrigin origin = TgaOrigin::BottomLeft, bool withAlpha = false);

// Through the "gm convert" command.
bool writePcx(const QString& path, const QImage& image);
bool writePict(const QString& path, const QImage& image);

// Icons hold one 32-bit image per entry (each at most 256x256); a cursor is the same layout
// with resource type 2 and the hot spot in place of planes and bit count.
bool writeIco(const QString& path, const QList<QImage>& images);
bool writeCur(const QString& path, const QImage& image, QPoint hotSpot);

// DOS EPS: the 30-byte binary header followed by the sections that are not empty.
QByteArray dosEpsBytes(const QByteArray& postscript, const QByteArray& wmf, const QByteArray& tiff);
// PostScript that paints the four quadrants over a box of the given size in points.
QByteArray quadrantPostScript(QSize points, const QuadrantColours& colours = kQuadrantColours);
// PostScript that paints the image pixel for pixel, one point per pixel.
QByteArray imagePostScript(const QImage& image);
// The PostScript paints the same picture as the preview.
bool writeEpsWithTiffPreview(const QString& path, const QImage& preview);
bool writePlainEps(const QString& path, QSize points,
                   const QuadrantColours& colours = kQuadrantColours);

// Writes the image in the format its extension names (every raster type Glimvane reads;
// .eps gets a TIFF preview, .rle run-length compression).
bool writeImageFile(const QString& path, const QImage& image);

// Broken files.
bool writeEmptyFile(const QString& path);
bool writeTruncatedCopy(const QString& source, const QString& target, qint64 keepBytes);
bool writeRandomBytes(const QString& path, qint64 size, quint32 seed);

// Photo metadata written by exiftool, an independent tool: the Exif orientation (1 to 8) of a
// JPEG or TIFF, and an ICC profile embedded in a JPEG, PNG or TIFF.
bool setExifOrientation(const QString& path, int orientation);
bool embedIccProfile(const QString& path, const QByteArray& profile);

}  // namespace gvtest
