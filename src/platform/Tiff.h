#pragma once
// TIFF decoding through libtiff. Only Tiff.cpp touches libtiff; it is a module of its own
// (libglimvane_tiff.so), loaded by TiffPlugin.cpp on the first TIFF, so that libtiff and the
// codecs it pulls in cost a start nothing.

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <optional>

namespace gv {

// Decodes the first full-size image of a TIFF file held in memory: any bit depth from 1 to 32
// (and 16-, 24-, 32- and 64-bit floating point), grey, RGB, palette, CMYK and CIELab samples,
// with their alpha, in strips or tiles, interleaved or in planes; what libtiff's RGBA
// interface reads besides (YCbCr, old-style JPEG, LogLuv). Refuses, setting *tooLarge, an
// image whose 4-byte pixels would pass `budget` bytes, before allocating for it. The rows come
// as stored: turning them by the file's orientation is the caller's work, as for every format.
// The image comes in memory from `allocate` where one is given (the decoding helper's shared
// memory), else in ordinary memory.
using TiffRasterAllocator = QImage (*)(int width, int height, QImage::Format format);
std::optional<QImage> readTiff(QByteArrayView bytes, qint64 budget, QString* why,
                               bool* tooLarge = nullptr, TiffRasterAllocator allocate = nullptr);

// Whether the TIFF module is there to be loaded (a broken installation may lack it).
bool tiffDecoderAvailable();
// The module's file name, for the message that says it is missing.
QString tiffModuleName();

// What the module hands back from glimvane_tiff_plugin(); the version guards against a module
// left over from another build.
inline constexpr int kTiffPluginVersion = 3;
struct TiffPlugin {
    int version;
    std::optional<QImage> (*read)(QByteArrayView bytes, qint64 budget, QString* why,
                                  bool* tooLarge, TiffRasterAllocator allocate);
};

}  // namespace gv
