#pragma once
// The pixel size an image file's header declares, read from the fixed header fields alone,
// so that an absurd size is refused before any decoder allocates for it.

#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <optional>

namespace gv {

// How many leading bytes of a file declaredImageSize() looks at: a HEIF's item properties follow
// the list of its items, which a phone's photograph of many tiles makes long.
inline constexpr qsizetype kHeaderPeekBytes = 64 * 1024;

// The size the header of a file of that type key declares (bmp, dib, rle, tga, gif, pcx, pct;
// the canvas of a WebP, the largest item of an AVIF or HEIF, a JPEG XL's size header before
// its orientation);
// nullopt when the key has no such header or the header is too short or not of that type.
std::optional<QSize> declaredImageSize(QByteArrayView head, const QString& key);

}  // namespace gv
