#pragma once
// The formats phones, cameras and the web write now (WebP, AVIF, HEIF/HEIC, JPEG XL), decoded by
// Debian's own libraries (libwebp, libavif, libheif, libjxl). Only PhotoFormats.cpp touches them;
// it is a module of its own (libglimvane_photo.so), loaded by PhotoFormatsPlugin.cpp on the
// first such file, which is only ever in the decoding helper, so the libraries and the codecs
// they pull in (dav1d, aom, libde265) never load into the window's process.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QList>
#include <QString>

namespace gv {

enum class PhotoFormat { WebP = 0, Avif = 1, Heif = 2, JpegXl = 3 };

// What a decode gives: every frame (one for a still picture; an animated WebP's frames each on
// the whole canvas, with how long each is shown), and what the caller still has to apply.
struct PhotoRead {
    QList<QImage> frames;
    QList<int> delaysMs;
    // 1 to 8 as Exif numbers them: how the frames are still to be turned. The libraries that
    // know the format's own transform (libheif's irot/imir, libjxl's orientation field) have
    // applied it already and leave 1 here.
    int orientation = 1;
    // A WebP's Exif chunk as it stands (a TIFF structure), for the caller to read the
    // orientation from; empty for the other formats, whose transforms are their own.
    QByteArray exif;
    // The embedded ICC profile the pixels are in; empty for sRGB.
    QByteArray iccProfile;
    QString why;
    bool tooLarge = false;

    bool ok() const { return !frames.isEmpty(); }
};

// Where the module takes its rasters from (the helper's shared memory), so that they are handed
// over without a copy; the images it returns are null when refused.
using PhotoRasterAllocator = QImage (*)(int width, int height, QImage::Format format);

// Decodes a whole file held in memory. A picture whose rasters (all frames together) would
// pass `budget` bytes is refused, setting tooLarge, from the size its header declares, before
// any pixel is decoded. Each library decodes on the calling thread alone.
PhotoRead readPhotoFormat(QByteArrayView bytes, PhotoFormat format, qint64 budget,
                          PhotoRasterAllocator allocate = nullptr);

// Whether the module is there to be loaded (a broken installation may lack it).
bool photoFormatsAvailable();
QString photoFormatsModuleName();

// Exif's orientation number for HEIF's rotation (irot, quarter turns anticlockwise) followed by
// its mirror (imir: 0 exchanges top and bottom, 1 left and right; -1 for none).
constexpr int orientationOfTransforms(int quarterTurnsAnticlockwise, int mirrorMode) {
    constexpr int kByTurn[4][3] = {{1, 2, 4}, {8, 7, 5}, {3, 4, 2}, {6, 5, 7}};
    const int column = mirrorMode == 1 ? 1 : mirrorMode == 0 ? 2 : 0;
    return kByTurn[quarterTurnsAnticlockwise & 3][column];
}

inline constexpr int kPhotoPluginVersion = 1;
struct PhotoPlugin {
    int version;
    PhotoRead (*read)(QByteArrayView bytes, PhotoFormat format, qint64 budget,
                      PhotoRasterAllocator allocate);
};

}  // namespace gv
