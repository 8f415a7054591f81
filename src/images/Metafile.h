// Windows metafiles (WMF, with or without the placeable header) and enhanced metafiles
// (EMF), played by our own record player onto a QPainter. Pictures stay vector until they
// are painted, so a picture fitted to the window is drawn sharp at any size.

#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

#include "images/metafile/Layout.h"

class QPainter;

namespace gv {

// An SVG drawing is held like a metafile (vector until painted), always rendered by a renderer.
enum class MetafileKind { Wmf, Emf, Svg };

class Metafile final {
public:
    // Reads a WMF (with or without the 22-byte placeable header) or an EMF. Returns nullopt
    // with a short English reason in *error for anything it cannot play.
    static std::optional<Metafile> fromBytes(const QByteArray& bytes, QString* error = nullptr);

    // Renders the picture's bytes at a size over a background, in another process.
    using Renderer =
        std::function<QImage(const QByteArray& bytes, const QSize& size, const QColor& background)>;
    // A metafile whose records were read, and are played, elsewhere (the decoding helper):
    // nothing of its bytes is played in this process.
    static Metafile playedElsewhere(MetafileKind kind, QByteArray bytes,
                                    const metafile::Layout& layout, Renderer renderer);

    MetafileKind kind() const { return m_kind; }
    const metafile::Layout& layout() const { return m_layout; }
    // Natural size in HIMETRIC (1/100 mm).
    QSize sizeHimetric() const { return m_layout.himetric; }
    // Natural size in pixels at the given resolution (2540 HIMETRIC per inch).
    QSize sizePixels(double dpi = 96) const;

    // Plays the records onto the painter, mapping the picture's frame onto target. Clipping
    // is worked out in whole units of the painter's coordinates, so for a sharp result the
    // target is best given in device pixels.
    void play(QPainter& painter, const QRectF& target) const;
    // A raster of the picture at the given size; a null image for an unusable size.
    QImage render(const QSize& size, const QColor& background = Qt::white) const;

    // Bytes the images inside the picture (EMF+ image objects) take at most at once while it
    // is played.
    qint64 imageBytes() const;

    // The original bytes, so the picture can be saved back in its own format.
    const QByteArray& bytes() const { return m_bytes; }

private:
    Metafile(MetafileKind kind, QByteArray bytes, const metafile::Layout& layout)
        : m_kind(kind), m_bytes(std::move(bytes)), m_layout(layout) {}

    MetafileKind m_kind = MetafileKind::Wmf;
    QByteArray m_bytes;
    metafile::Layout m_layout;
    Renderer m_renderer;
};

}  // namespace gv
