// The GraphicsMagick plugin: built as a shared object of its own (libglimvane_gm.so) and
// loaded by GraphicsMagickPlugin.cpp on the first PCX, PICT or compressed Targa file, so that
// GraphicsMagick and the forty libraries it pulls in cost nothing at start-up.

#include "platform/GraphicsMagick.h"

#include <Magick++.h>

#include <climits>
#include <mutex>
#include <string>

namespace gv {
namespace {

// Magick++ must be initialised once before any use, from whichever thread comes first. The
// library's own signal handlers stay out: Qt and the desktop own the process's signals.
void ensureInitialised() {
    static std::once_flag once;
    std::call_once(once, [] {
        MagickLib::ExceptionInfo exception;
        MagickLib::GetExceptionInfo(&exception);
        MagickLib::InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception);
        MagickLib::DestroyExceptionInfo(&exception);
    });
}

void setError(QString* error, const std::exception& e) {
    if (error) {
        *error = QString::fromLocal8Bit(e.what());
    }
}

// Forcing the coder through the "CODER:" file name stops GraphicsMagick from sniffing the
// contents and decoding, say, a PNG that was named .pcx.
Magick::Image prepared(const char* coder) {
    Magick::Image image;
    image.quiet(true);
    image.magick(coder);
    image.fileName(std::string(coder) + ":");
    return image;
}

bool pcxReadable() {
    ensureInitialised();
    try {
        return Magick::CoderInfo("PCX").isReadable();
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<QSize> ping(const QByteArray& bytes, const char* coder, QString* error) {
    ensureInitialised();
    try {
        Magick::Image image = prepared(coder);
        image.ping(Magick::Blob(bytes.constData(), static_cast<size_t>(bytes.size())));
        const QSize size(static_cast<int>(image.columns()), static_cast<int>(image.rows()));
        if (image.columns() == 0 || image.rows() == 0 || image.columns() > INT_MAX ||
            image.rows() > INT_MAX) {
            if (error) {
                *error = QStringLiteral("Image has no valid size");
            }
            return std::nullopt;
        }
        return size;
    } catch (const std::exception& e) {
        setError(error, e);
        return std::nullopt;
    }
}

std::optional<QImage> read(const QByteArray& bytes, const char* coder, QString* error) {
    ensureInitialised();
    try {
        Magick::Image image = prepared(coder);
        image.read(Magick::Blob(bytes.constData(), static_cast<size_t>(bytes.size())));
        const auto width = image.columns();
        const auto height = image.rows();
        if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) {
            if (error) {
                *error = QStringLiteral("Image has no valid size");
            }
            return std::nullopt;
        }
        QImage out(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
        if (out.isNull()) {
            if (error) {
                *error = QStringLiteral("Out of memory");
            }
            return std::nullopt;
        }
        // Row by row, because QImage pads its scan lines and GraphicsMagick does not.
        for (int y = 0; y < out.height(); ++y) {
            image.write(0, y, static_cast<unsigned>(width), 1, "RGB", Magick::CharPixel,
                        out.scanLine(y));
        }
        return out;
    } catch (const std::exception& e) {
        setError(error, e);
        return std::nullopt;
    }
}

}  // namespace
}  // namespace gv

extern "C" __attribute__((visibility("default"))) const gv::GraphicsMagickPlugin*
glimvane_graphicsmagick_plugin() {
    static const gv::GraphicsMagickPlugin plugin{gv::kGraphicsMagickPluginVersion, &gv::pcxReadable,
                                                 &gv::ping, &gv::read};
    return &plugin;
}
