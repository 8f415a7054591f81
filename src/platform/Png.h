#pragma once
// PNG decoding through libpng, the format's reference library (Qt's own PNG reader leaves the
// alpha of some 16-bit images uninitialised).

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <optional>

namespace gv {

// Decodes a whole PNG file held in memory: 8-bit output, transparency (tRNS included) as
// alpha, interlaced images put together. Refuses, setting *tooLarge, an image whose 4-byte
// pixels would pass `budget` bytes, before allocating for it.
std::optional<QImage> readPng(QByteArrayView bytes, qint64 budget, QString* why,
                              bool* tooLarge = nullptr);

}  // namespace gv
