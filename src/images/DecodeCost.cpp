#include "images/DecodeCost.h"

#include "images/EmbeddedMetadata.h"
#include "images/HeaderSize.h"
#include "images/Orientation.h"

#include <QtEndian>
#include <algorithm>
#include <climits>

namespace gv {
namespace {

constexpr qint64 kBlockBytes = 64 * 2;  // one 8x8 block of 16-bit coefficients

quint16 be16At(QByteArrayView b, qsizetype at) {
    return qFromBigEndian<quint16>(b.data() + at);
}

quint32 be32At(QByteArrayView b, qsizetype at) {
    return qFromBigEndian<quint32>(b.data() + at);
}

qint64 pixels(QSize s) {
    return s.isValid() ? qint64(s.width()) * s.height() : 0;
}

qint64 ceilDiv(qint64 a, qint64 b) {
    return (a + b - 1) / b;
}

// The size a PNG's header declares and the bytes a pixel takes in the raster libpng fills:
// 8-bit grey stays one byte, everything else becomes a 32-bit pixel.
std::optional<std::pair<QSize, int>> pngLayout(QByteArrayView head) {
    if (head.size() < 29 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.sliced(12, 4) != "IHDR") {
        return std::nullopt;
    }
    const quint32 w = be32At(head, 16);
    const quint32 h = be32At(head, 20);
    if (w == 0 || h == 0 || w > INT_MAX || h > INT_MAX) {
        return std::nullopt;
    }
    const int colourType = static_cast<unsigned char>(head[25]);
    // A tRNS chunk before the pixels makes a grey image one with alpha.
    const qsizetype pixelsAt = head.indexOf(QByteArrayView("IDAT"));
    const qsizetype trns = head.indexOf(QByteArrayView("tRNS"));
    const bool transparency = trns >= 0 && (pixelsAt < 0 || trns < pixelsAt);
    const int bytes = colourType == 0 && !transparency ? 1 : 4;
    return std::pair{QSize(int(w), int(h)), bytes};
}

}  // namespace

qint64 JpegFrame::coefficientBytes() const {
    if (!multiScan) {
        return 0;
    }
    qint64 total = 0;
    for (int c = 0; c < components && c < 4; ++c) {
        // libjpeg rounds each component's blocks up to whole groups of its sampling factors.
        const qint64 blocksW =
            ceilDiv(ceilDiv(qint64(size.width()) * h[c], 8LL * hMax), h[c]) * h[c];
        const qint64 blocksH =
            ceilDiv(ceilDiv(qint64(size.height()) * v[c], 8LL * vMax), v[c]) * v[c];
        total += blocksW * blocksH * kBlockBytes;
    }
    return total;
}

std::optional<JpegFrame> readJpegFrame(QByteArrayView head) {
    if (head.size() < 4 || uchar(head[0]) != 0xFF || uchar(head[1]) != 0xD8) {
        return std::nullopt;
    }
    std::optional<JpegFrame> frame;
    qsizetype at = 2;
    while (at + 4 <= head.size()) {
        if (uchar(head[at]) != 0xFF) {
            return frame && frame->components > 0 ? frame : std::nullopt;
        }
        const uchar marker = uchar(head[at + 1]);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const qsizetype length = be16At(head, at + 2);
        if (length < 2) {
            return std::nullopt;
        }
        const qsizetype body = at + 4;
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof && !frame) {
            if (body + 6 > head.size()) {
                return std::nullopt;
            }
            JpegFrame f;
            f.size = QSize(be16At(head, body + 3), be16At(head, body + 1));
            f.components = uchar(head[body + 5]);
            if (f.size.isEmpty() || f.components < 1 || body + 6 + 3 * f.components > head.size()) {
                return std::nullopt;
            }
            for (int c = 0; c < std::min(f.components, 4); ++c) {
                const uchar sampling = uchar(head[body + 6 + 3 * c + 1]);
                f.h[c] = std::clamp(sampling >> 4, 1, 4);
                f.v[c] = std::clamp(sampling & 15, 1, 4);
                f.hMax = std::max(f.hMax, f.h[c]);
                f.vMax = std::max(f.vMax, f.v[c]);
            }
            // Progressive (C2, C6, CA, CE) always keeps the coefficients.
            f.multiScan = (marker & 0x03) == 0x02;
            frame = f;
        } else if (marker == 0xDA) {
            if (!frame || body >= head.size()) {
                return std::nullopt;
            }
            if (uchar(head[body]) < frame->components) {
                frame->multiScan = true;
            }
            return frame;
        }
        at = body + length - 2;
    }
    // The first scan lies beyond the bytes looked at: assume the costly kind.
    if (frame) {
        frame->multiScan = true;
    }
    return frame;
}

QSize jpegScaledDecodeSize(QSize full, QSize box) {
    if (!box.isValid() || box.isEmpty() || full.isEmpty()) {
        return full;
    }
    const int ratio = std::min(full.width() / box.width(), full.height() / box.height());
    const int scale = ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
    return QSize(int(ceilDiv(full.width(), scale)), int(ceilDiv(full.height(), scale)));
}

DecodeCost decodeCost(QByteArrayView head, qint64 fileSize, const TypeKeyInfo& info,
                      QSize fitInto) {
    DecodeCost cost;
    switch (info.decoder) {
        case ImageDecoder::Png:
            if (const auto layout = pngLayout(head)) {
                cost.declared = layout->first;
                cost.bytes = pixels(layout->first) * layout->second + fileSize;
            }
            return cost;
        case ImageDecoder::QtReader:
            if (QByteArrayView(info.readerFormat) == "jpeg") {
                const std::optional<JpegFrame> frame = readJpegFrame(head);
                if (!frame) {
                    return cost;
                }
                // A photograph taken on its side is shown, and fitted, turned.
                const int orientation = readEmbeddedMetadata(head).orientation;
                cost.declared = orientedSize(frame->size, orientation);
                const bool reduced =
                    fitInto.isValid() && (cost.declared.width() > fitInto.width() ||
                                          cost.declared.height() > fitInto.height());
                const QSize box = orientedSize(fitInto, orientation);
                // At a reduced scale: the scaled decode and the picture scaled from it. Whole:
                // one 32-bit raster (the ways a colour JPEG takes at 1:1 use less, and fall back
                // to this one for a damaged file). Turning it makes one more.
                const qint64 raster =
                    (reduced ? 4 * (pixels(jpegScaledDecodeSize(frame->size, box)) +
                                    pixels(frame->size.scaled(box, Qt::KeepAspectRatio)))
                             : 4 * pixels(frame->size)) *
                    (orientation == 1 ? 1 : 2);
                // libjpeg's sample buffers of a few block rows, on top of the coefficients.
                const qint64 rows =
                    qint64(frame->size.width()) * frame->components * 8 * frame->vMax * 2;
                cost.bytes = raster + frame->coefficientBytes() + rows + fileSize;
                return cost;
            }
            // GIF: Qt's reader keeps the frame and the canvas it is drawn on.
            break;
        default:
            break;
    }
    // The readers of the other types fill one 32-bit raster from the file's bytes in memory.
    // (PICT pictures drawn by GraphicsMagick go through its own pixel cache of 8 bytes a pixel
    // first.)
    QString key = info.key;
    if (const std::optional<QSize> declared = declaredImageSize(head, key)) {
        const qint64 perPixel = info.decoder == ImageDecoder::Pict       ? 12
                                : info.decoder == ImageDecoder::QtReader ? 8
                                                                         : 4;
        // A TIFF whose directory comes first says how it is turned, which takes a copy.
        const int orientation =
            info.decoder == ImageDecoder::Tiff ? readEmbeddedMetadata(head).orientation : 1;
        cost.declared = orientedSize(*declared, orientation);
        cost.bytes = pixels(*declared) * (orientation == 1 ? perPixel : perPixel + 4) + fileSize;
    }
    return cost;
}

}  // namespace gv
