#include "images/JpegDecompressor.h"

#include <QColorSpace>
#include <cstdlib>

namespace gv {

void keepJpegMetadataMarkers(JpegDecompressor& d) {
    jpeg_save_markers(&d.info, JPEG_COM, 0xFFFF);
    jpeg_save_markers(&d.info, JPEG_APP0 + 2, 0xFFFF);
}

void readJpegMetadata(JpegDecompressor& d, JpegMetadata* out) {
    const jpeg_decompress_struct& info = d.info;
    if (info.density_unit == 1) {  // dots per inch
        out->dotsPerMeterX = static_cast<int>(100.0 * info.X_density / 2.54);
        out->dotsPerMeterY = static_cast<int>(100.0 * info.Y_density / 2.54);
    } else if (info.density_unit == 2) {  // dots per centimetre
        out->dotsPerMeterX = static_cast<int>(100.0 * info.X_density);
        out->dotsPerMeterY = static_cast<int>(100.0 * info.Y_density);
    }
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&d.info, &icc, &iccLength) && icc) {
        out->iccProfile = QByteArray(reinterpret_cast<const char*>(icc),
                                     static_cast<qsizetype>(iccLength));
    }
    std::free(icc);
    // A comment "key: value" (no blank in the key) is that text; any other is a description.
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker != JPEG_COM) {
            continue;
        }
        const QString comment = QString::fromUtf8(reinterpret_cast<const char*>(m->data),
                                                  static_cast<qsizetype>(m->data_length));
        const qsizetype colon = comment.indexOf(QLatin1String(": "));
        if (colon == -1 || comment.indexOf(QLatin1Char(' ')) < colon) {
            out->texts.append({QStringLiteral("Description"), comment});
        } else {
            out->texts.append({comment.left(colon), comment.mid(colon + 2)});
        }
    }
}

void JpegMetadata::applyTo(QImage& image) const {
    if (dotsPerMeterX > 0 && dotsPerMeterY > 0) {
        image.setDotsPerMeterX(dotsPerMeterX);
        image.setDotsPerMeterY(dotsPerMeterY);
    }
    if (!iccProfile.isEmpty()) {
        image.setColorSpace(QColorSpace::fromIccProfile(iccProfile));
    }
    for (const auto& [key, value] : texts) {
        image.setText(key, value);
    }
}

}  // namespace gv
