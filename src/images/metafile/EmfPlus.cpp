// The EMF+ record player, after the public [MS-EMFPLUS] format description. Every record
// and object is read through bounds-checked views; counts are checked against the bytes
// that hold them before anything is allocated.

#include "images/metafile/EmfPlus.h"

#include <QBuffer>
#include <QFont>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <variant>
#include <vector>

#include "images/MemoryBudget.h"
#include "images/Metafile.h"
#include "images/metafile/Canvas.h"

namespace gv::metafile {

namespace {

constexpr quint32 kEmrComment = 70;
constexpr quint32 kEmfPlusSignature = 0x2B464D45;  // "EMF+"
constexpr qint64 kRecordHeader = 12;
// Objects split over several records are put together up to this size.
constexpr qint64 kMaxObjectBytes = 256 * 1024 * 1024;
constexpr int kMaxRegionDepth = 32;
constexpr int kMaxRegionNodes = 256;
// Path boolean operations cost more than linear time; beyond this many elements a path
// gradient fills its shape unclipped and a region keeps its first part.
constexpr int kMaxBooleanElements = 4000;
constexpr qint64 kMaxSavedStates = 1024;
constexpr qint64 kMaxBitmapPixels = 64 * 1024 * 1024;
// Qt refuses wider pens; nothing that wide is seen as more than a filled area anyway.
constexpr double kMaxPenWidth = 32000;

enum Record : quint16 {
    kHeader = 0x4001,
    kEndOfFile = 0x4002,
    kGetDc = 0x4004,
    kObject = 0x4008,
    kClear = 0x4009,
    kFillRects = 0x400A,
    kDrawRects = 0x400B,
    kFillPolygon = 0x400C,
    kDrawLines = 0x400D,
    kFillEllipse = 0x400E,
    kDrawEllipse = 0x400F,
    kFillPie = 0x4010,
    kDrawPie = 0x4011,
    kDrawArc = 0x4012,
    kFillRegion = 0x4013,
    kFillPath = 0x4014,
    kDrawPath = 0x4015,
    kFillClosedCurve = 0x4016,
    kDrawClosedCurve = 0x4017,
    kDrawCurve = 0x4018,
    kDrawBeziers = 0x4019,
    kDrawImage = 0x401A,
    kDrawImagePoints = 0x401B,
    kDrawString = 0x401C,
    kDrawDriverString = 0x4036,
    kSetAntiAliasMode = 0x401E,
    kSetTextRenderingHint = 0x401F,
    kSave = 0x4025,
    kRestore = 0x4026,
    kBeginContainer = 0x4027,
    kBeginContainerNoParams = 0x4028,
    kEndContainer = 0x4029,
    kSetWorldTransform = 0x402A,
    kResetWorldTransform = 0x402B,
    kMultiplyWorldTransform = 0x402C,
    kTranslateWorldTransform = 0x402D,
    kScaleWorldTransform = 0x402E,
    kRotateWorldTransform = 0x402F,
    kSetPageTransform = 0x4030,
    kResetClip = 0x4031,
    kSetClipRect = 0x4032,
    kSetClipPath = 0x4033,
    kSetClipRegion = 0x4034,
    kOffsetClip = 0x4035,
};

// Record flags.
constexpr quint16 kSolidColor = 0x8000;  // S: the brush is an ARGB colour
constexpr quint16 kCompressed = 0x4000;  // C: 16-bit integer coordinates
constexpr quint16 kAppend = 0x2000;      // A: transforms multiply after the world one
constexpr quint16 kClosed = 0x2000;      // L: DrawLines closes the figure
constexpr quint16 kRelative = 0x0800;    // P: relative points
constexpr quint16 kContinued = 0x8000;   // object continues in the next record

// Path point flags and types.
constexpr quint32 kPathCompressed = 0x4000;
constexpr quint32 kPathRle = 0x1000;
constexpr quint32 kPathRelative = 0x0800;
constexpr quint8 kPointTypeMask = 0x07;
constexpr quint8 kPointLine = 1;
constexpr quint8 kPointBezier = 3;
constexpr quint8 kPointClose = 0x80;

QColor argb(quint32 v) {
    return QColor(int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF), int(v >> 24));
}

bool finiteTransform(const QTransform& t) {
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
}

QTransform matrixAt(const ByteReader& r, qint64 at) {
    const QTransform t(r.f32(at), r.f32(at + 4), r.f32(at + 8), r.f32(at + 12), r.f32(at + 16),
                       r.f32(at + 20));
    return finiteTransform(t) ? t : QTransform();
}

bool finitePoint(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// A rectangle of four floats, or of four 16-bit integers when compressed.
QRectF rectAt(const ByteReader& r, qint64 at, bool compressed) {
    const QRectF rect = compressed
                            ? QRectF(r.i16(at), r.i16(at + 2), r.i16(at + 4), r.i16(at + 6))
                            : QRectF(r.f32(at), r.f32(at + 4), r.f32(at + 8), r.f32(at + 12));
    return finitePoint(rect.topLeft()) && finitePoint(rect.bottomRight()) ? rect : QRectF();
}

// EmfPlusInteger7 / EmfPlusInteger15 coordinates of relative points.
bool relativeValue(const ByteReader& r, qint64* at, double* value) {
    if (!r.has(*at, 1)) {
        return false;
    }
    const quint8 first = r.u8(*at);
    if ((first & 0x80) == 0) {
        *value = (first & 0x40) ? int(first) - 0x80 : int(first);
        *at += 1;
        return true;
    }
    if (!r.has(*at, 2)) {
        return false;
    }
    const int raw = ((first & 0x7F) << 8) | r.u8(*at + 1);
    *value = (raw & 0x4000) ? raw - 0x8000 : raw;
    *at += 2;
    return true;
}

// `count` points from `at`: floats, 16-bit integers or relative. *end is where they stop.
bool readPoints(const ByteReader& r, qint64 at, qint64 count, bool compressed, bool relative,
                std::vector<QPointF>& out, qint64* end = nullptr) {
    out.clear();
    if (count < 0 || count > r.size() / 2) {
        return false;
    }
    if (relative) {
        out.reserve(size_t(count));
        QPointF p;
        for (qint64 i = 0; i < count; ++i) {
            double dx = 0;
            double dy = 0;
            if (!relativeValue(r, &at, &dx) || !relativeValue(r, &at, &dy)) {
                return false;
            }
            p += QPointF(dx, dy);
            out.push_back(p);
        }
    } else {
        const qint64 size = compressed ? 4 : 8;
        if (!r.has(at, count * size)) {
            return false;
        }
        out.reserve(size_t(count));
        for (qint64 i = 0; i < count; ++i) {
            const qint64 p = at + i * size;
            const QPointF point =
                compressed ? QPointF(r.i16(p), r.i16(p + 2)) : QPointF(r.f32(p), r.f32(p + 4));
            if (!finitePoint(point)) {
                return false;
            }
            out.push_back(point);
        }
        at += count * size;
    }
    if (end) {
        *end = at;
    }
    return true;
}

// An EmfPlusPath object: points, then one type per point (or run-length encoded types).
std::optional<QPainterPath> readPath(const ByteReader& r) {
    const qint64 count = r.u32(4);
    const quint32 flags = r.u32(8);
    std::vector<QPointF> points;
    qint64 at = 12;
    if (!readPoints(r, 12, count, flags & kPathCompressed, flags & kPathRelative, points, &at)) {
        return std::nullopt;
    }
    std::vector<quint8> types;
    types.reserve(size_t(count));
    while (qint64(types.size()) < count) {
        if (!r.has(at, 1)) {
            return std::nullopt;
        }
        const quint8 b = r.u8(at);
        if ((flags & kPathRle) && (b & 0x40)) {
            if (!r.has(at, 2)) {
                return std::nullopt;
            }
            const qint64 run = std::min<qint64>(b & 0x3F, count - qint64(types.size()));
            const quint8 type = quint8((r.u8(at + 1) & ~kPointTypeMask) |
                                       ((b & 0x80) ? kPointBezier : r.u8(at + 1) & kPointTypeMask));
            types.insert(types.end(), size_t(run), type);
            at += 2;
        } else {
            types.push_back(b);
            at += 1;
        }
    }
    QPainterPath path;
    for (qint64 i = 0; i < count; ++i) {
        const quint8 type = types[size_t(i)] & kPointTypeMask;
        const QPointF& p = points[size_t(i)];
        if (i == 0 || type == 0) {
            path.moveTo(p);
        } else if (type == kPointBezier && i + 2 < count) {
            path.cubicTo(p, points[size_t(i + 1)], points[size_t(i + 2)]);
            i += 2;
        } else {
            path.lineTo(p);
        }
        if (types[size_t(i)] & kPointClose) {
            path.closeSubpath();
        }
    }
    return path;
}

struct PlusBrush final {
    QBrush brush;
    std::optional<QPainterPath> boundary;  // a path gradient paints inside its path only
    QColor under;                          // a hatch's back colour, painted first
};

struct PlusPen final {
    QPen pen;
    quint32 unit = 0;  // of the width; world units unless said otherwise
};

struct PlusFont final {
    QFont font;
    double em = 12;
    quint32 unit = 3;  // points
};

struct PlusFormat final {
    int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
};

struct PlusImage final {
    QImage image;
    QSizeF units;  // the size source rectangles are given in, where not the raster's
    // The image's share of the memory budget, given back with the last copy of the object.
    std::shared_ptr<MemoryBudget::Reservation> memory;
};

struct PlusRegion final {
    QPainterPath path;
    bool infinite = false;
};

using PlusObject = std::variant<std::monostate, PlusBrush, PlusPen, QPainterPath, PlusFont,
                                PlusFormat, PlusImage, PlusRegion>;

// Blend positions and colours of a gradient, as the brush stores them after its fixed part.
QGradientStops blendStops(const ByteReader& r, qint64* at, QColor from, QColor to, quint32 flags) {
    constexpr quint32 kPresetColors = 0x04;
    constexpr quint32 kBlendFactorsH = 0x08;
    constexpr quint32 kBlendFactorsV = 0x10;
    QGradientStops stops{{0.0, from}, {1.0, to}};
    if (!(flags & (kPresetColors | kBlendFactorsH | kBlendFactorsV))) {
        return stops;
    }
    const qint64 count = r.u32(*at);
    if (count < 2 || count > r.size() / 8 || !r.has(*at + 4, count * 8)) {
        return stops;
    }
    QGradientStops read;
    for (qint64 i = 0; i < count; ++i) {
        const double position = std::clamp(double(r.f32(*at + 4 + 4 * i)), 0.0, 1.0);
        const qint64 valueAt = *at + 4 + 4 * count + 4 * i;
        QColor color;
        if (flags & kPresetColors) {
            color = argb(r.u32(valueAt));
        } else {
            const double f = std::clamp(double(r.f32(valueAt)), 0.0, 1.0);
            color = QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * f),
                                     float(from.greenF() + (to.greenF() - from.greenF()) * f),
                                     float(from.blueF() + (to.blueF() - from.blueF()) * f),
                                     float(from.alphaF() + (to.alphaF() - from.alphaF()) * f));
        }
        if (std::isfinite(position)) {
            read.append({position, color});
        }
    }
    *at += 4 + 8 * count;
    return read.size() >= 2 ? read : stops;
}

std::optional<PlusImage> readImage(const ByteReader& r);

std::optional<PlusBrush> readBrush(const ByteReader& r) {
    constexpr quint32 kDataPath = 0x01;
    constexpr quint32 kDataTransform = 0x02;
    const quint32 type = r.u32(4);
    PlusBrush result;
    switch (type) {
        case 0:  // solid colour
            if (!r.has(8, 4)) {
                return std::nullopt;
            }
            result.brush = QBrush(argb(r.u32(8)));
            return result;
        case 1: {  // hatch
            static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                          Qt::FDiagPattern, Qt::BDiagPattern,
                                                          Qt::CrossPattern, Qt::DiagCrossPattern};
            const quint32 style = r.u32(8);
            const QColor fore = argb(r.u32(12));
            const QColor back = argb(r.u32(16));
            // The many finer hatches of GDI+ are shown as a half-tone of the fore colour.
            result.brush = QBrush(fore, style < 6 ? kHatches[style] : Qt::Dense4Pattern);
            result.under = back;
            return result;
        }
        case 4: {  // linear gradient across a rectangle, start colour at its left edge
            const quint32 flags = r.u32(8);
            const QRectF rect = rectAt(r, 16, false);
            if (!r.has(8, 40) || rect.isNull()) {
                return std::nullopt;
            }
            const QColor start = argb(r.u32(32));
            const QColor end = argb(r.u32(36));
            qint64 at = 48;
            QTransform transform;
            if (flags & kDataTransform) {
                transform = matrixAt(r, at);
                at += 24;
            }
            QLinearGradient gradient(rect.topLeft(), rect.topRight());
            gradient.setStops(blendStops(r, &at, start, end, flags));
            // Wrap modes: tile, tiles flipped (mirrored), clamp.
            const quint32 wrap = r.u32(12);
            gradient.setSpread(wrap == 0   ? QGradient::RepeatSpread
                               : wrap == 4 ? QGradient::PadSpread
                                           : QGradient::ReflectSpread);
            result.brush = QBrush(gradient);
            result.brush.setTransform(transform);
            return result;
        }
        case 3: {  // path gradient: from the centre colour to the surrounding colours
            const quint32 flags = r.u32(8);
            const QColor centerColor = argb(r.u32(16));
            const QPointF center(r.f32(20), r.f32(24));
            const qint64 colorCount = r.u32(28);
            if (!r.has(8, 24) || colorCount > r.size() / 4 || !r.has(32, colorCount * 4) ||
                !finitePoint(center)) {
                return std::nullopt;
            }
            const QColor surround = colorCount > 0 ? argb(r.u32(32)) : centerColor;
            qint64 at = 32 + colorCount * 4;
            QPainterPath boundary;
            if (flags & kDataPath) {
                const qint64 size = r.u32(at);
                const auto path = readPath(r.sub(at + 4, size));
                if (!path || !r.has(at + 4, size)) {
                    return std::nullopt;
                }
                boundary = *path;
                at += 4 + size;
            } else {
                std::vector<QPointF> points;
                const qint64 count = r.u32(at);
                if (!readPoints(r, at + 4, count, false, false, points, &at) || points.empty()) {
                    return std::nullopt;
                }
                boundary.addPolygon(QPolygonF(QList<QPointF>(points.begin(), points.end())));
                boundary.closeSubpath();
            }
            QTransform transform;
            if (flags & kDataTransform) {
                transform = matrixAt(r, at);
                at += 24;
            }
            double radius = 0;
            const QRectF box = boundary.boundingRect();
            for (QPointF corner :
                 {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
                radius = std::max(radius, QLineF(center, corner).length());
            }
            QRadialGradient gradient(center, std::max(radius, 1e-6));
            // Preset colours of a path gradient run from the boundary (0) to the centre (1).
            QGradientStops stops = blendStops(r, &at, surround, centerColor, flags);
            for (auto& stop : stops) {
                stop.first = 1 - stop.first;
            }
            std::sort(stops.begin(), stops.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
            gradient.setStops(stops);
            result.brush = QBrush(gradient);
            result.brush.setTransform(transform);
            result.boundary = transform.map(boundary);
            return result;
        }
        case 2: {  // texture: an image tiled from the world origin
            qint64 at = 16;
            QTransform transform;
            if (r.u32(8) & kDataTransform) {
                transform = matrixAt(r, at);
                at += 24;
            }
            const auto image = readImage(r.sub(at, r.size() - at));
            result.brush = image ? QBrush(image->image) : QBrush(QColor(128, 128, 128));
            result.brush.setTransform(transform);
            return result;
        }
        default:
            return std::nullopt;
    }
}

std::optional<PlusPen> readPen(const ByteReader& r) {
    const quint32 flags = r.u32(8);
    const double width = r.f32(16);
    if (!r.has(0, 20) || !std::isfinite(width)) {
        return std::nullopt;
    }
    QPen pen;
    pen.setWidthF(std::min(std::abs(width), kMaxPenWidth));
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    qint64 at = 20;
    auto cap = [](qint32 v) {
        return v == 1 ? Qt::SquareCap : v == 2 ? Qt::RoundCap : Qt::FlatCap;
    };
    if (flags & 0x0001) {  // transform
        at += 24;
    }
    if (flags & 0x0002) {
        pen.setCapStyle(cap(r.i32(at)));
        at += 4;
    }
    if (flags & 0x0004) {
        at += 4;
    }
    if (flags & 0x0008) {
        const quint32 join = r.u32(at);
        pen.setJoinStyle(join == 1 ? Qt::BevelJoin : join == 2 ? Qt::RoundJoin : Qt::MiterJoin);
        at += 4;
    }
    if (flags & 0x0010) {
        const double limit = r.f32(at);
        if (std::isfinite(limit) && limit > 0) {
            pen.setMiterLimit(std::min(limit, 1000.0));
        }
        at += 4;
    }
    if (flags & 0x0020) {
        static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                                   Qt::DashDotLine, Qt::DashDotDotLine};
        const quint32 style = r.u32(at);
        if (style < 5) {
            pen.setStyle(kStyles[style]);
        }
        at += 4;
    }
    if (flags & 0x0040) {  // dashed line cap
        at += 4;
    }
    if (flags & 0x0080) {
        const double offset = r.f32(at);
        if (std::isfinite(offset)) {
            pen.setDashOffset(offset);
        }
        at += 4;
    }
    if (flags & 0x0100) {  // custom dashes, in pen widths
        const qint64 count = r.u32(at);
        if (count > r.size() / 4 || !r.has(at + 4, count * 4)) {
            return std::nullopt;
        }
        QList<qreal> dashes;
        for (qint64 i = 0; i < count; ++i) {
            const double d = r.f32(at + 4 + 4 * i);
            dashes.append(std::isfinite(d) ? std::clamp(d, 0.01, 1e4) : 1.0);
        }
        if (dashes.size() >= 2 && dashes.size() % 2 == 0) {
            pen.setDashPattern(dashes);
        }
        at += 4 + count * 4;
    }
    if (flags & 0x0200) {  // alignment
        at += 4;
    }
    if (flags & 0x0400) {  // compound lines: drawn as one solid line
        const qint64 count = r.u32(at);
        if (count > r.size() / 4) {
            return std::nullopt;
        }
        at += 4 + count * 4;
    }
    for (quint32 custom : {0x0800u, 0x1000u}) {  // custom caps: skipped
        if (flags & custom) {
            const qint64 size = r.u32(at);
            if (size > r.size()) {
                return std::nullopt;
            }
            at += 4 + size;
        }
    }
    if (!r.has(at, 8)) {
        return std::nullopt;
    }
    const auto brush = readBrush(r.sub(at, r.size() - at));
    if (!brush) {
        return std::nullopt;
    }
    const Qt::PenStyle style = pen.style();
    pen.setBrush(brush->brush);
    pen.setStyle(style);
    return PlusPen{pen, r.u32(12)};
}

std::optional<PlusFont> readFont(const ByteReader& r) {
    const double em = r.f32(4);
    const qint64 length = r.u32(20);
    if (!std::isfinite(em) || em <= 0 || length > r.size() || !r.has(24, length * 2)) {
        return std::nullopt;
    }
    PlusFont result;
    QString family;
    for (qint64 i = 0; i < length; ++i) {
        family.append(QChar(r.u16(24 + 2 * i)));
    }
    const qint32 style = r.i32(12);
    if (!family.isEmpty()) {
        result.font.setFamilies({family});
    }
    result.font.setBold(style & 1);
    result.font.setItalic(style & 2);
    result.font.setUnderline(style & 4);
    result.font.setStrikeOut(style & 8);
    result.em = em;
    result.unit = r.u32(8);
    return result;
}

PlusFormat readFormat(const ByteReader& r) {
    constexpr quint32 kNoWrap = 0x1000;
    const quint32 flags = r.u32(4);
    const quint32 align = r.u32(12);
    const quint32 lineAlign = r.u32(16);
    PlusFormat format;
    format.flags = (align == 1   ? Qt::AlignHCenter
                    : align == 2 ? Qt::AlignRight
                                 : Qt::AlignLeft) |
                   (lineAlign == 1   ? Qt::AlignVCenter
                    : lineAlign == 2 ? Qt::AlignBottom
                                     : Qt::AlignTop) |
                   ((flags & kNoWrap) ? 0 : Qt::TextWordWrap);
    return format;
}

// Metafile images are drawn from a raster of at most this size a side.
constexpr int kMaxMetafileImageSide = 1024;

// Bytes a pixel of the raster Qt's reader makes in that format takes (16-bit PNGs take 8).
qint64 bytesPerPixel(QImage::Format format) {
    const int bits =
        format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return std::max<qint64>(4, bits / 8);
}

// The budget's bytes for an image object's raster, taken before it is decoded: an EMF+ picture
// may hold hundreds of large images at once. Nothing when the budget has no room for it, and
// the object stays empty.
std::shared_ptr<MemoryBudget::Reservation> reserveImage(QSize size, qint64 perPixel) {
    std::optional<MemoryBudget::Reservation> r =
        MemoryBudget::program().reserve(qint64(size.width()) * size.height() * perPixel);
    return r ? std::make_shared<MemoryBudget::Reservation>(std::move(*r)) : nullptr;
}

// The bytes an image object will take once decoded, from its header alone.
qint64 imageObjectBytes(const ByteReader& r) {
    if (r.u32(4) == 2) {
        return qint64(kMaxMetafileImageSide) * kMaxMetafileImageSide * 4;
    }
    if (r.u32(4) != 1) {
        return 0;
    }
    if (r.u32(24) == 1) {
        QByteArray bytes =
            QByteArray::fromRawData(r.data() + 28, std::max<qint64>(r.size() - 28, 0));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        return size.isValid()
                   ? qint64(size.width()) * size.height() * bytesPerPixel(reader.imageFormat())
                   : 0;
    }
    const qint64 width = r.i32(8);
    const qint64 height = r.i32(12);
    return width > 0 && height > 0 ? std::min(width * height, kMaxBitmapPixels) * 4 : 0;
}

// A metafile inside a metafile is drawn from a raster of it, and only one level deep.
std::optional<PlusImage> readMetafileImage(const ByteReader& r) {
    constexpr int kMaxSide = kMaxMetafileImageSide;
    static thread_local int depth = 0;
    const qint64 size = r.u32(12);
    if (depth > 0 || !r.has(16, size)) {
        return std::nullopt;
    }
    ++depth;
    std::optional<PlusImage> result;
    if (const auto picture = Metafile::fromBytes(QByteArray::fromRawData(r.data() + 16, size))) {
        QSize pixels = picture->sizePixels();
        if (pixels.width() > kMaxSide || pixels.height() > kMaxSide) {
            pixels.scale(kMaxSide, kMaxSide, Qt::KeepAspectRatio);
        }
        const QSizeF units = picture->sizePixels();
        pixels = pixels.expandedTo(QSize(1, 1));
        auto memory = reserveImage(pixels, 4);
        QImage image = memory ? picture->render(pixels, Qt::transparent) : QImage();
        if (!image.isNull()) {
            result = PlusImage{std::move(image), units, std::move(memory)};
        }
    }
    --depth;
    return result;
}

std::optional<PlusImage> readImage(const ByteReader& r) {
    if (r.u32(4) == 2) {
        return readMetafileImage(r);
    }
    if (r.u32(4) != 1) {
        return std::nullopt;
    }
    const qint64 width = r.i32(8);
    const qint64 height = r.i32(12);
    const qint64 stride = r.i32(16);
    const quint32 format = r.u32(20);
    const quint32 kind = r.u32(24);
    const ByteReader data = r.sub(28, r.size() - 28);
    if (kind == 1) {  // PNG, JPEG, GIF, BMP... as a file
        QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        reader.setAllocationLimit(int(kMaxBitmapPixels * 4 / (1024 * 1024)));
        const QSize size = reader.size();
        if (!size.isValid()) {
            return std::nullopt;
        }
        auto memory = reserveImage(size, bytesPerPixel(reader.imageFormat()));
        QImage image = memory ? reader.read() : QImage();
        if (image.isNull()) {
            return std::nullopt;
        }
        return PlusImage{std::move(image), {}, std::move(memory)};
    }
    if (width <= 0 || height <= 0 || width * height > kMaxBitmapPixels || stride <= 0) {
        return std::nullopt;
    }
    int bytesPerPixel = 0;
    switch (format) {
        case 0x00021808:  // 24 bpp RGB
            bytesPerPixel = 3;
            break;
        case 0x00022009:  // 32 bpp RGB
        case 0x0026200A:  // 32 bpp ARGB
        case 0x000E200B:  // 32 bpp premultiplied ARGB
            bytesPerPixel = 4;
            break;
        default:
            return std::nullopt;
    }
    if (stride < width * bytesPerPixel || !data.has(0, stride * height)) {
        return std::nullopt;
    }
    auto memory = reserveImage(QSize(int(width), int(height)), 4);
    if (!memory) {
        return std::nullopt;
    }
    QImage image(
        int(width), int(height),
        format == 0x000E200B ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (image.isNull()) {
        return std::nullopt;
    }
    for (qint64 y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (qint64 x = 0; x < width; ++x) {
            const qint64 p = y * stride + x * bytesPerPixel;
            const int alpha = format == 0x0026200A || format == 0x000E200B ? data.u8(p + 3) : 255;
            line[x] = qRgba(data.u8(p + 2), data.u8(p + 1), data.u8(p), alpha);
        }
    }
    return PlusImage{image, {}, std::move(memory)};
}

// A region node tree: rectangles and paths combined as the nodes say.
std::optional<PlusRegion> readRegionNode(const ByteReader& r, qint64* at, int depth, int* nodes) {
    if (depth > kMaxRegionDepth || ++*nodes > kMaxRegionNodes || !r.has(*at, 4)) {
        return std::nullopt;
    }
    const quint32 type = r.u32(*at);
    *at += 4;
    PlusRegion region;
    switch (type) {
        case 0x10000000: {  // rectangle
            if (!r.has(*at, 16)) {
                return std::nullopt;
            }
            region.path.addRect(rectAt(r, *at, false).normalized());
            *at += 16;
            return region;
        }
        case 0x10000001: {  // path
            const qint64 size = r.u32(*at);
            if (!r.has(*at + 4, size)) {
                return std::nullopt;
            }
            const auto path = readPath(r.sub(*at + 4, size));
            if (!path) {
                return std::nullopt;
            }
            region.path = *path;
            *at += 4 + size;
            return region;
        }
        case 0x10000002:  // empty
            return region;
        case 0x10000003:  // infinite
            region.infinite = true;
            return region;
        default:
            break;
    }
    if (type < 1 || type > 5) {
        return std::nullopt;
    }
    const auto left = readRegionNode(r, at, depth + 1, nodes);
    const auto right = left ? readRegionNode(r, at, depth + 1, nodes) : std::nullopt;
    if (!right) {
        return std::nullopt;
    }
    // An infinite side stands for a very large rectangle.
    auto pathOf = [](const PlusRegion& node) {
        if (!node.infinite) {
            return node.path;
        }
        QPainterPath big;
        big.addRect(QRectF(-4e6, -4e6, 8e6, 8e6));
        return big;
    };
    const QPainterPath a = pathOf(*left);
    const QPainterPath b = pathOf(*right);
    if (a.elementCount() + b.elementCount() > kMaxBooleanElements) {
        region.path = a;
        return region;
    }
    switch (type) {
        case 1:
            region.path = a.intersected(b);
            break;
        case 2:
            region.path = a.united(b);
            break;
        case 3:
            region.path = a.united(b).subtracted(a.intersected(b));
            break;
        case 4:
            region.path = a.subtracted(b);
            break;
        default:
            region.path = b.subtracted(a);
            break;
    }
    return region;
}

// The clip combine modes of EMF+ as the canvas's region modes.
int combineMode(int mode) {
    static constexpr int kModes[] = {5, 1, 2, 3, 4, 6};
    return mode >= 0 && mode < 6 ? kModes[mode] : 5;
}

}  // namespace

struct EmfPlusPlayer::Impl {
    struct State {
        QTransform world;
        quint32 pageUnit = 2;
        double pageScale = 1;
        bool antialias = true;
        bool textAntialias = true;
    };
    struct Saved {
        quint32 index = 0;
        State state;
        Canvas::ClipState clip;
    };
    struct Pending {
        int id = -1;
        int type = 0;
        qint64 total = 0;
        QByteArray bytes;
    };

    Impl(const Layout& layout, Canvas& c) : canvas(c) {
        dpiX = layout.setup.devicePerMmX * 25.4;
        dpiY = layout.setup.devicePerMmY * 25.4;
    }

    void play(quint16 type, quint16 flags, const ByteReader& d);
    void object(quint16 flags, const ByteReader& d);
    void store(int id, int type, const ByteReader& d);
    double unitScale(quint32 unit, bool vertical) const;
    Canvas::PlusPaint paint() const;
    template <typename T>
    const T* get(quint32 id) const {
        return id < objects.size() ? std::get_if<T>(&objects[id]) : nullptr;
    }
    void fill(quint16 flags, quint32 brushId, QPainterPath shape);
    void stroke(quint32 penId, const QPainterPath& shape);
    void transform(quint16 flags, const QTransform& t);
    void save(quint32 index);
    void restore(quint32 index);
    void drawString(quint16 type, quint16 flags, const ByteReader& d);
    void drawImage(quint16 type, quint16 flags, const ByteReader& d);
    QPainterPath ellipsePath(const QRectF& box, double start, double sweep, bool pie,
                             bool arc) const;

    Canvas& canvas;
    double dpiX = 96;
    double dpiY = 96;
    bool active = false;  // an EMF+ header has been met
    bool getDc = false;   // the last EMF+ record was GetDC
    State state;
    std::vector<Saved> saved;
    std::array<PlusObject, 256> objects;
    Pending pending;
    std::vector<QPointF> points;
};

double EmfPlusPlayer::Impl::unitScale(quint32 unit, bool vertical) const {
    const double dpi = vertical ? dpiY : dpiX;
    switch (unit) {
        case 3:  // point
            return dpi / 72;
        case 4:  // inch
            return dpi;
        case 5:  // document, 1/300 inch
            return dpi / 300;
        case 6:  // millimetre
            return dpi / 25.4;
        default:  // world, display, pixel
            return 1;
    }
}

Canvas::PlusPaint EmfPlusPlayer::Impl::paint() const {
    const QTransform page =
        QTransform::fromScale(state.pageScale * unitScale(state.pageUnit, false),
                              state.pageScale * unitScale(state.pageUnit, true));
    return {state.world * page, state.antialias, state.textAntialias};
}

void EmfPlusPlayer::Impl::fill(quint16 flags, quint32 brushId, QPainterPath shape) {
    const Canvas::PlusPaint how = paint();
    if (flags & kSolidColor) {
        canvas.plusFill(shape, QBrush(argb(brushId)), how);
        return;
    }
    const PlusBrush* b = get<PlusBrush>(brushId);
    if (!b) {
        return;
    }
    if (b->boundary && shape.elementCount() + b->boundary->elementCount() <= kMaxBooleanElements) {
        shape = shape.intersected(*b->boundary);
    }
    if (b->under.isValid() && b->under.alpha() > 0) {
        canvas.plusFill(shape, QBrush(b->under), how);
    }
    canvas.plusFill(shape, b->brush, how);
}

void EmfPlusPlayer::Impl::stroke(quint32 penId, const QPainterPath& shape) {
    if (const PlusPen* p = get<PlusPen>(penId)) {
        QPen pen = p->pen;
        if (p->unit != 0) {
            const double width = pen.widthF() * unitScale(p->unit, false) /
                                 (state.pageScale * unitScale(state.pageUnit, false));
            if (!std::isfinite(width)) {
                return;
            }
            pen.setWidthF(std::min(width, kMaxPenWidth));
        }
        canvas.plusStroke(shape, pen, paint());
    }
}

void EmfPlusPlayer::Impl::transform(quint16 flags, const QTransform& t) {
    if (!finiteTransform(t)) {
        return;
    }
    const QTransform next = (flags & kAppend) ? state.world * t : t * state.world;
    if (finiteTransform(next)) {
        state.world = next;
    }
}

void EmfPlusPlayer::Impl::save(quint32 index) {
    if (saved.size() < size_t(kMaxSavedStates)) {
        saved.push_back({index, state, canvas.clipState()});
    }
}

void EmfPlusPlayer::Impl::restore(quint32 index) {
    for (size_t i = saved.size(); i-- > 0;) {
        if (saved[i].index == index) {
            state = saved[i].state;
            canvas.setClipState(saved[i].clip);
            saved.resize(i);
            return;
        }
    }
}

QPainterPath EmfPlusPlayer::Impl::ellipsePath(const QRectF& box, double start, double sweep,
                                              bool pie, bool arc) const {
    QPainterPath path;
    const QRectF b = box.normalized();
    if (!(b.width() > 0) || !(b.height() > 0) || !std::isfinite(start) || !std::isfinite(sweep) ||
        std::abs(start) > 1e6 || std::abs(sweep) > 1e6) {
        return path;
    }
    // GDI+ angles run clockwise on the screen and point in the true direction; Qt's run
    // counter-clockwise and are taken on the circle the ellipse is stretched from.
    auto parametric = [&](double degrees) {
        const double a = degrees * M_PI / 180;
        return std::atan2(b.width() * std::sin(a), b.height() * std::cos(a)) * 180 / M_PI;
    };
    const double t0 = parametric(start);
    double tSweep = 360;
    if (std::abs(sweep) < 360) {
        tSweep = parametric(start + sweep) - t0;
        while (sweep > 0 && tSweep < 0) {
            tSweep += 360;
        }
        while (sweep < 0 && tSweep > 0) {
            tSweep -= 360;
        }
    } else if (sweep < 0) {
        tSweep = -360;
    }
    if (pie) {
        path.moveTo(b.center());
        path.arcTo(b, -t0, -tSweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(b, -t0);
        path.arcTo(b, -t0, -tSweep);
        if (!arc) {
            path.closeSubpath();
        }
    }
    return path;
}

void EmfPlusPlayer::Impl::play(quint16 type, quint16 flags, const ByteReader& d) {
    getDc = type == kGetDc;
    const bool compressed = flags & kCompressed;
    const bool relative = flags & kRelative;
    const quint8 id = quint8(flags & 0xFF);
    const qint64 rectSize = compressed ? 8 : 16;
    switch (type) {
        case kHeader:
            active = true;
            if (d.u32(8) > 0 && d.u32(12) > 0 && d.u32(8) < 100000 && d.u32(12) < 100000) {
                dpiX = d.u32(8);
                dpiY = d.u32(12);
            }
            break;
        case kEndOfFile:
        case kGetDc:
            break;
        case kObject:
            object(flags, d);
            break;
        case kClear:
            canvas.plusClear(argb(d.u32(0)));
            break;
        case kFillRects:
        case kDrawRects: {
            const qint64 at = type == kFillRects ? 8 : 4;
            const qint64 count = d.u32(at - 4);
            if (count > d.size() / rectSize || !d.has(at, count * rectSize)) {
                break;
            }
            QPainterPath path;
            path.setFillRule(Qt::WindingFill);
            for (qint64 i = 0; i < count; ++i) {
                path.addRect(rectAt(d, at + i * rectSize, compressed).normalized());
            }
            if (type == kFillRects) {
                fill(flags, d.u32(0), path);
            } else {
                stroke(id, path);
            }
            break;
        }
        case kFillPolygon:
            if (readPoints(d, 8, d.u32(4), compressed, relative, points) && points.size() >= 2) {
                QPainterPath path;
                path.addPolygon(QPolygonF(QList<QPointF>(points.begin(), points.end())));
                path.closeSubpath();
                fill(flags, d.u32(0), path);
            }
            break;
        case kDrawLines:
        case kDrawBeziers:
            if (readPoints(d, 4, d.u32(0), compressed, relative, points) && points.size() >= 2) {
                QPainterPath path(points[0]);
                if (type == kDrawLines) {
                    for (size_t i = 1; i < points.size(); ++i) {
                        path.lineTo(points[i]);
                    }
                    if (flags & kClosed) {
                        path.closeSubpath();
                    }
                } else {
                    for (size_t i = 1; i + 2 < points.size(); i += 3) {
                        path.cubicTo(points[i], points[i + 1], points[i + 2]);
                    }
                }
                stroke(id, path);
            }
            break;
        case kFillClosedCurve:
        case kDrawClosedCurve:
        case kDrawCurve: {
            // Cardinal splines, drawn through their points as Bezier segments.
            const bool filled = type == kFillClosedCurve;
            const qint64 countAt = filled ? 8 : type == kDrawCurve ? 12 : 4;
            const double tension = d.f32(filled ? 4 : 0);
            if (!std::isfinite(tension) || std::abs(tension) > 100 ||
                !readPoints(d, countAt + 4, d.u32(countAt), compressed, relative, points) ||
                points.size() < 2) {
                break;
            }
            const bool closed = type != kDrawCurve;
            const size_t n = points.size();
            auto at = [&](qint64 i) {
                if (closed) {
                    return points[size_t((i % qint64(n) + qint64(n)) % qint64(n))];
                }
                return points[size_t(std::clamp<qint64>(i, 0, qint64(n) - 1))];
            };
            QPainterPath path(points[0]);
            const double k = tension / 3;
            for (size_t i = 0; i + (closed ? 0 : 1) < n; ++i) {
                const QPointF p1 = at(qint64(i));
                const QPointF p2 = at(qint64(i) + 1);
                path.cubicTo(p1 + (p2 - at(qint64(i) - 1)) * k, p2 - (at(qint64(i) + 2) - p1) * k,
                             p2);
            }
            if (closed) {
                path.closeSubpath();
            }
            if (filled) {
                path.setFillRule((flags & 0x2000) ? Qt::WindingFill : Qt::OddEvenFill);
                fill(flags, d.u32(0), path);
            } else {
                stroke(id, path);
            }
            break;
        }
        case kFillEllipse:
        case kDrawEllipse: {
            const qint64 at = type == kFillEllipse ? 4 : 0;
            if (!d.has(at, rectSize)) {
                break;
            }
            QPainterPath path;
            path.addEllipse(rectAt(d, at, compressed).normalized());
            if (type == kFillEllipse) {
                fill(flags, d.u32(0), path);
            } else {
                stroke(id, path);
            }
            break;
        }
        case kFillPie:
        case kDrawPie:
        case kDrawArc: {
            const qint64 at = type == kFillPie ? 4 : 0;
            if (!d.has(at, 8 + rectSize)) {
                break;
            }
            const QPainterPath path =
                ellipsePath(rectAt(d, at + 8, compressed), d.f32(at), d.f32(at + 4),
                            type != kDrawArc, type == kDrawArc);
            if (type == kFillPie) {
                fill(flags, d.u32(0), path);
            } else {
                stroke(id, path);
            }
            break;
        }
        case kFillPath:
            if (const auto* path = get<QPainterPath>(id)) {
                fill(flags, d.u32(0), *path);
            }
            break;
        case kDrawPath:
            if (const auto* path = get<QPainterPath>(id)) {
                stroke(d.u32(0), *path);
            }
            break;
        case kFillRegion:
            if (const auto* region = get<PlusRegion>(id)) {
                QPainterPath area = region->path;
                if (region->infinite) {
                    area = QPainterPath();
                    area.addRect(QRectF(-4e6, -4e6, 8e6, 8e6));
                }
                fill(flags, d.u32(0), area);
            }
            break;
        case kDrawString:
        case kDrawDriverString:
            drawString(type, flags, d);
            break;
        case kDrawImage:
        case kDrawImagePoints:
            drawImage(type, flags, d);
            break;
        case kSetAntiAliasMode:
            state.antialias = (flags & 1) != 0;
            break;
        case kSetTextRenderingHint: {
            const int hint = flags & 0xFF;
            state.textAntialias = hint != 1 && hint != 2;
            break;
        }
        case kSave:
        case kBeginContainerNoParams:
            save(d.u32(0));
            break;
        case kRestore:
        case kEndContainer:
            restore(d.u32(0));
            break;
        case kBeginContainer: {
            save(d.u32(32));
            const QRectF dest = rectAt(d, 0, false);
            const QRectF src = rectAt(d, 16, false);
            if (src.width() != 0 && src.height() != 0) {
                const double sx = dest.width() / src.width();
                const double sy = dest.height() / src.height();
                transform(
                    0, QTransform(sx, 0, 0, sy, dest.x() - src.x() * sx, dest.y() - src.y() * sy));
            }
            break;
        }
        case kSetWorldTransform:
            state.world = matrixAt(d, 0);
            break;
        case kResetWorldTransform:
            state.world.reset();
            break;
        case kMultiplyWorldTransform:
            transform(flags, matrixAt(d, 0));
            break;
        case kTranslateWorldTransform:
            transform(flags, QTransform::fromTranslate(d.f32(0), d.f32(4)));
            break;
        case kScaleWorldTransform:
            transform(flags, QTransform::fromScale(d.f32(0), d.f32(4)));
            break;
        case kRotateWorldTransform: {
            const double angle = d.f32(0);
            if (std::isfinite(angle)) {
                transform(flags, QTransform().rotate(std::fmod(angle, 360)));
            }
            break;
        }
        case kSetPageTransform: {
            const double scale = d.f32(0);
            if (std::isfinite(scale) && scale > 0 && scale < 1e6) {
                state.pageUnit = flags & 0xFF;
                state.pageScale = scale;
            }
            break;
        }
        case kResetClip:
            canvas.plusClip(nullptr, 5, paint());
            break;
        case kSetClipRect: {
            QPainterPath path;
            path.addRect(rectAt(d, 0, false).normalized());
            canvas.plusClip(&path, combineMode((flags >> 8) & 0xF), paint());
            break;
        }
        case kSetClipPath:
            if (const auto* path = get<QPainterPath>(id)) {
                canvas.plusClip(path, combineMode((flags >> 8) & 0xF), paint());
            }
            break;
        case kSetClipRegion:
            if (const auto* region = get<PlusRegion>(id)) {
                if (region->infinite) {
                    canvas.plusClip(nullptr, 5, paint());
                } else {
                    canvas.plusClip(&region->path, combineMode((flags >> 8) & 0xF), paint());
                }
            }
            break;
        case kOffsetClip: {
            const QPointF offset = paint().toDevice.map(QPointF(d.f32(0), d.f32(4))) -
                                   paint().toDevice.map(QPointF(0, 0));
            if (finitePoint(offset)) {
                canvas.plusOffsetClip(offset);
            }
            break;
        }
        default:
            break;
    }
}

void EmfPlusPlayer::Impl::object(quint16 flags, const ByteReader& d) {
    const int id = flags & 0xFF;
    const int type = (flags >> 8) & 0x7F;
    if (!(flags & kContinued)) {
        pending = Pending{};
        store(id, type, d);
        return;
    }
    // Large objects come in pieces, each led by the object's total size.
    const qint64 total = d.u32(0);
    if (pending.id != id || pending.type != type || pending.total != total) {
        pending = Pending{id, type, total, {}};
    }
    if (total > kMaxObjectBytes) {
        pending = Pending{};
        return;
    }
    // The last piece may carry padding past the object's end.
    const ByteReader piece = d.sub(4, std::min(d.size() - 4, total - pending.bytes.size()));
    pending.bytes.append(piece.data(), piece.size());
    if (pending.bytes.size() == total) {
        const QByteArray bytes = std::move(pending.bytes);
        pending = Pending{};
        store(id, type, ByteReader(bytes.constData(), bytes.size()));
    }
}

void EmfPlusPlayer::Impl::store(int id, int type, const ByteReader& d) {
    PlusObject object;
    switch (type) {
        case 1:
            if (auto b = readBrush(d)) {
                object = std::move(*b);
            }
            break;
        case 2:
            if (auto p = readPen(d)) {
                object = std::move(*p);
            }
            break;
        case 3:
            if (auto p = readPath(d)) {
                object = std::move(*p);
            }
            break;
        case 4: {
            qint64 at = 8;
            int nodes = 0;
            if (auto region = readRegionNode(d, &at, 0, &nodes)) {
                object = std::move(*region);
            }
            break;
        }
        case 5:
            if (auto image = readImage(d)) {
                object = std::move(*image);
            }
            break;
        case 6:
            if (auto font = readFont(d)) {
                object = std::move(*font);
            }
            break;
        case 7:
            object = readFormat(d);
            break;
        default:
            break;
    }
    objects[size_t(id)] = std::move(object);
}

void EmfPlusPlayer::Impl::drawString(quint16 type, quint16 flags, const ByteReader& d) {
    // DrawString: brush, format, length, layout rectangle, characters. DrawDriverString:
    // brush, options, matrix present, count, characters, one origin each, the matrix.
    constexpr quint32 kCmapLookup = 0x1;
    constexpr quint32 kRealizedAdvance = 0x4;
    const bool driver = type == kDrawDriverString;
    const PlusFont* font = get<PlusFont>(flags & 0xFF);
    const qint64 length = d.u32(driver ? 12 : 8);
    const qint64 textAt = driver ? 16 : 28;
    if (!font || length > d.size() || !d.has(textAt, length * 2)) {
        return;
    }
    if (driver && !(d.u32(4) & kCmapLookup)) {
        return;  // glyph numbers of a font we do not have
    }
    QString text;
    text.reserve(length);
    for (qint64 i = 0; i < length; ++i) {
        text.append(QChar(d.u16(textAt + 2 * i)));
    }
    QBrush brush;
    if (flags & kSolidColor) {
        brush = QBrush(argb(d.u32(0)));
    } else if (const PlusBrush* b = get<PlusBrush>(d.u32(0))) {
        brush = b->brush;
    } else {
        return;
    }
    // The em size in world units: fonts in world units are already there.
    double em = font->em;
    if (font->unit != 0) {
        em = font->em * unitScale(font->unit, true) /
             (state.pageScale * unitScale(state.pageUnit, true));
    }
    if (!std::isfinite(em) || em <= 0) {
        return;
    }
    if (!driver) {
        const PlusFormat* format = get<PlusFormat>(d.u32(4));
        canvas.plusText(rectAt(d, 12, false), text, font->font, em,
                        format ? format->flags : PlusFormat{}.flags, brush, paint());
        return;
    }
    const qint64 originsAt = textAt + length * 2;
    const qint64 origins = (d.u32(4) & kRealizedAdvance) ? std::min<qint64>(length, 1) : length;
    if (!readPoints(d, originsAt, origins, false, false, points)) {
        return;
    }
    Canvas::PlusPaint how = paint();
    if (d.u32(8) != 0) {
        how.toDevice = matrixAt(d, originsAt + length * 8) * how.toDevice;
    }
    canvas.plusText(QRectF(), text, font->font, em, 0, brush, how, &points);
}

void EmfPlusPlayer::Impl::drawImage(quint16 type, quint16 flags, const ByteReader& d) {
    const PlusImage* image = get<PlusImage>(flags & 0xFF);
    const QRectF src = rectAt(d, 8, false);
    if (!image || src.width() == 0 || src.height() == 0) {
        return;
    }
    QPointF p0;
    QPointF p1;
    QPointF p2;
    if (type == kDrawImage) {
        const QRectF dest = rectAt(d, 24, flags & kCompressed);
        p0 = dest.topLeft();
        p1 = dest.topRight();
        p2 = dest.bottomLeft();
    } else {
        if (d.u32(24) != 3 ||
            !readPoints(d, 28, 3, flags & kCompressed, flags & kRelative, points)) {
            return;
        }
        p0 = points[0];
        p1 = points[1];
        p2 = points[2];
    }
    // The source rectangle onto the parallelogram p0 (top left), p1 (top right), p2.
    const double m11 = (p1.x() - p0.x()) / src.width();
    const double m12 = (p1.y() - p0.y()) / src.width();
    const double m21 = (p2.x() - p0.x()) / src.height();
    const double m22 = (p2.y() - p0.y()) / src.height();
    const QTransform toWorld(m11, m12, m21, m22, p0.x() - m11 * src.x() - m21 * src.y(),
                             p0.y() - m12 * src.x() - m22 * src.y());
    // A raster of an embedded metafile has its own pixels: source units scale onto them.
    QTransform unitsToPixels;
    if (!image->units.isEmpty()) {
        unitsToPixels = QTransform::fromScale(image->image.width() / image->units.width(),
                                              image->image.height() / image->units.height());
    }
    canvas.plusImage(image->image, unitsToPixels.mapRect(src), unitsToPixels.inverted() * toWorld,
                     paint());
}

EmfPlusPlayer::EmfPlusPlayer(const Layout& layout, Canvas& canvas)
    : m(std::make_unique<Impl>(layout, canvas)) {}

EmfPlusPlayer::~EmfPlusPlayer() = default;

namespace {

// Calls visit(type, flags, data) for each EMF+ record of an EMR_COMMENT record while it
// returns true; false when the comment is no EMF+ comment.
template <typename Visit>
bool forEachRecord(const ByteReader& record, Visit visit) {
    // EMR_COMMENT: type, size, data size, then the "EMF+" identifier and the records.
    if (record.u32(0) != kEmrComment || record.u32(12) != kEmfPlusSignature) {
        return false;
    }
    const qint64 dataSize = record.u32(8);
    const ByteReader records = record.sub(16, std::min<qint64>(dataSize - 4, record.size() - 16));
    qint64 pos = 0;
    while (records.has(pos, kRecordHeader)) {
        const quint16 type = records.u16(pos);
        const quint16 flags = records.u16(pos + 2);
        const qint64 size = records.u32(pos + 4);
        const qint64 dataLength = records.u32(pos + 8);
        if (size < kRecordHeader || !records.has(pos, size) || dataLength > size - kRecordHeader ||
            !visit(type, flags, records.sub(pos + kRecordHeader, dataLength))) {
            break;
        }
        pos += size;
    }
    return true;
}

}  // namespace

bool EmfPlusPlayer::comment(const ByteReader& record) {
    return forEachRecord(record, [&](quint16 type, quint16 flags, const ByteReader& data) {
        m->play(type, flags, data);
        return !m->canvas.exhausted();
    });
}

void EmfPlusPlayer::imageBytes(const ByteReader& record, std::vector<qint64>& slots) {
    slots.resize(256);
    qint64 lastTotal = -1;
    int lastId = -1;
    forEachRecord(record, [&](quint16 type, quint16 flags, const ByteReader& data) {
        if (type != kObject || ((flags >> 8) & 0x7F) != 5) {
            return true;
        }
        const int id = flags & 0xFF;
        ByteReader object = data;
        if (flags & kContinued) {
            // Only the first piece of an object carries its header.
            const qint64 total = data.u32(0);
            if (id == lastId && total == lastTotal) {
                return true;
            }
            lastId = id;
            lastTotal = total;
            object = data.sub(4, data.size() - 4);
        } else {
            lastId = -1;
        }
        slots[size_t(id)] = std::max(slots[size_t(id)], imageObjectBytes(object));
        return true;
    });
}

bool EmfPlusPlayer::draws(const ByteReader& record) {
    bool found = false;
    forEachRecord(record, [&](quint16 type, quint16, const ByteReader&) {
        found = (type >= kClear && type <= kDrawString) || type == kDrawDriverString;
        return !found;
    });
    return found;
}

bool EmfPlusPlayer::emfShown() const {
    return !m->active || m->getDc;
}

}  // namespace gv::metafile
