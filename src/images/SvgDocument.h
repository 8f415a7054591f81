#pragma once
// An SVG drawing made safe to hand to the renderer: read once with Qt's XML reader (which caps
// what entities expand to), unpacked first when it is gzip-compressed (.svgz), and written
// back without what could make a renderer reach outside the file: references to other files
// or addresses, processing instructions, the document type. Depth and element count are
// bounded, so a hostile file is refused here rather than in the renderer.

#include <QByteArray>
#include <QByteArrayView>
#include <QSizeF>
#include <QString>
#include <optional>

namespace gv {

struct SvgDocument {
    QByteArray xml;  // the drawing as the renderer gets it
    // Its own size in CSS pixels (1/96 inch) from width and height, or from the viewBox where
    // those are missing or relative; empty when the file gives neither.
    QSizeF size;
};

inline constexpr int kMaxSvgDepth = 256;
inline constexpr qint64 kMaxSvgElements = 500'000;

// nullopt with a short English reason in *why; *tooLarge when the unpacked drawing would
// pass `budget` bytes.
std::optional<SvgDocument> readSvgDocument(QByteArrayView bytes, qint64 budget, QString* why,
                                           bool* tooLarge = nullptr);

// A length as SVG writes it ("12", "3.5mm", "2in") in CSS pixels; nullopt for a relative
// ("50%", "2em") or malformed one.
std::optional<double> svgLengthInPixels(QStringView text);

}  // namespace gv
