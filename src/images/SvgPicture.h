#pragma once
// SVG drawings as pictures: held as vectors like metafiles, rendered at the size they are shown
// at (the decoding helper does it for files opened by the window), so they are sharp at every
// zoom. A drawing's own size (its width and height, or its viewBox) is its Actual Size.

#include <QByteArray>
#include <QSizeF>

#include "images/Decoder.h"
#include "images/Metafile.h"

namespace gv {

// The picture of a drawing `pixels` large that `renderer` paints; an error for a size that is
// unusable or whose 1:1 raster would pass the budget.
DecodeResult svgPicture(QByteArray original, QSizeF pixels, Metafile::Renderer renderer,
                        qint64 budget, double dpi);

// The drawing's size as its document states it, or as the renderer sizes it when the document
// states none; nullopt with *error.
std::optional<QSizeF> svgSizeOf(const QByteArray& xml, QSizeF stated, DecodeError* error);

// A drawing read and rendered in this process.
DecodeResult decodeSvgInProcess(const QByteArray& bytes, const DecodeRequest& request, double dpi);

DecodeError svgModuleMissing();

}  // namespace gv
