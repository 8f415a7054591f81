#pragma once
// Camera raw files (CR2, CR3, NEF, ARW, DNG, ORF, RAF, RW2) through LibRaw. Only CameraRaw.cpp
// touches LibRaw; it is a module of its own (libglimvane_raw.so), loaded by
// CameraRawPlugin.cpp on the first raw file, so that LibRaw costs a start nothing.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <optional>

namespace gv {

// What is shown of a raw file: the full-size JPEG the camera embedded, or where it embedded
// none (or only an uncompressed one), a raster: that bitmap preview, or the raw data developed
// at half size.
struct RawPreview {
    QByteArray jpeg;
    QImage raster;  // RGB888 as stored, not yet turned
    // Exif-style (1 to 8): how the stored preview is turned upright, from the raw's own tag.
    int orientation = 1;
};

// nullopt with a reason in *why; *tooLarge when developing the raw data would pass `budget`
// bytes.
std::optional<RawPreview> readRawPreview(QByteArrayView bytes, qint64 budget, QString* why,
                                         bool* tooLarge);

bool rawDecoderAvailable();
QString rawModuleName();

inline constexpr int kRawPluginVersion = 1;
struct RawPlugin {
    int version;
    std::optional<RawPreview> (*read)(QByteArrayView bytes, qint64 budget, QString* why,
                                      bool* tooLarge);
};

}  // namespace gv
