#include "images/TgaReader.h"

#include <cstring>
#include <vector>

namespace gv {
namespace {

constexpr qsizetype kHeaderSize = 18;
constexpr qsizetype kFooterSize = 26;
constexpr char kFooterSignature[] = "TRUEVISION-XFILE.";
constexpr qsizetype kExtensionAttributesAt = 494;
constexpr QRgb kOpaqueBlack = 0xFF000000u;

enum ImageType { kMapped = 1, kTrueColour = 2, kGrey = 3, kRle = 8 };

// What the optional extension area says about the alpha bits.
enum class AlphaUse { Straight, Premultiplied, Ignored };

quint8 scale5(unsigned v) {
    return scaleToByte(v & 0x1F, 31);
}

// A 15- or 16-bit colour: five bits each of red, green and blue, and one alpha bit.
QRgb colour16(quint16 v, bool alphaBit) {
    const int a = alphaBit ? ((v & 0x8000) ? 255 : 0) : 255;
    return qRgba(scale5(v >> 10), scale5(v >> 5), scale5(v), a);
}

// The TGA 2.0 footer points at an extension area whose attributes type tells whether the
// alpha bits hold alpha at all.
AlphaUse alphaUse(const uchar* bytes, qsizetype size) {
    if (size < kHeaderSize + kFooterSize) {
        return AlphaUse::Straight;
    }
    const uchar* footer = bytes + size - kFooterSize;
    if (std::memcmp(footer + 8, kFooterSignature, sizeof kFooterSignature) != 0) {
        return AlphaUse::Straight;
    }
    const qint64 extension = le32(footer);
    if (extension < kHeaderSize || extension + kExtensionAttributesAt + 1 > size - kFooterSize) {
        return AlphaUse::Straight;
    }
    switch (bytes[extension + kExtensionAttributesAt]) {
        case 0:
        case 1:
        case 2:
            return AlphaUse::Ignored;
        case 4:
            return AlphaUse::Premultiplied;
        default:
            return AlphaUse::Straight;
    }
}

class PixelDecoder final {
public:
    int bytesPerPixel = 0;
    int type = 0;
    bool alphaBits = false;  // the 16-bit pixels' top bit, or a 16-bit grey pixel's second byte
    int mapFirst = 0;
    std::vector<QRgb> map;

    QRgb operator()(const uchar* p) const {
        switch (type) {
            case kMapped: {
                const int index = (bytesPerPixel == 1 ? p[0] : le16(p)) - mapFirst;
                return index >= 0 && index < int(map.size()) ? map[index] : kOpaqueBlack;
            }
            case kGrey:
                return qRgba(p[0], p[0], p[0], bytesPerPixel == 2 && alphaBits ? p[1] : 255);
            default:
                return colour(p, bytesPerPixel, alphaBits);
        }
    }

    static QRgb colour(const uchar* p, int bytes, bool alphaBit) {
        switch (bytes) {
            case 2:
                return colour16(le16(p), alphaBit);
            case 3:
                return qRgb(p[2], p[1], p[0]);
            default:
                return qRgba(p[2], p[1], p[0], p[3]);
        }
    }
};

}  // namespace

RasterRead readTga(QByteArrayView file, qint64 budget) {
    const auto* bytes = reinterpret_cast<const uchar*>(file.data());
    const qsizetype size = file.size();
    if (size < kHeaderSize) {
        return rasterInvalid("not a Targa file");
    }
    const int idLength = bytes[0];
    const int mapType = bytes[1];
    const int imageType = bytes[2];
    const int mapFirst = le16(bytes + 3);
    const int mapLength = le16(bytes + 5);
    const int mapEntryBits = bytes[7];
    const qint64 width = le16(bytes + 12);
    const qint64 height = le16(bytes + 14);
    const int depth = bytes[16];
    const int descriptor = bytes[17];
    const int baseType = imageType & ~kRle;
    const bool rle = (imageType & kRle) != 0;
    bool valid = mapType <= 1 && imageType <= 11 && baseType >= kMapped && baseType <= kGrey;
    switch (baseType) {
        case kMapped:
            valid = valid && mapType == 1 && (depth == 8 || depth == 16);
            break;
        case kTrueColour:
            valid = valid && (depth == 15 || depth == 16 || depth == 24 || depth == 32);
            break;
        default:
            valid = valid && (depth == 8 || depth == 16);
            break;
    }
    const bool mapValid =
        mapEntryBits == 15 || mapEntryBits == 16 || mapEntryBits == 24 || mapEntryBits == 32;
    if (!valid || (mapType == 1 && mapLength > 0 && !mapValid)) {
        return rasterInvalid("not a Targa file, or a kind of Targa file not supported");
    }
    if (width == 0 || height == 0) {
        return rasterInvalid("Targa image without a size");
    }
    if (rasterExceedsBudget(width, height, budget)) {
        return rasterTooLarge();
    }
    // The image ID comes first, then the colour map (also in true-colour files that carry
    // one), then the pixels.
    const int mapEntryBytes = (mapEntryBits + 7) / 8;
    const qsizetype mapAt = kHeaderSize + idLength;
    const qsizetype pixelsAt = mapAt + (mapType == 1 ? qsizetype(mapLength) * mapEntryBytes : 0);
    if (pixelsAt > size) {
        return rasterInvalid("Targa file shorter than its colour map");
    }
    const AlphaUse use = alphaUse(bytes, size);
    const int declaredAlpha = use == AlphaUse::Ignored ? 0 : descriptor & 0x0F;
    PixelDecoder decode;
    decode.bytesPerPixel = (depth + 7) / 8;
    decode.type = baseType;
    decode.alphaBits = declaredAlpha > 0;
    decode.mapFirst = mapFirst;
    bool alpha = false;
    if (baseType == kMapped) {
        // 32-bit entries always carry alpha (unused alpha shows opaque below).
        alpha = (mapEntryBits == 32 && use != AlphaUse::Ignored) ||
                (mapEntryBits == 16 && declaredAlpha > 0);
        decode.map.resize(mapLength);
        for (int i = 0; i < mapLength; ++i) {
            decode.map[i] = PixelDecoder::colour(bytes + mapAt + i * mapEntryBytes, mapEntryBytes,
                                                 mapEntryBits == 16 && declaredAlpha > 0);
            if (!alpha) {
                decode.map[i] |= kOpaqueBlack;
            }
        }
    } else if (baseType == kTrueColour) {
        alpha = (depth == 32 && use != AlphaUse::Ignored) || (depth == 16 && declaredAlpha > 0);
    } else {
        alpha = depth == 16 && declaredAlpha > 0;
    }
    const bool premultiplied = alpha && use == AlphaUse::Premultiplied;
    RasterRead r = allocateRaster(width, height,
                                  !alpha          ? QImage::Format_RGB32
                                  : premultiplied ? QImage::Format_ARGB32_Premultiplied
                                                  : QImage::Format_ARGB32,
                                  budget);
    if (!r.ok()) {
        return r;
    }
    // Pixels the file does not hold (a compressed file cut short) stay black or transparent.
    r.image.fill(alpha ? QRgb(0) : kOpaqueBlack);
    const bool rightToLeft = (descriptor & 0x10) != 0;
    const bool topDown = (descriptor & 0x20) != 0;
    const int bpp = decode.bytesPerPixel;
    const qint64 total = width * height;
    qint64 pixel = 0;
    QRgb* row = nullptr;
    qint64 rowIndex = -1;
    auto put = [&](QRgb colour) {
        const qint64 y = pixel / width;
        const qint64 x = pixel % width;
        if (y != rowIndex) {
            rowIndex = y;
            row = reinterpret_cast<QRgb*>(
                r.image.scanLine(static_cast<int>(topDown ? y : height - 1 - y)));
        }
        row[rightToLeft ? width - 1 - x : x] = alpha ? colour : colour | kOpaqueBlack;
        ++pixel;
    };
    qsizetype at = pixelsAt;
    if (!rle) {
        if (size - pixelsAt < total * bpp) {
            return rasterInvalid("Targa file shorter than its pixels");
        }
        while (pixel < total) {
            put(decode(bytes + at));
            at += bpp;
        }
    } else {
        // Packets may run on from one row into the next.
        while (pixel < total && at < size) {
            const int packet = bytes[at++];
            const qint64 count = std::min<qint64>((packet & 0x7F) + 1, total - pixel);
            if (packet & 0x80) {
                if (size - at < bpp) {
                    break;
                }
                const QRgb colour = decode(bytes + at);
                at += bpp;
                for (qint64 i = 0; i < count; ++i) {
                    put(colour);
                }
            } else {
                const qint64 available = std::min<qint64>(count, (size - at) / bpp);
                for (qint64 i = 0; i < available; ++i, at += bpp) {
                    put(decode(bytes + at));
                }
                if (available < count) {
                    break;
                }
            }
        }
    }
    if (premultiplied) {
        // Colour above its alpha cannot be premultiplied; keep the data Qt paints in range.
        for (int y = 0; y < r.image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(r.image.scanLine(y));
            for (int x = 0; x < r.image.width(); ++x) {
                const int a = qAlpha(line[x]);
                line[x] = qRgba(std::min(qRed(line[x]), a), std::min(qGreen(line[x]), a),
                                std::min(qBlue(line[x]), a), a);
            }
        }
    } else {
        opaqueWhenAlphaUnused(r.image);
    }
    return r;
}

}  // namespace gv
