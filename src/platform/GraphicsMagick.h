#pragma once
// The GraphicsMagick decoders (PCX and PICT). Nothing outside this file touches Magick++.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace gv {

// Whether this GraphicsMagick was built with a PCX coder that can read; asked at run time
// because the library's coders are optional modules.
bool pcxDecoderAvailable();

// The image's size from its header only, read with the named coder ("PCX", "PICT"); the
// coder is forced, so other formats under the wrong name are refused.
std::optional<QSize> graphicsMagickPing(const QByteArray& bytes, const char* coder, QString* error);

// Decodes the first image of the bytes with the named coder.
std::optional<QImage> graphicsMagickRead(const QByteArray& bytes, const char* coder,
                                         QString* error);

}  // namespace gv
