#include "images/PictReader.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <optional>
#include <vector>

namespace gv {
namespace {

constexpr qsizetype kApplicationHeader = 512;
constexpr int kEndOfPicture = 0x00FF;

enum Opcode {
    kClip = 0x0001,
    kBkPixPat = 0x0012,
    kFillPixPat = 0x0014,
    kRgbForeground = 0x001A,
    kRgbBackground = 0x001B,
    kLongText = 0x0028,
    kDhDvText = 0x002B,
    kBitsRect = 0x0090,
    kBitsRgn = 0x0091,
    kPackBitsRect = 0x0098,
    kPackBitsRgn = 0x0099,
    kDirectBitsRect = 0x009A,
    kDirectBitsRgn = 0x009B,
    kLongComment = 0x00A1,
    kCompressedQuickTime = 0x8200,
    kUncompressedQuickTime = 0x8201,
};

// Big-endian reads that never pass the end: a read past it marks the cursor failed and gives 0.
class Cursor final {
public:
    Cursor(const uchar* data, qsizetype size, qsizetype at)
        : m_data(data), m_size(size), m_at(at) {}

    bool ok() const { return m_ok; }
    qsizetype at() const { return m_at; }
    qsizetype left() const { return m_ok ? m_size - m_at : 0; }

    bool skip(qint64 n) {
        if (n < 0 || n > left()) {
            m_ok = false;
            return false;
        }
        m_at += n;
        return true;
    }
    const uchar* take(qint64 n) {
        const uchar* p = m_data + m_at;
        return skip(n) ? p : nullptr;
    }
    int u8() {
        const uchar* p = take(1);
        return p ? p[0] : 0;
    }
    int u16() {
        const uchar* p = take(2);
        return p ? be16(p) : 0;
    }
    int s16() { return static_cast<qint16>(u16()); }
    quint32 u32() {
        const uchar* p = take(4);
        return p ? be32(p) : 0;
    }
    QRect rect() {
        const int top = s16();
        const int left = s16();
        const int bottom = s16();
        const int right = s16();
        return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    }
    void alignWord(qsizetype start) {
        if ((m_at - start) % 2 != 0) {
            skip(1);
        }
    }
    // Regions and polygons start with their own length, that word included.
    void skipSized() { skip(u16() - 2); }

private:
    const uchar* m_data;
    qsizetype m_size;
    qsizetype m_at;
    bool m_ok = true;
};

// PackBits: a flag byte n, then n+1 literal units or one unit repeated 257-n times.
bool unpackBits(const uchar* in, qsizetype length, uchar* out, qsizetype outLength, int unit) {
    qsizetype at = 0;
    qsizetype done = 0;
    while (done < outLength && at < length) {
        const int flag = in[at++];
        if (flag < 128) {
            const qsizetype bytes = qsizetype(flag + 1) * unit;
            const qsizetype n = std::min({bytes, length - at, outLength - done});
            std::copy_n(in + at, n, out + done);
            at += bytes;
            done += n;
        } else if (flag > 128) {
            if (at + unit > length) {
                return false;
            }
            for (int i = 0; i < 257 - flag && done < outLength; ++i) {
                const qsizetype n = std::min<qsizetype>(unit, outLength - done);
                std::copy_n(in + at, n, out + done);
                done += n;
            }
            at += unit;
        }
    }
    return true;
}

struct PixMap {
    int rowBytes = 0;
    QRect bounds;
    bool isPixMap = false;  // else a 1-bit BitMap
    int packType = 0;
    int pixelSize = 1;
    int componentCount = 1;
    std::vector<QRgb> colours;
};

class PictDecoder final {
public:
    PictDecoder(const uchar* data, qsizetype size, qint64 budget)
        : m_data(data), m_size(size), m_budget(budget) {}

    RasterRead run() {
        // Files carry a 512-byte application header; pictures from the clipboard do not.
        RasterRead withHeader = decodeFrom(kApplicationHeader);
        if (withHeader.ok() || withHeader.failure == RasterFailure::TooLarge) {
            return withHeader;
        }
        RasterRead bare = decodeFrom(0);
        return bare.ok() || !m_foundWithHeader ? bare : withHeader;
    }

private:
    RasterRead decodeFrom(qsizetype start) {
        m_drewSomething = false;
        m_foreground = 0xFF000000;
        m_background = 0xFFFFFFFF;
        Cursor c(m_data, m_size, start);
        c.u16();  // the picture's size, of no use beyond 64 KB
        const QRect frame = c.rect();
        if (!c.ok() || frame.width() <= 0 || frame.height() <= 0) {
            return rasterInvalid("not a PICT file");
        }
        const qsizetype opcodes = c.at();
        bool version2 = false;
        if (c.u8() == 0x11 && c.u8() == 0x01) {
            version2 = false;
        } else {
            c = Cursor(m_data, m_size, opcodes);
            if (c.u16() != 0x0011 || c.u16() != 0x02FF) {
                return rasterInvalid("not a PICT file");
            }
            version2 = true;
        }
        m_foundWithHeader = m_foundWithHeader || start == kApplicationHeader;
        m_frame = frame;
        m_scale = 1.0;
        if (version2) {
            readHeaderOp(c);
        }
        const QSize canvasSize(qRound(frame.width() * m_scale), qRound(frame.height() * m_scale));
        RasterRead canvas =
            allocateRaster(canvasSize.width(), canvasSize.height(), QImage::Format_RGB32, m_budget);
        if (!canvas.ok()) {
            return canvas;
        }
        canvas.image.fill(Qt::white);
        m_canvas = &canvas.image;
        while (c.ok() && c.left() > 0) {
            if (version2) {
                c.alignWord(opcodes);
            }
            const int opcode = version2 ? c.u16() : c.u8();
            if (!c.ok() || opcode == kEndOfPicture) {
                break;
            }
            if (std::optional<RasterRead> failed = perform(c, opcode, version2)) {
                return *failed;
            }
        }
        if (!m_drewSomething) {
            return rasterInvalid("PICT file without a bitmap image");
        }
        return canvas;
    }

    // The extended version 2 header gives the resolution of the picture's pixels.
    void readHeaderOp(Cursor& c) {
        const qsizetype back = c.at();
        if (c.u16() != 0x0C00) {
            c = Cursor(m_data, m_size, back);
            return;
        }
        const int version = c.s16();
        c.u16();
        const quint32 hRes = c.u32();
        c.u32();
        const QRect source = c.rect();
        c.skip(4);
        if (version == -2 && hRes > 0 && source.width() > 0) {
            // Native resolution, as the source rectangle gives it relative to the frame.
            m_scale = std::clamp(double(source.width()) / m_frame.width(), 0.01, 100.0);
        }
    }

    // Carries out or skips one opcode; a failure to return ends the picture.
    std::optional<RasterRead> perform(Cursor& c, int op, bool version2) {
        switch (op) {
            case kBitsRect:
            case kBitsRgn:
            case kPackBitsRect:
            case kPackBitsRgn:
            case kDirectBitsRect:
            case kDirectBitsRgn:
                return drawBits(c, op);
            case kCompressedQuickTime:
                return drawQuickTime(c);
            case kRgbForeground:
            case kRgbBackground: {
                const int r = c.u16() >> 8;
                const int g = c.u16() >> 8;
                const int b = c.u16() >> 8;
                (op == kRgbForeground ? m_foreground : m_background) = qRgb(r, g, b);
                return std::nullopt;
            }
            case kBkPixPat:
            case 0x0013:
            case kFillPixPat:
                skipPixPat(c);
                return std::nullopt;
            case kLongComment:
                c.u16();
                c.skip(c.u16());
                return std::nullopt;
            default:
                break;
        }
        skipOther(c, op, version2);
        return std::nullopt;
    }

    // The data lengths of the opcodes that are not drawn.
    static void skipOther(Cursor& c, int op, bool version2) {
        if (op == kClip || (op >= 0x70 && op <= 0x77) || (op >= 0x80 && op <= 0x87)) {
            c.skipSized();
            return;
        }
        if (op >= 0x0100 && op <= 0x7FFF) {
            c.skip((op >> 8) * 2);
            return;
        }
        if (op >= 0x8000 && op <= 0x80FF) {
            return;
        }
        if (op >= 0x8100) {
            c.skip(c.u32());
            return;
        }
        static constexpr signed char kLengths[0x30] = {
            0, -1, 8,  2,  1,  2,  4,  4,  2,  8,  8,  4,  4,  2,  4,  4,    // 0x00
            8, 1,  -1, -1, -1, 2,  2,  0,  0,  0,  6,  6,  0,  6,  0,  6,    // 0x10
            8, 4,  6,  2,  -2, -2, -2, -2, -1, -1, -1, -1, -2, -2, -2, -2};  // 0x20
        if (op == 0x11 && version2) {
            c.skip(2);
            return;
        }
        if (op < 0x30) {
            const int length = kLengths[op];
            if (length >= 0) {
                c.skip(length);
            } else if (length == -2) {
                c.skip(c.u16());
            } else if (op == kLongText) {
                c.skip(4);
                c.skip(c.u8());
            } else if (op == kDhDvText) {
                c.skip(2);
                c.skip(c.u8());
            } else {
                c.skip(1);  // DHText, DVText
                c.skip(c.u8());
            }
            return;
        }
        if (op < 0x90) {
            // Rectangle, rounded-rectangle, oval and arc shapes; the "same" forms carry none.
            static constexpr int kShapeLength[5] = {8, 8, 8, 12, 0};
            const int kind = (op - 0x30) / 16;  // frame/paint/erase/invert/fill rows of 8
            const bool same = ((op - 0x30) % 16) >= 8;
            if (!same) {
                c.skip(kShapeLength[std::min(kind, 4)]);
            } else if (kind == 3) {
                c.skip(4);  // the "same arc" keeps its angles
            }
            return;
        }
        if (op == 0xA0) {
            c.skip(2);
        } else if ((op >= 0x92 && op <= 0x97) || (op >= 0x9C && op <= 0x9F) ||
                   (op >= 0xA2 && op <= 0xAF)) {
            c.skip(c.u16());
        } else if (op >= 0xD0 && op <= 0xFE) {
            c.skip(c.u32());
        }
    }

    // A colour pattern: its pixel map and pixels are read past, nothing is filled with it.
    void skipPixPat(Cursor& c) {
        const int type = c.u16();
        c.skip(8);
        if (type == 2) {
            c.skip(6);
        } else if (type == 1) {
            PixMap map;
            if (readPixMap(c, map, true, false)) {
                readPixels(c, map, nullptr);
            }
        }
    }

    bool readPixMap(Cursor& c, PixMap& map, bool withColours, bool direct) {
        map.rowBytes = c.u16();
        map.isPixMap = (map.rowBytes & 0x8000) != 0;
        map.rowBytes &= 0x3FFF;
        map.bounds = c.rect();
        if (map.isPixMap) {
            c.u16();  // version
            map.packType = c.u16();
            c.skip(4 + 8);  // packed size, resolution
            c.u16();        // pixel type
            map.pixelSize = c.u16();
            map.componentCount = c.u16();
            c.skip(2 + 12);  // component size, plane bytes, table handle, reserved
            if (withColours && !direct) {
                c.u32();
                const bool device = (c.u16() & 0x8000) != 0;
                const int count = c.u16() + 1;
                map.colours.assign(size_t(1) << std::min(map.pixelSize, 8), 0xFF000000);
                for (int i = 0; i < count && c.ok(); ++i) {
                    const int value = c.u16();
                    const int r = c.u16() >> 8;
                    const int g = c.u16() >> 8;
                    const int b = c.u16() >> 8;
                    const size_t index = device ? size_t(i) : size_t(value);
                    if (index < map.colours.size()) {
                        map.colours[index] = qRgb(r, g, b);
                    }
                }
            }
        } else {
            map.colours = {m_background, m_foreground};
        }
        const bool sizeValid = map.pixelSize == 1 || map.pixelSize == 2 || map.pixelSize == 4 ||
                               map.pixelSize == 8 || map.pixelSize == 16 || map.pixelSize == 32;
        const bool componentsValid = map.pixelSize != 32 || map.packType == 1 ||
                                     map.packType == 2 || map.rowBytes < 8 ||
                                     (map.componentCount >= 3 && map.componentCount <= 4);
        return c.ok() && sizeValid && componentsValid && !map.bounds.isEmpty() &&
               qint64(map.rowBytes) * 8 >= qint64(map.bounds.width()) * map.pixelSize;
    }

    // How the rows are stored: packed-bits rows of palette indices (0), rows as they are (1),
    // 24-bit pixels (2), packed 16-bit words (3), packed 8-bit component planes (4).
    static int rowPacking(const PixMap& map) {
        if (map.rowBytes < 8) {
            return 1;
        }
        if (map.packType == 0 && map.pixelSize == 32) {
            return 4;
        }
        if (map.packType == 0 && map.pixelSize == 16) {
            return 3;
        }
        return map.packType;
    }

    // Reads the rows of a pixel map and, when `image` is given, makes its pixels.
    bool readPixels(Cursor& c, const PixMap& map, QImage* image) {
        const int width = map.bounds.width();
        const int height = map.bounds.height();
        const int packType = rowPacking(map);
        const bool packed = packType != 1 && packType != 2;
        const qint64 rowLength = packType == 4 && map.pixelSize == 32
                                     ? qint64(width) * map.componentCount
                                 : packType == 2 && map.pixelSize == 32 ? qint64(width) * 3
                                                                        : map.rowBytes;
        if (rowLength <= 0 || rowLength > m_budget / std::max(height, 1)) {
            return false;
        }
        std::vector<uchar> row(static_cast<size_t>(rowLength));
        for (int y = 0; y < height; ++y) {
            if (packed) {
                const int count = map.rowBytes > 250 ? c.u16() : c.u8();
                const uchar* in = c.take(count);
                std::fill(row.begin(), row.end(), 0);
                if (!in || !unpackBits(in, count, row.data(), rowLength, packType == 3 ? 2 : 1)) {
                    return false;
                }
            } else {
                const uchar* in = c.take(rowLength);
                if (!in) {
                    return false;
                }
                std::copy_n(in, rowLength, row.begin());
            }
            if (image) {
                makeRow(map, packType, row.data(), reinterpret_cast<QRgb*>(image->scanLine(y)),
                        width);
            }
        }
        return c.ok();
    }

    static void makeRow(const PixMap& map, int packType, const uchar* in, QRgb* out, int width) {
        switch (map.pixelSize) {
            case 16:
                for (int x = 0; x < width; ++x) {
                    const int v = be16(in + 2 * x);
                    out[x] = qRgb(scaleToByte((v >> 10) & 31, 31), scaleToByte((v >> 5) & 31, 31),
                                  scaleToByte(v & 31, 31));
                }
                return;
            case 32:
                if (packType == 4) {
                    // Component planes: alpha first when there are four, which is not shown.
                    const uchar* red = in + (map.componentCount >= 4 ? width : 0);
                    for (int x = 0; x < width; ++x) {
                        out[x] = qRgb(red[x], red[x + width], red[x + 2 * width]);
                    }
                } else if (packType == 2) {
                    for (int x = 0; x < width; ++x) {
                        out[x] = qRgb(in[3 * x], in[3 * x + 1], in[3 * x + 2]);
                    }
                } else {
                    for (int x = 0; x < width; ++x) {
                        out[x] = qRgb(in[4 * x + 1], in[4 * x + 2], in[4 * x + 3]);
                    }
                }
                return;
            default: {
                const int bits = map.isPixMap ? map.pixelSize : 1;
                const int perByte = 8 / bits;
                for (int x = 0; x < width; ++x) {
                    const int shift = (perByte - 1 - x % perByte) * bits;
                    const size_t index = (in[x / perByte] >> shift) & ((1 << bits) - 1);
                    out[x] = index < map.colours.size() ? map.colours[index] : 0xFF000000;
                }
                return;
            }
        }
    }

    std::optional<RasterRead> drawBits(Cursor& c, int op) {
        const bool direct = op == kDirectBitsRect || op == kDirectBitsRgn;
        if (direct) {
            c.u32();  // base address
        }
        PixMap map;
        if (!readPixMap(c, map, true, direct)) {
            return rasterInvalid("unreadable PICT pixel map");
        }
        const QRect source = c.rect();
        const QRect target = c.rect();
        c.u16();  // transfer mode
        if (op == kBitsRgn || op == kPackBitsRgn || op == kDirectBitsRgn) {
            c.skipSized();  // the mask region: the whole rectangle is drawn
        }
        // Drawn onto the canvas, which is the picture: the pixel map itself is never returned.
        RasterRead pixels = allocateWorkRaster(map.bounds.width(), map.bounds.height(),
                                               QImage::Format_RGB32, m_budget);
        if (!pixels.ok()) {
            return pixels;
        }
        if (!readPixels(c, map, &pixels.image)) {
            return rasterInvalid("PICT pixels cut short");
        }
        place(pixels.image, source.translated(-map.bounds.topLeft()), target);
        return std::nullopt;
    }

    // QuickTime's compressed picture: drawn when it holds a JPEG image.
    std::optional<RasterRead> drawQuickTime(Cursor& c) {
        const quint32 length = c.u32();
        const qsizetype start = c.at();
        if (!c.ok() || length > quint32(c.left())) {
            return rasterInvalid("PICT QuickTime image cut short");
        }
        Cursor q(m_data, start + length, start);
        q.skip(2);  // version
        qint32 matrix[9];
        for (qint32& m : matrix) {
            m = static_cast<qint32>(q.u32());
        }
        const quint32 matteSize = q.u32();
        q.skip(8 + 2);  // matte rectangle, mode
        const QRect source = q.rect();
        q.skip(4);  // accuracy
        const quint32 maskSize = q.u32();
        q.skip(matteSize);
        q.skip(maskSize);
        const qsizetype description = q.at();
        const quint32 descriptionSize = q.u32();
        const quint32 codec = q.u32();
        q = Cursor(m_data, start + length, description);
        q.skip(descriptionSize);
        c.skip(length);
        if (!q.ok() || codec != 0x6A706567) {  // 'jpeg'; other codecs are not drawn
            return std::nullopt;
        }
        const QByteArray jpeg =
            QByteArray::fromRawData(reinterpret_cast<const char*>(m_data + q.at()), q.left());
        QBuffer buffer;
        buffer.setData(jpeg);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        reader.setAutoDetectImageFormat(false);
        const QSize size = reader.size();
        if (rasterExceedsBudget(size.width(), size.height(), m_budget)) {
            return rasterTooLarge();
        }
        const QImage image = reader.read();
        if (image.isNull()) {
            return rasterInvalid("unreadable JPEG image in a PICT file");
        }
        // The matrix places the image (16.16 fixed point scale and translation).
        const double sx = matrix[0] / 65536.0;
        const double sy = matrix[4] / 65536.0;
        const QRect from = source.isValid() ? source : image.rect();
        const QRectF to(matrix[6] / 65536.0 + from.left() * sx,
                        matrix[7] / 65536.0 + from.top() * sy, from.width() * sx,
                        from.height() * sy);
        place(image, from, to.toRect().translated(m_frame.topLeft()));
        return std::nullopt;
    }

    // Draws the source part of an image into the target rectangle of the frame.
    void place(const QImage& image, const QRect& source, const QRect& target) {
        QRectF to(QPointF(target.topLeft() - m_frame.topLeft()) * m_scale,
                  QSizeF(target.size()) * m_scale);
        QPainter painter(m_canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(to, image, QRectF(source));
        m_drewSomething = true;
    }

    const uchar* m_data;
    qsizetype m_size;
    qint64 m_budget;
    QRect m_frame;
    double m_scale = 1.0;
    QImage* m_canvas = nullptr;
    QRgb m_foreground = 0xFF000000;
    QRgb m_background = 0xFFFFFFFF;
    bool m_drewSomething = false;
    bool m_foundWithHeader = false;
};

}  // namespace

RasterRead readPict(QByteArrayView file, qint64 budget) {
    return PictDecoder(reinterpret_cast<const uchar*>(file.data()), file.size(), budget).run();
}

}  // namespace gv
