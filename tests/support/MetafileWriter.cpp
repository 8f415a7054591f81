#include "support/MetafileWriter.h"

#include <QBuffer>
#include <QPainter>
#include <QtEndian>

#include <cstring>

#include "support/Bytes.h"

namespace gvtest {

namespace {

void put16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, quint32 v) {
    put16(out, quint16(v & 0xFFFF));
    put16(out, quint16(v >> 16));
}

void putFloat(QByteArray& out, float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    put32(out, bits);
}

void set32(QByteArray& out, qsizetype at, quint32 v) {
    qToLittleEndian<quint32>(v, out.data() + at);
}

void set16(QByteArray& out, qsizetype at, quint16 v) {
    qToLittleEndian<quint16>(v, out.data() + at);
}

// Zeros after the bytes, up to a multiple of unit.
QByteArray padded(const QByteArray& bytes, int unit) {
    return bytes.leftJustified((bytes.size() + unit - 1) / unit * unit, '\0');
}

quint32 colorRef(QColor c) {
    return quint32(c.red()) | quint32(c.green()) << 8 | quint32(c.blue()) << 16;
}

int bitsPerPixel(DibFormat format) {
    constexpr int kBits[] = {1, 4, 8, 16, 16, 24, 32, 32};  // in the enumeration's order
    return kBits[int(format)];
}

bool bitfields(DibFormat f) {
    return f == DibFormat::Rgb565Fields || f == DibFormat::Bgr32Fields;
}

QList<QRgb> paletteOf(const QImage& image, DibFormat format) {
    QList<QRgb> colours;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = rgb.pixel(x, y) | 0xFF000000u;
            if (!colours.contains(c)) {
                colours.append(c);
            }
        }
    }
    const int capacity = 1 << bitsPerPixel(format);
    Q_ASSERT(colours.size() <= capacity);
    if (format != DibFormat::Palette8) {
        while (colours.size() < capacity) {
            colours.append(qRgb(0, 0, 0));
        }
    }
    return colours;
}

int expand(int value, int bits) {
    const int max = (1 << bits) - 1;
    return (value * 255 + max / 2) / max;
}

QByteArray u16s(const QList<qint16>& words) {
    QByteArray out;
    for (qint16 w : words) {
        put16(out, quint16(w));
    }
    return out;
}

QByteArray packedDib(const QImage& image, DibFormat format) {
    return dibInfo(image, format) + dibBits(image, format);
}

}  // namespace

QByteArray dibInfo(const QImage& image, DibFormat format, bool topDown) {
    const int bpp = bitsPerPixel(format);
    const int stride = ((image.width() * bpp + 31) / 32) * 4;
    const QList<QRgb> palette = bpp <= 8 ? paletteOf(image, format) : QList<QRgb>();
    Bytes out;
    out.le32(40)
        .le32(quint32(image.width()))
        .le32(quint32(topDown ? -image.height() : image.height()));
    out.le16(1).le16(bpp).le32(bitfields(format) ? 3 : 0).le32(quint32(stride * image.height()));
    out.le32(2835).le32(2835).le32(format == DibFormat::Palette8 ? quint32(palette.size()) : 0);
    out.le32(0);
    if (format == DibFormat::Rgb565Fields) {
        out.le32(0xF800).le32(0x07E0).le32(0x001F);
    } else if (format == DibFormat::Bgr32Fields) {
        out.le32(0x000000FF).le32(0x0000FF00).le32(0x00FF0000);
    }
    for (QRgb c : palette) {
        out.bgr(c, 0);
    }
    return out.data();
}

QByteArray dibBits(const QImage& source, DibFormat format, bool topDown) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int bpp = bitsPerPixel(format);
    const int stride = ((image.width() * bpp + 31) / 32) * 4;
    const QList<QRgb> palette = bpp <= 8 ? paletteOf(image, format) : QList<QRgb>();
    QByteArray out(qsizetype(stride) * image.height(), '\0');
    for (int row = 0; row < image.height(); ++row) {
        const int y = topDown ? row : image.height() - 1 - row;
        auto* line = reinterpret_cast<uchar*>(out.data()) + qsizetype(row) * stride;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xFF000000u;
            const int r = qRed(c);
            const int g = qGreen(c);
            const int b = qBlue(c);
            switch (format) {
                case DibFormat::Mono1:
                case DibFormat::Palette4:
                case DibFormat::Palette8: {
                    const int index = int(palette.indexOf(c));
                    const int bit = x * bpp;
                    line[bit / 8] |= uchar(index << (8 - bpp - bit % 8));
                    break;
                }
                case DibFormat::Rgb555: {
                    const quint16 v = quint16((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
                    qToLittleEndian<quint16>(v, line + 2 * x);
                    break;
                }
                case DibFormat::Rgb565Fields: {
                    const quint16 v = quint16((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
                    qToLittleEndian<quint16>(v, line + 2 * x);
                    break;
                }
                case DibFormat::Rgb24:
                    line[3 * x] = uchar(b);
                    line[3 * x + 1] = uchar(g);
                    line[3 * x + 2] = uchar(r);
                    break;
                case DibFormat::Rgb32:
                    qToLittleEndian<quint32>(quint32(b) | quint32(g) << 8 | quint32(r) << 16 |
                                                 0xAB000000u,  // GDI ignores this byte
                                             line + 4 * x);
                    break;
                case DibFormat::Bgr32Fields:
                    qToLittleEndian<quint32>(quint32(r) | quint32(g) << 8 | quint32(b) << 16,
                                             line + 4 * x);
                    break;
            }
        }
    }
    return out;
}

QImage dibQuantised(const QImage& source, DibFormat format) {
    QImage image = source.convertToFormat(QImage::Format_RGB32);
    if (format != DibFormat::Rgb555 && format != DibFormat::Rgb565Fields) {
        return image;
    }
    const int greenBits = format == DibFormat::Rgb565Fields ? 6 : 5;
    auto keep = [](int value, int bits) { return expand(value >> (8 - bits), bits); };
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            image.setPixel(x, y,
                           qRgb(keep(qRed(c), 5), keep(qGreen(c), greenBits), keep(qBlue(c), 5)));
        }
    }
    return image;
}

// --- WMF --------------------------------------------------------------------------------

WmfWriter::WmfWriter(QRect bounds, int unitsPerInch, bool placeable)
    : m_bounds(bounds), m_unitsPerInch(unitsPerInch), m_placeable(placeable) {}

WmfWriter& WmfWriter::rawRecord(quint16 function, const QByteArray& params) {
    const QByteArray body = padded(params, 2);
    const quint32 words = quint32(3 + body.size() / 2);
    put32(m_records, words);
    put16(m_records, function);
    m_records.append(body);
    m_maxRecordWords = std::max(m_maxRecordWords, words);
    return *this;
}

WmfWriter& WmfWriter::record(quint16 function, const QList<qint16>& words) {
    return rawRecord(function, u16s(words));
}

int WmfWriter::allocate() {
    for (int i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i]) {
            m_slots[i] = true;
            return i;
        }
    }
    m_slots.append(true);
    return int(m_slots.size() - 1);
}

int WmfWriter::createPen(int style, int width, QColor color) {
    record(0x02FA, QList<qint16>{qint16(style), qint16(width), 0} + colorWords(color));
    return allocate();
}

int WmfWriter::createBrush(int style, QColor color, int hatch) {
    record(0x02FC, QList<qint16>{qint16(style)} + colorWords(color) + QList<qint16>{qint16(hatch)});
    return allocate();
}

int WmfWriter::createFont(int height, const QString& face, int weight, bool italic, bool underline,
                          int escapement) {
    QByteArray p =
        u16s({qint16(height), 0, qint16(escapement), qint16(escapement), qint16(weight)});
    // Not struck out, ANSI characters.
    p += QByteArray(1, char(italic)) + char(underline) + QByteArray(6, '\0');
    p += face.toLatin1().left(31).leftJustified(32, '\0');
    rawRecord(0x02FB, p);
    return allocate();
}

int WmfWriter::createDibPatternBrush(const QImage& pattern) {
    rawRecord(0x0142, u16s({5, 0}) + packedDib(pattern, DibFormat::Rgb24));
    return allocate();
}

WmfWriter& WmfWriter::deleteObject(int index) {
    if (index >= 0 && index < m_slots.size()) {
        m_slots[index] = false;
    }
    return record(0x01F0, {qint16(index)});
}

WmfWriter& WmfWriter::rect4(quint16 function, QRect r, const QList<qint16>& before) {
    QList<qint16> words = before;
    words << qint16(r.y() + r.height()) << qint16(r.x() + r.width()) << qint16(r.y())
          << qint16(r.x());
    return record(function, words);
}

WmfWriter& WmfWriter::poly(quint16 function, const QList<QPoint>& points) {
    QList<qint16> words{qint16(points.size())};
    for (QPoint p : points) {
        words << qint16(p.x()) << qint16(p.y());
    }
    return record(function, words);
}

QList<qint16> WmfWriter::colorWords(QColor c) {
    const quint32 v = colorRef(c);
    return {qint16(v & 0xFFFF), qint16(v >> 16)};
}

WmfWriter& WmfWriter::polyPolygon(const QList<QList<QPoint>>& polygons) {
    QList<qint16> words{qint16(polygons.size())};
    for (const auto& polygon : polygons) {
        words << qint16(polygon.size());
    }
    for (const auto& polygon : polygons) {
        for (QPoint p : polygon) {
            words << qint16(p.x()) << qint16(p.y());
        }
    }
    return record(0x0538, words);
}

WmfWriter& WmfWriter::textOut(QPoint p, const QByteArray& text) {
    return rawRecord(0x0521, u16s({qint16(text.size())}) + padded(text, 2) +
                                 u16s({qint16(p.y()), qint16(p.x())}));
}

WmfWriter& WmfWriter::extTextOut(QPoint p, const QByteArray& text, int options, QRect rect,
                                 const QList<qint16>& dx) {
    QByteArray params = u16s({qint16(p.y()), qint16(p.x()), qint16(text.size()), qint16(options)});
    if (options & 0x0006) {
        params += u16s({qint16(rect.x()), qint16(rect.y()), qint16(rect.x() + rect.width()),
                        qint16(rect.y() + rect.height())});
    }
    params += padded(text, 2) + u16s(dx);
    return rawRecord(0x0A32, params);
}

WmfWriter& WmfWriter::stretchDib(QRect dest, const QImage& image, DibFormat format, quint32 rop) {
    const QByteArray params =
        u16s({qint16(rop & 0xFFFF), qint16(rop >> 16), 0, qint16(image.height()),
              qint16(image.width()), 0, 0, qint16(dest.height()), qint16(dest.width()),
              qint16(dest.y()), qint16(dest.x())}) +
        packedDib(image, format);
    return rawRecord(0x0F43, params);
}

WmfWriter& WmfWriter::dibStretchBlt(QRect dest, const QImage& image, DibFormat format) {
    const QByteArray params =
        u16s({qint16(kSrcCopy & 0xFFFF), qint16(kSrcCopy >> 16), qint16(image.height()),
              qint16(image.width()), 0, 0, qint16(dest.height()), qint16(dest.width()),
              qint16(dest.y()), qint16(dest.x())}) +
        packedDib(image, format);
    return rawRecord(0x0B41, params);
}

WmfWriter& WmfWriter::dibBitBlt(QPoint dest, const QImage& image, DibFormat format) {
    const QByteArray params =
        u16s({qint16(kSrcCopy & 0xFFFF), qint16(kSrcCopy >> 16), 0, 0, qint16(image.height()),
              qint16(image.width()), qint16(dest.y()), qint16(dest.x())}) +
        packedDib(image, format);
    return rawRecord(0x0940, params);
}

QByteArray WmfWriter::finish() const {
    QByteArray records = m_records;
    put32(records, 3);  // the end record
    put16(records, 0);
    Bytes out;
    if (m_placeable) {
        out.le32(0x9AC6CDD7).le16(0).le16(m_bounds.x()).le16(m_bounds.y());
        out.le16(m_bounds.x() + m_bounds.width()).le16(m_bounds.y() + m_bounds.height());
        out.le16(m_unitsPerInch).le32(0);
        quint16 checksum = 0;
        for (int i = 0; i < 10; ++i) {
            checksum ^= qFromLittleEndian<quint16>(out.data().constData() + 2 * i);
        }
        out.le16(checksum);
    }
    out.le16(1).le16(9).le16(0x0300).le32(quint32((18 + records.size()) / 2));
    out.le16(m_objectCount >= 0 ? m_objectCount : int(m_slots.size())).le32(m_maxRecordWords);
    return out.le16(0).data() + records;
}

// --- EMF --------------------------------------------------------------------------------

EmfWriter::EmfWriter(QRect frameHimetric, QSize devicePixels, QSize deviceMm)
    : m_frame(frameHimetric), m_devicePixels(devicePixels), m_deviceMm(deviceMm) {}

EmfWriter& EmfWriter::record(quint32 type, const QByteArray& payload) {
    const QByteArray body = padded(payload, 4);
    put32(m_records, type);
    put32(m_records, quint32(8 + body.size()));
    m_records.append(body);
    ++m_recordCount;
    return *this;
}

namespace {

QByteArray ints(const QList<qint32>& values) {
    QByteArray out;
    for (qint32 v : values) {
        put32(out, quint32(v));
    }
    return out;
}

QByteArray rectL(QRect r) {
    return ints({r.x(), r.y(), r.x() + r.width(), r.y() + r.height()});
}

QByteArray xform(const QTransform& t) {
    QByteArray out;
    for (double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()}) {
        putFloat(out, float(v));
    }
    return out;
}

}  // namespace

EmfWriter& EmfWriter::words(quint32 type, const QList<qint32>& values) {
    return record(type, ints(values));
}

void EmfWriter::useHandle(quint32 index) {
    if (index < 0x10000) {
        m_handles = std::max(m_handles, int(index) + 1);
    }
}

EmfWriter& EmfWriter::setWorldTransform(const QTransform& t) {
    return record(35, xform(t));
}
EmfWriter& EmfWriter::modifyWorldTransform(const QTransform& t, int mode) {
    return record(36, xform(t) + ints({mode}));
}

EmfWriter& EmfWriter::createPen(quint32 index, int style, int width, QColor color) {
    useHandle(index);
    return record(38, ints({qint32(index), style, width, 0, qint32(colorRef(color))}));
}

EmfWriter& EmfWriter::extCreatePen(quint32 index, quint32 style, int width, QColor color) {
    useHandle(index);
    return record(95, ints({qint32(index), 0, 0, 0, 0, qint32(style), width, 0,
                            qint32(colorRef(color)), 0, 0}));
}

EmfWriter& EmfWriter::createBrush(quint32 index, int style, QColor color, int hatch) {
    useHandle(index);
    return record(39, ints({qint32(index), style, qint32(colorRef(color)), hatch}));
}

EmfWriter& EmfWriter::createDibPatternBrush(quint32 index, const QImage& pattern) {
    useHandle(index);
    const QByteArray info = dibInfo(pattern, DibFormat::Rgb24);
    const QByteArray bits = dibBits(pattern, DibFormat::Rgb24);
    return record(94, ints({qint32(index), 0}) + dibOffsets(32, info, bits) + info + bits);
}

EmfWriter& EmfWriter::createFont(quint32 index, int height, const QString& face, int weight,
                                 bool italic, bool underline, int escapement) {
    useHandle(index);
    QByteArray p = ints({qint32(index), height, 0, escapement, escapement, weight});
    // Not struck out, DEFAULT_CHARSET.
    p += QByteArray(1, char(italic)) + char(underline) + '\0' + '\1' + QByteArray(4, '\0');
    const QString name = face.left(31);
    for (int i = 0; i < 32; ++i) {
        put16(p, i < name.size() ? name[i].unicode() : 0);
    }
    return record(82, p);
}

EmfWriter& EmfWriter::pointsRecord(quint32 type, quint32 count, const QList<QPoint>& pts) {
    const bool small = type >= 85 && type <= 92;
    QByteArray p = ints({0, 0, 0, 0, qint32(count)});
    for (QPoint pt : pts) {
        if (small) {
            put16(p, quint16(pt.x()));
            put16(p, quint16(pt.y()));
        } else {
            p += ints({pt.x(), pt.y()});
        }
    }
    return record(type, p);
}

EmfWriter& EmfWriter::points(quint32 type, const QList<QPoint>& pts, bool small) {
    return pointsRecord(small ? type + 83 : type, quint32(pts.size()), pts);
}

EmfWriter& EmfWriter::polyPolygon(const QList<QList<QPoint>>& polygons, bool small) {
    qint32 total = 0;
    for (const auto& polygon : polygons) {
        total += qint32(polygon.size());
    }
    QByteArray p = ints({0, 0, 0, 0, qint32(polygons.size()), total});
    for (const auto& polygon : polygons) {
        p += ints({qint32(polygon.size())});
    }
    for (const auto& polygon : polygons) {
        for (QPoint pt : polygon) {
            if (small) {
                put16(p, quint16(pt.x()));
                put16(p, quint16(pt.y()));
            } else {
                p += ints({pt.x(), pt.y()});
            }
        }
    }
    return record(small ? 91 : 8, p);
}

EmfWriter& EmfWriter::extSelectClipRgn(const QList<QRect>& rects, int mode) {
    if (rects.isEmpty()) {
        return record(75, ints({0, mode}));
    }
    QRect bound;
    QByteArray body;
    for (QRect r : rects) {
        bound |= r;
        body += rectL(r);
    }
    QByteArray data = ints({32, 1, qint32(rects.size()), qint32(body.size())}) + rectL(bound);
    data += body;
    return record(75, ints({qint32(data.size()), mode}) + data);
}

EmfWriter& EmfWriter::extTextOutA(QPoint p, const QByteArray& text, const QList<qint32>& dx) {
    return extText(83, p, text, int(text.size()), 0, {}, dx);
}

EmfWriter& EmfWriter::extTextOutW(QPoint p, const QString& text, int options, QRect rect,
                                  const QList<qint32>& dx) {
    QByteArray chars;
    for (QChar c : text) {
        put16(chars, c.unicode());
    }
    return extText(84, p, chars, int(text.size()), options, rect, dx);
}

EmfWriter& EmfWriter::extText(quint32 type, QPoint p, QByteArray chars, int count, int options,
                              QRect rect, const QList<qint32>& dx) {
    // Fixed part: bounds, graphics mode, scales, then the EMRTEXT; the string follows.
    constexpr qint32 kStringAt = 76;
    chars = padded(chars, 4);
    const qint32 dxAt = dx.isEmpty() ? 0 : kStringAt + qint32(chars.size());
    QByteArray payload = ints({0, 0, -1, -1, 1});
    putFloat(payload, 0);
    putFloat(payload, 0);
    payload += ints({p.x(), p.y(), count, kStringAt, options});
    payload += rectL(rect);
    payload += ints({dxAt});
    payload += chars;
    payload += ints(dx);
    return record(type, payload);
}

// Where a bitmap's header and bits lie, after a record's fixed part of infoAt bytes.
QByteArray EmfWriter::dibOffsets(qint32 infoAt, const QByteArray& info, const QByteArray& bits) {
    return ints({infoAt, qint32(info.size()), infoAt + qint32(info.size()), qint32(bits.size())});
}

EmfWriter& EmfWriter::stretchDiBits(QRect dest, const QImage& image, DibFormat format, QRect src,
                                    quint32 rop, bool topDown) {
    if (src.isNull()) {
        src = image.rect();
    }
    const QByteArray info = dibInfo(image, format, topDown);
    const QByteArray bits = dibBits(image, format, topDown);
    return record(
        81, ints({0, 0, 0, 0, dest.x(), dest.y(), src.x(), src.y(), src.width(), src.height()}) +
                dibOffsets(80, info, bits) + ints({0, qint32(rop), dest.width(), dest.height()}) +
                info + bits);
}

EmfWriter& EmfWriter::bitBlt(QRect dest, const QImage& image, DibFormat format, quint32 rop) {
    const QByteArray info = dibInfo(image, format);
    const QByteArray bits = dibBits(image, format);
    // The source transform turns the destination's logical size into bitmap pixels.
    const QTransform toSource = QTransform::fromScale(double(image.width()) / dest.width(),
                                                      double(image.height()) / dest.height());
    return record(
        76, ints({0, 0, 0, 0, dest.x(), dest.y(), dest.width(), dest.height(), qint32(rop), 0, 0}) +
                xform(toSource) + ints({0, 0}) + dibOffsets(100, info, bits) + info + bits);
}

EmfWriter& EmfWriter::setDiBitsToDevice(QPoint dest, const QImage& image, DibFormat format) {
    const QByteArray info = dibInfo(image, format);
    const QByteArray bits = dibBits(image, format);
    return record(80, ints({0, 0, 0, 0, dest.x(), dest.y(), 0, 0, image.width(), image.height()}) +
                          dibOffsets(76, info, bits) + ints({0, 0, image.height()}) + info + bits);
}

EmfWriter& EmfWriter::gradientFillRect(QRect r, QColor from, QColor to, bool vertical) {
    QByteArray p = ints({0, 0, 0, 0, 2, 1, vertical ? 1 : 0});
    auto vertex = [&](QPoint at, QColor c) {
        p += ints({at.x(), at.y()});
        put16(p, quint16(c.red() << 8));
        put16(p, quint16(c.green() << 8));
        put16(p, quint16(c.blue() << 8));
        put16(p, 0);
    };
    vertex(r.topLeft(), from);
    vertex(QPoint(r.x() + r.width(), r.y() + r.height()), to);
    p += ints({0, 1});
    return record(118, p);
}

QByteArray EmfWriter::finish() const {
    constexpr int kHeaderSize = 108;
    QByteArray records = m_records;
    records += ints({14, 20, 0, 16, 20});  // the end record
    const quint32 total = quint32(kHeaderSize + records.size());
    auto toDevice = [&](int himetric, int pixels, int mm) {
        return int(std::floor(double(himetric) * pixels / (mm * 100.0)));
    };
    const int left = toDevice(m_frame.x(), m_devicePixels.width(), m_deviceMm.width());
    const int top = toDevice(m_frame.y(), m_devicePixels.height(), m_deviceMm.height());
    const int right =
        toDevice(m_frame.x() + m_frame.width(), m_devicePixels.width(), m_deviceMm.width());
    const int bottom =
        toDevice(m_frame.y() + m_frame.height(), m_devicePixels.height(), m_deviceMm.height());
    const QRect bounds =
        m_bounds.isNull() ? QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) : m_bounds;
    QByteArray out = ints({1, kHeaderSize, bounds.left(), bounds.top(), bounds.right(),
                           bounds.bottom(), m_frame.x(), m_frame.y(), m_frame.x() + m_frame.width(),
                           m_frame.y() + m_frame.height(), 0x464D4520, 0x10000, qint32(total),
                           qint32(m_recordCount + 2)});
    put16(out, quint16(m_handles));
    put16(out, 0);
    out +=
        ints({0, 0, 0, m_devicePixels.width(), m_devicePixels.height(), m_deviceMm.width(),
              m_deviceMm.height(), 0, 0, 0, m_deviceMm.width() * 1000, m_deviceMm.height() * 1000});
    Q_ASSERT(out.size() == kHeaderSize);
    return out + records;
}

// --- EMF+ -------------------------------------------------------------------------------

namespace {

constexpr quint32 kPlusVersion = 0xDBC01002;

QByteArray floats(const QList<float>& values) {
    QByteArray out;
    for (float v : values) {
        putFloat(out, v);
    }
    return out;
}

QByteArray rectF(QRectF r) {
    return floats({float(r.x()), float(r.y()), float(r.width()), float(r.height())});
}

QByteArray plusPoints(const QList<QPointF>& points, EmfPlusWriter::Points form) {
    QByteArray out;
    QPoint last;
    for (QPointF p : points) {
        switch (form) {
            case EmfPlusWriter::Points::Float:
                out += floats({float(p.x()), float(p.y())});
                break;
            case EmfPlusWriter::Points::Int16:
                put16(out, quint16(qint16(p.x())));
                put16(out, quint16(qint16(p.y())));
                break;
            case EmfPlusWriter::Points::Relative: {
                const QPoint q = p.toPoint();
                for (int v : {q.x() - last.x(), q.y() - last.y()}) {
                    if (v >= -64 && v < 64) {
                        out.append(char(v & 0x7F));
                    } else {
                        out.append(char(0x80 | ((v >> 8) & 0x7F)));
                        out.append(char(v & 0xFF));
                    }
                }
                last = q;
                break;
            }
        }
    }
    return out;
}

quint16 pointFlags(EmfPlusWriter::Points form) {
    return form == EmfPlusWriter::Points::Int16      ? 0x4000
           : form == EmfPlusWriter::Points::Relative ? 0x0800
                                                     : 0;
}

}  // namespace

EmfPlusWriter::EmfPlusWriter(EmfWriter& emf, bool dual, int dpi) : m_emf(emf) {
    record(0x4001, dual ? 1 : 0, ints({qint32(kPlusVersion), 1, dpi, dpi}));
}

EmfPlusWriter& EmfPlusWriter::record(quint16 type, quint16 flags, const QByteArray& data) {
    const QByteArray body = padded(data, 4);
    QByteArray plus;
    put16(plus, type);
    put16(plus, flags);
    put32(plus, quint32(12 + body.size()));
    put32(plus, quint32(body.size()));
    plus += body;
    m_emf.record(70, ints({qint32(4 + plus.size()), 0x2B464D45}) + plus);
    return *this;
}

EmfPlusWriter& EmfPlusWriter::object(int id, int type, const QByteArray& data, int pieces) {
    const quint16 flags = quint16((type << 8) | id);
    if (pieces <= 1) {
        return record(0x4008, flags, data);
    }
    const qsizetype step = (data.size() / pieces + 3) / 4 * 4;
    for (qsizetype at = 0; at < data.size(); at += step) {
        record(0x4008, flags | 0x8000, ints({qint32(data.size())}) + data.mid(at, step));
    }
    return *this;
}

EmfPlusWriter& EmfPlusWriter::solidBrush(int id, QColor c) {
    return object(id, 1, ints({qint32(kPlusVersion), 0, qint32(c.rgba())}));
}

EmfPlusWriter& EmfPlusWriter::hatchBrush(int id, int style, QColor fore, QColor back) {
    return object(id, 1,
                  ints({qint32(kPlusVersion), 1, style, qint32(fore.rgba()), qint32(back.rgba())}));
}

EmfPlusWriter& EmfPlusWriter::linearBrush(int id, QRectF rect, QColor start, QColor end) {
    const QList<qint32> colors{qint32(start.rgba()), qint32(end.rgba())};
    return object(
        id, 1, ints({qint32(kPlusVersion), 4, 0, 0}) + rectF(rect) + ints(colors) + ints(colors));
}

EmfPlusWriter& EmfPlusWriter::pathBrush(int id, QPointF center, QColor centerColor,
                                        const QList<QPointF>& boundary, QColor surround) {
    return object(id, 1,
                  ints({qint32(kPlusVersion), 3, 0, 0, qint32(centerColor.rgba())}) +
                      floats({float(center.x()), float(center.y())}) +
                      ints({1, qint32(surround.rgba()), qint32(boundary.size())}) +
                      plusPoints(boundary, Points::Float));
}

EmfPlusWriter& EmfPlusWriter::pen(int id, float width, QColor c, int lineStyle) {
    QByteArray data = ints({qint32(kPlusVersion), 0, lineStyle ? 0x20 : 0, 0}) + floats({width});
    if (lineStyle) {
        data += ints({lineStyle});
    }
    return object(id, 2, data + ints({qint32(kPlusVersion), 0, qint32(c.rgba())}));
}

EmfPlusWriter& EmfPlusWriter::path(int id, const QList<QPointF>& points, const QList<quint8>& types,
                                   Points form) {
    QByteArray data = ints({qint32(kPlusVersion), qint32(points.size()), pointFlags(form)});
    data += plusPoints(points, form);
    for (quint8 t : types) {
        data.append(char(t));
    }
    return object(id, 3, data);
}

EmfPlusWriter& EmfPlusWriter::font(int id, float emSize, const QString& family, int unit) {
    QByteArray data =
        ints({qint32(kPlusVersion)}) + floats({emSize}) + ints({unit, 0, 0, qint32(family.size())});
    for (QChar c : family) {
        put16(data, c.unicode());
    }
    return object(id, 6, data);
}

EmfPlusWriter& EmfPlusWriter::stringFormat(int id, int align, int lineAlign) {
    return object(
        id, 7, ints({qint32(kPlusVersion), 0, 0, align, lineAlign, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

EmfPlusWriter& EmfPlusWriter::bitmap(int id, const QImage& image, bool png, int pieces) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray data = ints({qint32(kPlusVersion), 1, argb.width(), argb.height(), argb.width() * 4,
                            0x0026200A, png ? 1 : 0});
    if (png) {
        QBuffer buffer(&data);
        buffer.open(QIODevice::Append);
        argb.save(&buffer, "PNG");
    } else {
        for (int y = 0; y < argb.height(); ++y) {
            data.append(reinterpret_cast<const char*>(argb.constScanLine(y)), argb.width() * 4);
        }
    }
    return object(id, 5, data, pieces);
}

EmfPlusWriter& EmfPlusWriter::metafileImage(int id, const QByteArray& file, bool emf) {
    return object(id, 5, ints({qint32(kPlusVersion), 2, emf ? 3 : 2, qint32(file.size())}) + file);
}

EmfPlusWriter& EmfPlusWriter::fillRects(Brush b, const QList<QRectF>& rects, bool int16) {
    QByteArray data = ints({qint32(b.value), qint32(rects.size())});
    for (QRectF r : rects) {
        if (int16) {
            for (double v : {r.x(), r.y(), r.width(), r.height()}) {
                put16(data, quint16(qint16(v)));
            }
        } else {
            data += rectF(r);
        }
    }
    return record(0x400A, quint16((b.solid ? 0x8000 : 0) | (int16 ? 0x4000 : 0)), data);
}

EmfPlusWriter& EmfPlusWriter::drawRects(int pen, const QList<QRectF>& rects) {
    QByteArray data = ints({qint32(rects.size())});
    for (QRectF r : rects) {
        data += rectF(r);
    }
    return record(0x400B, quint16(pen), data);
}

EmfPlusWriter& EmfPlusWriter::fillPolygon(Brush b, const QList<QPointF>& points, Points form) {
    return record(0x400C, quint16((b.solid ? 0x8000 : 0) | pointFlags(form)),
                  ints({qint32(b.value), qint32(points.size())}) + plusPoints(points, form));
}

EmfPlusWriter& EmfPlusWriter::drawLines(int pen, const QList<QPointF>& points, bool closed,
                                        Points form) {
    return record(0x400D, quint16(pen | (closed ? 0x2000 : 0) | pointFlags(form)),
                  ints({qint32(points.size())}) + plusPoints(points, form));
}

EmfPlusWriter& EmfPlusWriter::fillEllipse(Brush b, QRectF r) {
    return record(0x400E, b.solid ? 0x8000 : 0, ints({qint32(b.value)}) + rectF(r));
}

EmfPlusWriter& EmfPlusWriter::drawEllipse(int pen, QRectF r) {
    return record(0x400F, quint16(pen), rectF(r));
}

EmfPlusWriter& EmfPlusWriter::pie(quint16 type, Brush b, float start, float sweep, QRectF r) {
    const QByteArray data = floats({start, sweep}) + rectF(r);
    if (type == 0x4010) {
        return record(type, b.solid ? 0x8000 : 0, ints({qint32(b.value)}) + data);
    }
    return record(type, quint16(b.value), data);
}

EmfPlusWriter& EmfPlusWriter::fillPath(Brush b, int path) {
    return record(0x4014, quint16((b.solid ? 0x8000 : 0) | path), ints({qint32(b.value)}));
}

EmfPlusWriter& EmfPlusWriter::drawPath(int pen, int path) {
    return record(0x4015, quint16(path), ints({pen}));
}

EmfPlusWriter& EmfPlusWriter::drawString(Brush b, int font, const QString& text, QRectF layout,
                                         int format) {
    QByteArray data = ints({qint32(b.value), format, qint32(text.size())}) + rectF(layout);
    for (QChar c : text) {
        put16(data, c.unicode());
    }
    return record(0x401C, quint16((b.solid ? 0x8000 : 0) | font), data);
}

EmfPlusWriter& EmfPlusWriter::drawDriverString(Brush b, int font, const QString& text,
                                               const QList<QPointF>& origins) {
    QByteArray data = ints({qint32(b.value), 1, 0, qint32(text.size())});
    for (QChar c : text) {
        put16(data, c.unicode());
    }
    return record(0x4036, quint16((b.solid ? 0x8000 : 0) | font),
                  data + plusPoints(origins, Points::Float));
}

EmfPlusWriter& EmfPlusWriter::drawImage(int image, QRectF source, QRectF dest) {
    return record(0x401A, quint16(image), ints({-1, 2}) + rectF(source) + rectF(dest));
}

EmfPlusWriter& EmfPlusWriter::drawImagePoints(int image, QRectF source,
                                              const QList<QPointF>& three) {
    return record(0x401B, quint16(image),
                  ints({-1, 2}) + rectF(source) + ints({3}) + plusPoints(three, Points::Float));
}

EmfPlusWriter& EmfPlusWriter::setWorldTransform(const QTransform& t) {
    return record(0x402A, 0, xform(t));
}

EmfPlusWriter& EmfPlusWriter::transform(quint16 type, const QList<float>& values, bool append) {
    return record(type, append ? 0x2000 : 0, floats(values));
}

EmfPlusWriter& EmfPlusWriter::setPageTransform(int unit, float scale) {
    return record(0x4030, quint16(unit), floats({scale}));
}

EmfPlusWriter& EmfPlusWriter::save(int index) {
    return record(0x4025, 0, ints({index}));
}

EmfPlusWriter& EmfPlusWriter::restore(int index) {
    return record(0x4026, 0, ints({index}));
}

EmfPlusWriter& EmfPlusWriter::setClipRect(QRectF r, int mode) {
    return record(0x4032, quint16(mode << 8), rectF(r));
}

// --- Samples ----------------------------------------------------------------------------

namespace {

QImage checkerboard() {
    QImage image(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool dark = (x / 2 + y / 2) % 2 != 0;
            image.setPixel(x, y, dark ? qRgb(40, 40, 160) : qRgb(250, 210, 60));
        }
    }
    return image;
}

}  // namespace

QByteArray sampleWmf() {
    // 4000 x 3000 twips: about 267 x 200 pixels on a 96 DPI screen.
    WmfWriter w(QRect(0, 0, 4000, 3000), 1440);
    w.setWindowOrg({0, 0}).setWindowExt({4000, 3000}).setBkMode(1);
    const int sky = w.createBrush(0, QColor(200, 230, 255));
    const int noPen = w.createPen(5, 0, Qt::black);
    w.selectObject(sky).selectObject(noPen).rectangle(QRect(0, 0, 4000, 3000));
    const int sun = w.createBrush(0, QColor(255, 200, 0));
    const int outline = w.createPen(0, 40, QColor(200, 90, 0));
    w.selectObject(sun).selectObject(outline).ellipse(QRect(2900, 200, 800, 800));
    const int hill = w.createBrush(0, QColor(60, 170, 60));
    w.selectObject(hill).selectObject(noPen).chord(QRect(-1000, 1900, 6000, 2600), {5000, 3200},
                                                   {-1000, 3200});
    const int wall = w.createBrush(2, QColor(150, 60, 30), 4);
    const int black = w.createPen(0, 30, Qt::black);
    w.setBkMode(2).setBkColor(QColor(240, 200, 160));
    w.selectObject(wall).selectObject(black).rectangle(QRect(700, 1500, 1200, 1000));
    w.setBkMode(1);
    const int roof = w.createBrush(0, QColor(200, 30, 30));
    w.selectObject(roof).polygon({{550, 1500}, {1300, 800}, {2050, 1500}});
    w.stretchDib(QRect(1100, 1800, 400, 400), checkerboard(), DibFormat::Palette4);
    const int font = w.createFont(-300, QStringLiteral("DejaVu Sans"), 700);
    w.selectObject(font).setTextColor(QColor(20, 40, 120)).setTextAlign(0);
    w.textOut({2150, 1550}, "Glimvane");
    const int ray = w.createPen(0, 20, QColor(230, 120, 0));
    w.selectObject(ray).arc(QRect(2700, 0, 1200, 1200), {3900, 600}, {3300, 0});
    return w.finish();
}

QByteArray sampleEmf() {
    // 80 x 60 mm on a 1000-pixel, 250 mm wide reference device: 320 x 240 device pixels.
    EmfWriter w(QRect(0, 0, 8000, 6000));
    w.setMapMode(8).setWindowOrg({0, 0}).setWindowExt({640, 480});
    w.setViewportOrg({0, 0}).setViewportExt({320, 240});
    w.setBkMode(1);
    for (int i = 0; i < 8; ++i) {
        w.createBrush(1, 0, QColor(30 + 25 * i, 60 + 20 * i, 200 - 15 * i));
        w.selectObject(1).selectStockObject(8).rectangle(QRect(0, i * 60, 640, 61));
        w.selectStockObject(0).deleteObject(1);
    }
    w.createPen(2, 0, 6, QColor(20, 20, 20)).selectObject(2);
    w.createBrush(3, 0, QColor(250, 120, 180)).selectObject(3);
    w.beginPath().moveTo({80, 300}).polyBezierTo({{120, 120}, {260, 120}, {300, 300}});
    w.closeFigure().endPath().strokeAndFillPath();
    w.createBrush(4, 2, QColor(0, 110, 0), 5).selectObject(4);
    w.setBkMode(2).setBkColor(QColor(220, 255, 220));
    w.pie(QRect(360, 60, 220, 220), {580, 170}, {470, 60});
    w.setBkMode(1);
    w.stretchDiBits(QRect(380, 320, 200, 120), checkerboard(), DibFormat::Rgb24);
    w.createFont(5, -48, QStringLiteral("DejaVu Serif"), 400, true).selectObject(5);
    w.setTextColor(QColor(255, 255, 255)).setTextAlign(24);
    w.saveDc();
    w.modifyWorldTransform(QTransform().translate(60, 440).rotate(-12), 2);
    w.extTextOutW({0, 0}, QStringLiteral("Glimvane EMF"));
    w.restoreDc(-1);
    w.createPen(6, 0, 4, QColor(255, 255, 0)).selectObject(6);
    w.polyline({{20, 20}, {140, 60}, {60, 120}, {200, 100}}, true);
    return w.finish();
}

QByteArray sampleEmfPlus() {
    // 100 x 60 mm: 400 x 240 device pixels, drawn in EMF+ only.
    EmfWriter e(QRect(0, 0, 10000, 6000));
    EmfPlusWriter p(e, false);
    p.linearBrush(1, {0, 0, 400, 240}, QColor(200, 230, 255), Qt::white);
    p.fillRects(1, {{0, 0, 400, 240}});
    p.pathBrush(2, {90, 90}, QColor(255, 220, 0), {{20, 20}, {160, 20}, {160, 160}, {20, 160}},
                QColor(255, 120, 0));
    p.fillEllipse(2, {20, 20, 140, 140}).pen(3, 4, QColor(30, 30, 120));
    p.drawEllipse(3, {20, 20, 140, 140});
    p.pen(4, 3, QColor(200, 0, 0), 1)
        .drawLines(4, {{200, 30}, {380, 30}, {380, 120}, {200, 120}}, true);
    p.hatchBrush(5, 4, QColor(0, 120, 0), QColor(220, 255, 220))
        .pie(0x4010, 5, -30, 240, {210, 40, 70, 70});
    p.font(6, 28, QStringLiteral("DejaVu Serif")).stringFormat(7, 1, 1);
    p.drawString(QColor(20, 20, 20), 6, QStringLiteral("EMF+ text"), {180, 130, 220, 60}, 7);
    p.save(1).transform(0x402D, {100, 200}).transform(0x402F, {-20});
    p.fillRects(QColor(0, 0, 200, 128), {{-40, -15, 80, 30}}).restore(1);
    p.bitmap(8, checkerboard()).drawImage(8, {0, 0, 8, 8}, {320, 180, 48, 48});
    p.endOfFile();
    return e.finish();
}

}  // namespace gvtest
