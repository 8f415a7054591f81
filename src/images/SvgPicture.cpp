#include "images/SvgPicture.h"

#include <cmath>

#include "images/RasterRead.h"
#include "images/SvgDocument.h"
#include "platform/Svg.h"

namespace gv {
namespace {

// A side beyond this is no drawing a screen shows at 1:1 (and its HIMETRIC would overflow).
constexpr double kMaxSide = 1'000'000;

}  // namespace

DecodeError svgModuleMissing() {
    return {kErrLoadingModule, QStringLiteral("Error in loading the SVG renderer: %1 is missing "
                                              "beside the program. Reinstall Glimvane.")
                                   .arg(svgModuleName())};
}

std::optional<QSizeF> svgSizeOf(const QByteArray& xml, QSizeF stated, DecodeError* error) {
    if (!stated.isEmpty()) {
        return stated;
    }
    QString why;
    const std::optional<QSizeF> own = svgRendererSize(xml, &why);
    if (!own) {
        *error = {kErrInvalidPicture, QStringLiteral("Invalid picture: ") + why};
        return std::nullopt;
    }
    if (own->isEmpty()) {
        *error = {kErrInvalidPicture, QStringLiteral("Invalid picture: drawing without a size")};
        return std::nullopt;
    }
    return own;
}

DecodeResult svgPicture(QByteArray original, QSizeF pixels, Metafile::Renderer renderer,
                        qint64 budget, double dpi) {
    if (!std::isfinite(pixels.width()) || !std::isfinite(pixels.height()) ||
        pixels.width() > kMaxSide || pixels.height() > kMaxSide) {
        return DecodeError{kErrOutOfMemory, QStringLiteral("Out of memory")};
    }
    metafile::Layout layout;
    layout.himetric = QSize(int(std::lround(std::max(pixels.width(), 1.0) * 2540 / 96)),
                            int(std::lround(std::max(pixels.height(), 1.0) * 2540 / 96)));
    const Picture picture =
        Picture::fromMetafile(Metafile::playedElsewhere(MetafileKind::Svg, std::move(original),
                                                        layout, std::move(renderer)),
                              dpi);
    // The view works on a 1:1 raster of the picture.
    const QSize px = picture.sizePixels();
    if (rasterExceedsBudget(px.width(), px.height(), budget)) {
        return DecodeError{kErrOutOfMemory, QStringLiteral("Out of memory")};
    }
    return picture;
}

DecodeResult decodeSvgInProcess(const QByteArray& bytes, const DecodeRequest& request, double dpi) {
    QString why;
    bool tooLarge = false;
    std::optional<SvgDocument> doc = readSvgDocument(bytes, request.memoryBudget, &why, &tooLarge);
    if (!doc) {
        return tooLarge
                   ? DecodeError{kErrOutOfMemory, QStringLiteral("Out of memory")}
                   : DecodeError{kErrInvalidPicture, QStringLiteral("Invalid picture: ") + why};
    }
    if (!svgRendererAvailable()) {
        return svgModuleMissing();
    }
    DecodeError error;
    const std::optional<QSizeF> size = svgSizeOf(doc->xml, doc->size, &error);
    if (!size) {
        return error;
    }
    const QByteArray xml = doc->xml;
    auto renderer = [xml](const QByteArray&, const QSize& size, const QColor& background) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) {
            return QImage();
        }
        image.fill(background);
        return renderSvgOnto(xml, &image) ? image : QImage();
    };
    return svgPicture(bytes, *size, renderer, request.memoryBudget, dpi);
}

}  // namespace gv
