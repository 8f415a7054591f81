#pragma once
// The GraphicsMagick decoders (PCX, PICT and compressed Targa). Only GraphicsMagick.cpp
// touches Magick++; it is a plugin of its own, loaded on first use.

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

// What the plugin hands back from glimvane_graphicsmagick_plugin(); the version guards against
// a plugin left over from another build.
inline constexpr int kGraphicsMagickPluginVersion = 1;
struct GraphicsMagickPlugin {
    int version;
    bool (*pcxReadable)();
    std::optional<QSize> (*ping)(const QByteArray& bytes, const char* coder, QString* error);
    std::optional<QImage> (*read)(const QByteArray& bytes, const char* coder, QString* error);
};

}  // namespace gv
