// The EMF record player. Offsets inside a record are from the start of the record.

#include <QRegion>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "images/metafile/Canvas.h"
#include "images/metafile/Dib.h"
#include "images/metafile/EmfPlus.h"
#include "images/metafile/Players.h"

namespace gv::metafile {

namespace {

constexpr quint32 kSignature = 0x464D4520;      // " EMF"
constexpr quint32 kPlusSignature = 0x2B464D45;  // "EMF+"
constexpr quint16 kPlusHeader = 0x4001;
constexpr qint64 kMinHeader = 88;
constexpr qint64 kRegionHeader = 32;
constexpr qint64 kMaxRegionRects = 2000;
constexpr quint32 kStockFlag = 0x80000000;
constexpr quint32 kEtoGlyphIndex = 0x0010;
constexpr quint32 kEtoPdy = 0x2000;
// Region coordinates are clamped so that QRect arithmetic cannot overflow.
constexpr int kMaxRegionCoordinate = 1 << 28;

enum Type : quint32 {
    kHeader = 1,
    kPolyBezier = 2,
    kPolygon = 3,
    kPolyline = 4,
    kPolyBezierTo = 5,
    kPolylineTo = 6,
    kPolyPolyline = 7,
    kPolyPolygon = 8,
    kSetWindowExtEx = 9,
    kSetWindowOrgEx = 10,
    kSetViewportExtEx = 11,
    kSetViewportOrgEx = 12,
    kEof = 14,
    kSetPixelV = 15,
    kSetMapMode = 17,
    kSetBkMode = 18,
    kSetPolyFillMode = 19,
    kSetTextAlign = 22,
    kSetTextColor = 24,
    kSetBkColor = 25,
    kOffsetClipRgn = 26,
    kMoveToEx = 27,
    kExcludeClipRect = 29,
    kIntersectClipRect = 30,
    kScaleViewportExtEx = 31,
    kScaleWindowExtEx = 32,
    kSaveDc = 33,
    kRestoreDc = 34,
    kSetWorldTransform = 35,
    kModifyWorldTransform = 36,
    kSelectObject = 37,
    kCreatePen = 38,
    kCreateBrushIndirect = 39,
    kDeleteObject = 40,
    kAngleArc = 41,
    kEllipse = 42,
    kRectangle = 43,
    kRoundRect = 44,
    kArc = 45,
    kChord = 46,
    kPie = 47,
    kCreatePalette = 49,
    kComment = 70,
    kLineTo = 54,
    kArcTo = 55,
    kPolyDraw = 56,
    kSetArcDirection = 57,
    kBeginPath = 59,
    kEndPath = 60,
    kCloseFigure = 61,
    kFillPath = 62,
    kStrokeAndFillPath = 63,
    kStrokePath = 64,
    kFlattenPath = 65,
    kWidenPath = 66,
    kSelectClipPath = 67,
    kAbortPath = 68,
    kFillRgn = 71,
    kFrameRgn = 72,
    kInvertRgn = 73,
    kPaintRgn = 74,
    kExtSelectClipRgn = 75,
    kBitBlt = 76,
    kStretchBlt = 77,
    kSetDiBitsToDevice = 80,
    kStretchDiBits = 81,
    kExtCreateFontIndirectW = 82,
    kExtTextOutA = 83,
    kExtTextOutW = 84,
    kPolyBezier16 = 85,
    kPolygon16 = 86,
    kPolyline16 = 87,
    kPolyBezierTo16 = 88,
    kPolylineTo16 = 89,
    kPolyPolyline16 = 90,
    kPolyPolygon16 = 91,
    kPolyDraw16 = 92,
    kCreateMonoBrush = 93,
    kCreateDibPatternBrushPt = 94,
    kExtCreatePen = 95,
    kAlphaBlend = 114,
    kGradientFill = 118,
};

QColor colorRef(quint32 c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QRectF rectAt(const ByteReader& r, qint64 at) {
    return QRectF(QPointF(r.i32(at), r.i32(at + 4)), QPointF(r.i32(at + 8), r.i32(at + 12)));
}

QPointF pointAt(const ByteReader& r, qint64 at) {
    return QPointF(r.i32(at), r.i32(at + 4));
}

QTransform xformAt(const ByteReader& r, qint64 at) {
    return QTransform(r.f32(at), r.f32(at + 4), r.f32(at + 8), r.f32(at + 12), r.f32(at + 16),
                      r.f32(at + 20));
}

// Points of 32 bits (POINTL) or 16 bits (POINTS) per coordinate.
bool readPoints(const ByteReader& r, qint64 at, qint64 count, bool small,
                std::vector<QPointF>& out) {
    const qint64 size = small ? 4 : 8;
    if (count < 0 || count > r.size() / size || !r.has(at, count * size)) {
        return false;
    }
    out.clear();
    out.reserve(size_t(count));
    for (qint64 i = 0; i < count; ++i) {
        const qint64 p = at + i * size;
        if (small) {
            out.emplace_back(r.i16(p), r.i16(p + 2));
        } else {
            out.emplace_back(r.i32(p), r.i32(p + 4));
        }
    }
    return true;
}

std::optional<QRegion> readRegion(const ByteReader& r, qint64 at, qint64 size) {
    if (size < kRegionHeader || !r.has(at, size)) {
        return std::nullopt;
    }
    const qint64 count = r.u32(at + 8);
    if (count > (size - kRegionHeader) / 16) {
        return std::nullopt;
    }
    auto clamp = [](qint32 v) { return qBound(-kMaxRegionCoordinate, v, kMaxRegionCoordinate); };
    auto rect = [&](qint64 p) {
        const int left = clamp(r.i32(p));
        const int top = clamp(r.i32(p + 4));
        const int right = clamp(r.i32(p + 8));
        const int bottom = clamp(r.i32(p + 12));
        if (right <= left || bottom <= top) {
            return QRect();
        }
        return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    };
    if (count > kMaxRegionRects) {
        // Too fine to be worth building rectangle by rectangle: its bounds will do.
        return QRegion(rect(at + 16));
    }
    QRegion region;
    for (qint64 i = 0; i < count; ++i) {
        const QRect piece = rect(at + kRegionHeader + 16 * i);
        if (!piece.isEmpty()) {
            region += piece;
        }
    }
    return region;
}

GdiObject stockObject(quint32 index) {
    auto solid = [](QColor c) {
        Brush b;
        b.color = c;
        return GdiObject(b);
    };
    auto pen = [](QColor c, quint32 style) {
        Pen p;
        p.color = c;
        p.style = style;
        return GdiObject(p);
    };
    switch (index) {
        case 0:
        case 18:  // DC_BRUSH, white until changed
            return solid(Qt::white);
        case 1:
            return solid(QColor(192, 192, 192));
        case 2:
            return solid(QColor(128, 128, 128));
        case 3:
            return solid(QColor(64, 64, 64));
        case 4:
            return solid(Qt::black);
        case 5: {
            Brush b;
            b.style = 1;
            return b;
        }
        case 6:
            return pen(Qt::white, 0);
        case 7:
        case 19:  // DC_PEN
            return pen(Qt::black, 0);
        case 8:
            return pen(Qt::black, 5);
        case 10:
        case 11:
        case 16: {
            Font f;
            f.pitchAndFamily = 0x31;  // fixed pitch, modern
            return f;
        }
        case 12:
        case 13:
        case 14:
        case 17:
            return Font{};
        default:
            return Placeholder{};
    }
}

class EmfPlayer final {
public:
    EmfPlayer(const Layout& layout, Canvas& canvas)
        : m_canvas(canvas), m_handles(layout.objectCount) {}

    void play(quint32 type, const ByteReader& r);

private:
    void create(quint32 index, GdiObject object) {
        // Index 0 stands for the picture itself and cannot be reused.
        if (index != 0 && index < m_handles) {
            m_objects[index] = std::move(object);
        }
    }
    const GdiObject* object(quint32 index) {
        if (index & kStockFlag) {
            m_stock = stockObject(index & ~kStockFlag);
            return &m_stock;
        }
        const auto it = m_objects.find(index);
        return it == m_objects.end() ? nullptr : &it->second;
    }
    void points(quint32 type, const ByteReader& r, bool small);
    void polyPoly(quint32 type, const ByteReader& r, bool small);
    void text(const ByteReader& r, bool wide);
    void bitmap(quint32 type, const ByteReader& r);
    void gradient(const ByteReader& r);
    std::optional<QImage> dib(const ByteReader& r, qint64 infoAt, qint64 bitsAt, bool usage,
                              bool keepAlpha, bool* bottomUp = nullptr);

    Canvas& m_canvas;
    quint32 m_handles = 0;
    std::unordered_map<quint32, GdiObject> m_objects;
    GdiObject m_stock = Placeholder{};
    std::vector<QPointF> m_points;
};

void EmfPlayer::play(quint32 type, const ByteReader& r) {
    Canvas& c = m_canvas;
    switch (type) {
        case kPolyBezier:
        case kPolygon:
        case kPolyline:
        case kPolyBezierTo:
        case kPolylineTo:
            points(type, r, false);
            break;
        case kPolyBezier16:
        case kPolygon16:
        case kPolyline16:
        case kPolyBezierTo16:
        case kPolylineTo16:
            points(type - (kPolyBezier16 - kPolyBezier), r, true);
            break;
        case kPolyPolyline:
        case kPolyPolygon:
            polyPoly(type, r, false);
            break;
        case kPolyPolyline16:
        case kPolyPolygon16:
            polyPoly(type - (kPolyPolyline16 - kPolyPolyline), r, true);
            break;
        case kPolyDraw:
        case kPolyDraw16: {
            const bool small = type == kPolyDraw16;
            const qint64 count = r.u32(24);
            if (readPoints(r, 28, count, small, m_points) &&
                r.has(28 + count * (small ? 4 : 8), count)) {
                const qint64 typesAt = 28 + count * (small ? 4 : 8);
                std::vector<quint8> types(static_cast<size_t>(count));
                for (qint64 i = 0; i < count; ++i) {
                    types[size_t(i)] = r.u8(typesAt + i);
                }
                c.polyDraw(m_points, types);
            }
            break;
        }
        case kSetWindowExtEx:
            c.setWindowExt(pointAt(r, 8));
            break;
        case kSetWindowOrgEx:
            c.setWindowOrg(pointAt(r, 8));
            break;
        case kSetViewportExtEx:
            c.setViewportExt(pointAt(r, 8));
            break;
        case kSetViewportOrgEx:
            c.setViewportOrg(pointAt(r, 8));
            break;
        case kScaleViewportExtEx:
            c.scaleViewportExt(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
            break;
        case kScaleWindowExtEx:
            c.scaleWindowExt(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
            break;
        case kSetPixelV:
            c.setPixel(pointAt(r, 8), colorRef(r.u32(16)));
            break;
        case kSetMapMode:
            c.setMapMode(int(r.u32(8)));
            break;
        case kSetBkMode:
            c.setBkMode(int(r.u32(8)));
            break;
        case kSetPolyFillMode:
            c.setPolyFillMode(int(r.u32(8)));
            break;
        case kSetTextAlign:
            c.setTextAlign(r.u32(8));
            break;
        case kSetTextColor:
            c.setTextColor(colorRef(r.u32(8)));
            break;
        case kSetBkColor:
            c.setBkColor(colorRef(r.u32(8)));
            break;
        case kSetArcDirection:
            c.setArcDirection(int(r.u32(8)));
            break;
        case kOffsetClipRgn:
            c.offsetClip(pointAt(r, 8));
            break;
        case kMoveToEx:
            c.moveTo(pointAt(r, 8));
            break;
        case kLineTo:
            c.lineTo(pointAt(r, 8));
            break;
        case kExcludeClipRect:
            c.excludeClipRect(rectAt(r, 8));
            break;
        case kIntersectClipRect:
            c.intersectClipRect(rectAt(r, 8));
            break;
        case kSaveDc:
            c.saveDc();
            break;
        case kRestoreDc:
            c.restoreDc(r.i32(8));
            break;
        case kSetWorldTransform:
            c.setWorldTransform(xformAt(r, 8));
            break;
        case kModifyWorldTransform:
            c.modifyWorldTransform(xformAt(r, 8), int(r.u32(32)));
            break;

        case kSelectObject:
            if (const GdiObject* o = object(r.u32(8))) {
                c.select(*o);
            }
            break;
        case kDeleteObject:
            m_objects.erase(r.u32(8));
            break;
        case kCreatePen: {
            Pen pen;
            pen.style = r.u32(12);
            pen.width = r.i32(16);
            pen.color = colorRef(r.u32(24));
            create(r.u32(8), pen);
            break;
        }
        case kExtCreatePen: {
            Pen pen;
            pen.style = r.u32(28);
            pen.width = r.u32(32);
            pen.color = colorRef(r.u32(40));
            pen.cosmetic = (pen.style & 0x00010000) == 0;
            if (r.u32(36) == 1) {  // a pen painted with the null brush draws nothing
                pen.style = (pen.style & ~0x0Fu) | 5;
            }
            create(r.u32(8), pen);
            break;
        }
        case kCreateBrushIndirect: {
            Brush brush;
            brush.style = int(r.u32(12));
            brush.color = colorRef(r.u32(16));
            brush.hatch = int(r.u32(20));
            create(r.u32(8), brush);
            break;
        }
        case kCreateMonoBrush:
        case kCreateDibPatternBrushPt: {
            Brush brush;
            brush.style = 6;
            brush.color = Qt::gray;
            if (auto image = dib(r, 16, 24, r.u32(12) == 1, false)) {
                brush.pattern = *image;
            }
            create(r.u32(8), brush);
            break;
        }
        case kExtCreateFontIndirectW: {
            Font font;
            font.height = r.i32(12);
            font.escapement = r.i32(20);
            font.weight = r.i32(28);
            font.italic = r.u8(32) != 0;
            font.underline = r.u8(33) != 0;
            font.strikeOut = r.u8(34) != 0;
            font.charSet = r.u8(35);
            font.pitchAndFamily = r.u8(39);
            for (qint64 i = 0; i < 32 && r.has(40 + 2 * i, 2) && r.u16(40 + 2 * i) != 0; ++i) {
                font.face.append(QChar(r.u16(40 + 2 * i)));
            }
            create(r.u32(8), font);
            break;
        }
        case kCreatePalette:
            create(r.u32(8), Placeholder{});
            break;

        case kAngleArc:
            c.angleArc(pointAt(r, 8), r.u32(16), r.f32(20), r.f32(24));
            break;
        case kEllipse:
            c.ellipse(rectAt(r, 8));
            break;
        case kRectangle:
            c.rectangle(rectAt(r, 8));
            break;
        case kRoundRect:
            c.roundRect(rectAt(r, 8), QSizeF(r.i32(24), r.i32(28)));
            break;
        case kArc:
            c.arc(rectAt(r, 8), pointAt(r, 24), pointAt(r, 32), Canvas::ArcKind::Arc);
            break;
        case kChord:
            c.arc(rectAt(r, 8), pointAt(r, 24), pointAt(r, 32), Canvas::ArcKind::Chord);
            break;
        case kPie:
            c.arc(rectAt(r, 8), pointAt(r, 24), pointAt(r, 32), Canvas::ArcKind::Pie);
            break;
        case kArcTo:
            c.arc(rectAt(r, 8), pointAt(r, 24), pointAt(r, 32), Canvas::ArcKind::ArcTo);
            break;

        case kBeginPath:
            c.beginPath();
            break;
        case kEndPath:
            c.endPath();
            break;
        case kCloseFigure:
            c.closeFigure();
            break;
        case kFillPath:
            c.fillPath();
            break;
        case kStrokeAndFillPath:
            c.strokeAndFillPath();
            break;
        case kStrokePath:
            c.strokePath();
            break;
        case kFlattenPath:
            c.flattenPath();
            break;
        case kWidenPath:
            c.widenPath();
            break;
        case kSelectClipPath:
            c.selectClipPath(int(r.u32(8)));
            break;
        case kAbortPath:
            c.abortPath();
            break;

        case kExtSelectClipRgn: {
            const qint64 size = r.u32(8);
            const int mode = int(r.u32(12));
            if (size == 0) {
                c.selectClipRegion(nullptr, mode);
            } else if (const auto region = readRegion(r, 16, size)) {
                c.selectClipRegion(&*region, mode);
            }
            break;
        }
        case kFillRgn:
        case kFrameRgn: {
            const GdiObject* o = object(r.u32(28));
            const auto* brush = o ? std::get_if<Brush>(o) : nullptr;
            const qint64 at = type == kFillRgn ? 32 : 40;
            const auto region = readRegion(r, at, r.u32(24));
            if (brush && region) {
                if (type == kFillRgn) {
                    c.fillRegion(*region, *brush);
                } else {
                    c.frameRegion(*region, *brush, r.i32(32), r.i32(36));
                }
            }
            break;
        }
        case kPaintRgn:
        case kInvertRgn:
            if (const auto region = readRegion(r, 28, r.u32(24))) {
                if (type == kPaintRgn) {
                    c.fillRegion(*region, c.brush());
                } else {
                    c.invertRegion(*region);
                }
            }
            break;

        case kExtTextOutA:
        case kExtTextOutW:
            text(r, type == kExtTextOutW);
            break;

        case kBitBlt:
        case kStretchBlt:
        case kSetDiBitsToDevice:
        case kStretchDiBits:
        case kAlphaBlend:
            bitmap(type, r);
            break;
        case kGradientFill:
            gradient(r);
            break;
        default:
            break;  // comments, palettes, colour management: nothing we draw
    }
}

void EmfPlayer::points(quint32 type, const ByteReader& r, bool small) {
    if (!readPoints(r, 28, r.u32(24), small, m_points)) {
        return;
    }
    switch (type) {
        case kPolyBezier:
            m_canvas.polyBezier(m_points);
            break;
        case kPolygon:
            m_canvas.polygon(m_points);
            break;
        case kPolyline:
            m_canvas.polyline(m_points);
            break;
        case kPolyBezierTo:
            m_canvas.polyBezierTo(m_points);
            break;
        case kPolylineTo:
            m_canvas.polylineTo(m_points);
            break;
        default:
            break;
    }
}

void EmfPlayer::polyPoly(quint32 type, const ByteReader& r, bool small) {
    const qint64 polys = r.u32(24);
    const qint64 total = r.u32(28);
    if (polys > r.size() / 4 || !r.has(32, polys * 4)) {
        return;
    }
    if (!readPoints(r, 32 + polys * 4, total, small, m_points)) {
        return;
    }
    std::vector<std::vector<QPointF>> parts;
    parts.reserve(size_t(polys));
    qint64 used = 0;
    for (qint64 i = 0; i < polys; ++i) {
        const qint64 n = r.u32(32 + 4 * i);
        if (n > total - used) {
            return;
        }
        parts.emplace_back(m_points.begin() + used, m_points.begin() + used + n);
        used += n;
    }
    if (type == kPolyPolygon) {
        m_canvas.polyPolygon(parts);
    } else {
        m_canvas.polyPolyline(parts);
    }
}

void EmfPlayer::text(const ByteReader& r, bool wide) {
    const QPointF reference = pointAt(r, 36);
    const qint64 count = r.u32(44);
    const qint64 stringAt = r.u32(48);
    const quint32 options = r.u32(52);
    const QRectF rect = rectAt(r, 56);
    const qint64 dxAt = r.u32(72);
    const bool hasRect = (options & (Canvas::kEtoOpaque | Canvas::kEtoClipped)) != 0;
    const qint64 charBytes = wide ? 2 : 1;
    QString string;
    if ((options & kEtoGlyphIndex) == 0 && count <= r.size() &&
        r.has(stringAt, count * charBytes)) {
        if (wide) {
            string.reserve(count);
            for (qint64 i = 0; i < count; ++i) {
                string.append(QChar(r.u16(stringAt + 2 * i)));
            }
        } else {
            string = decodeAnsi(r, stringAt, count);
        }
    }
    std::vector<double> dx;
    std::vector<double> dy;
    const bool pdy = (options & kEtoPdy) != 0;
    const qint64 dxStep = pdy ? 8 : 4;
    if (dxAt != 0 && !string.isEmpty() && r.has(dxAt, count * dxStep)) {
        dx.reserve(size_t(count));
        for (qint64 i = 0; i < count; ++i) {
            dx.push_back(r.i32(dxAt + dxStep * i));
            if (pdy) {
                dy.push_back(r.i32(dxAt + dxStep * i + 4));
            }
        }
    }
    m_canvas.text(reference, string, dx, options, hasRect ? &rect : nullptr, dy);
}

void EmfPlayer::gradient(const ByteReader& r) {
    constexpr qint64 kVertexSize = 16;
    const qint64 vertices = r.u32(24);
    const qint64 shapes = r.u32(28);
    const quint32 mode = r.u32(32);
    const qint64 shapeSize = mode == 2 ? 12 : 8;
    if (vertices > r.size() / kVertexSize || shapes > r.size() / shapeSize ||
        !r.has(36, vertices * kVertexSize + shapes * shapeSize)) {
        return;
    }
    auto vertex = [&](quint32 index, QPointF* at) {
        const qint64 v = 36 + qint64(index) * kVertexSize;
        *at = pointAt(r, v);
        // Channels are 16 bits; the high byte is the 8-bit value.
        return QColor(r.u16(v + 8) >> 8, r.u16(v + 10) >> 8, r.u16(v + 12) >> 8);
    };
    const qint64 shapesAt = 36 + vertices * kVertexSize;
    for (qint64 i = 0; i < shapes && !m_canvas.exhausted(); ++i) {
        const qint64 at = shapesAt + i * shapeSize;
        const quint32 a = r.u32(at);
        const quint32 b = r.u32(at + 4);
        const quint32 c = mode == 2 ? r.u32(at + 8) : 0;
        if (a >= vertices || b >= vertices || c >= vertices) {
            continue;
        }
        QPointF pa;
        QPointF pb;
        QPointF pc;
        const QColor ca = vertex(a, &pa);
        const QColor cb = vertex(b, &pb);
        if (mode == 2) {
            const QColor cc = vertex(c, &pc);
            const QColor average((ca.red() + cb.red() + cc.red()) / 3,
                                 (ca.green() + cb.green() + cc.green()) / 3,
                                 (ca.blue() + cb.blue() + cc.blue()) / 3);
            m_canvas.gradientTriangle({pa, pb, pc}, average);
        } else if (mode == 0 || mode == 1) {
            m_canvas.gradientRect(QRectF(pa, pb), ca, cb, mode == 1);
        }
    }
}

std::optional<QImage> EmfPlayer::dib(const ByteReader& r, qint64 infoAt, qint64 bitsAt, bool usage,
                                     bool keepAlpha, bool* bottomUp) {
    const qint64 infoOffset = r.u32(infoAt);
    const qint64 infoSize = r.u32(infoAt + 4);
    const qint64 bitsOffset = r.u32(bitsAt);
    const qint64 bitsSize = r.u32(bitsAt + 4);
    if (infoSize == 0 || !r.has(infoOffset, infoSize) || !r.has(bitsOffset, bitsSize)) {
        return std::nullopt;
    }
    auto decoded =
        decodeDib(r.sub(infoOffset, infoSize), r.sub(bitsOffset, bitsSize), usage, keepAlpha);
    if (!decoded) {
        return std::nullopt;
    }
    if (bottomUp) {
        *bottomUp = decoded->bottomUp;
    }
    return std::move(decoded->image);
}

void EmfPlayer::bitmap(quint32 type, const ByteReader& r) {
    constexpr quint32 kSrcCopy = 0x00CC0020;
    switch (type) {
        case kStretchDiBits:
        case kSetDiBitsToDevice: {
            const bool stretch = type == kStretchDiBits;
            QRectF src(r.i32(32), r.i32(36), r.i32(40), r.i32(44));
            const QRectF dest(r.i32(24), r.i32(28), stretch ? r.i32(72) : src.width(),
                              stretch ? r.i32(76) : src.height());
            const quint32 rop = stretch ? r.u32(68) : kSrcCopy;
            if (!ropUsesSource(rop)) {
                m_canvas.patBlt(dest, rop);
                return;
            }
            bool bottomUp = true;
            const auto image = dib(r, 48, 56, r.u32(64) == 1, false, &bottomUp);
            if (!image) {
                return;
            }
            if (bottomUp) {
                // Source rows are counted from the bottom of a bottom-up bitmap.
                src.moveTop(image->height() - src.top() - src.height());
            }
            m_canvas.bitmap(dest, *image, src, rop);
            break;
        }
        case kBitBlt:
        case kStretchBlt:
        case kAlphaBlend: {
            const QRectF dest(r.i32(24), r.i32(28), r.i32(32), r.i32(36));
            const quint32 rop = type == kAlphaBlend ? kSrcCopy : r.u32(40);
            if (!ropUsesSource(rop) || r.u32(88) == 0) {
                m_canvas.patBlt(dest, rop);
                return;
            }
            QTransform sourceXform = xformAt(r, 52);
            if (!sourceXform.isInvertible() || !std::isfinite(sourceXform.determinant())) {
                sourceXform.reset();
            }
            const QSizeF extent = type == kBitBlt ? dest.size() : QSizeF(r.i32(100), r.i32(104));
            const QRectF src = sourceXform.mapRect(QRectF(QPointF(r.i32(44), r.i32(48)), extent));
            // AC_SRC_ALPHA in the blend function means the bitmap carries its own alpha.
            const bool alpha = type == kAlphaBlend && (r.u32(40) >> 24) == 1;
            const auto image = dib(r, 84, 92, r.u32(80) == 1, alpha);
            if (image) {
                m_canvas.bitmap(dest, *image, src, rop);
            }
            break;
        }
        default:
            break;
    }
}

// The frame moved, and grown where it must, so that it holds the drawing's bounds
// (inclusive device pixels): some writers declare a frame from 0,0 while the drawing lies
// above or beside it. Nothing when the drawing fits, give or take a rounding seam, or when
// the bounds are unusable, far larger than the frame, or the frame's own numbers (some
// writers copy the frame in 1/100 mm into the bounds).
std::optional<QRectF> frameAroundDrawing(const QRectF& frame, const QRectF& inclusive,
                                         const QRectF& himetricFrame) {
    constexpr double kMaxGrowth = 4;
    if (!(inclusive.width() >= 0 && inclusive.height() >= 0) || inclusive.isNull()) {
        return std::nullopt;
    }
    auto near = [](QPointF a, QPointF b) {
        return std::abs(a.x() - b.x()) <= 1 && std::abs(a.y() - b.y()) <= 1;
    };
    if (near(inclusive.topLeft(), himetricFrame.topLeft()) &&
        near(inclusive.bottomRight(), himetricFrame.bottomRight())) {
        return std::nullopt;
    }
    const QRectF drawing(inclusive.topLeft(), inclusive.size() + QSizeF(1, 1));
    const double slackX = std::max(2.0, frame.width() / 100);
    const double slackY = std::max(2.0, frame.height() / 100);
    if (drawing.left() >= frame.left() - slackX && drawing.right() <= frame.right() + slackX &&
        drawing.top() >= frame.top() - slackY && drawing.bottom() <= frame.bottom() + slackY) {
        return std::nullopt;
    }
    if (drawing.width() > kMaxGrowth * frame.width() ||
        drawing.height() > kMaxGrowth * frame.height()) {
        return std::nullopt;
    }
    // Along each axis: the least shift of the frame that covers the drawing, or the
    // drawing's own span where the frame is too small to hold it (a frame that misses its
    // drawing says nothing about where the picture lies, only roughly how large it is).
    auto place = [](double start, double length, double from, double to) {
        if (to - from > length) {
            return std::pair(from, to);
        }
        const double shifted = std::clamp(start, to - length, from);
        return std::pair(shifted, shifted + length);
    };
    const auto [left, right] = place(frame.left(), frame.width(), drawing.left(), drawing.right());
    const auto [top, bottom] = place(frame.top(), frame.height(), drawing.top(), drawing.bottom());
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

}  // namespace

std::optional<Layout> parseEmf(const ByteReader& file, QString* error) {
    auto fail = [&](const char* reason) -> std::optional<Layout> {
        if (error) {
            *error = QString::fromLatin1(reason);
        }
        return std::nullopt;
    };
    if (!file.has(0, kMinHeader) || file.u32(0) != kHeader || file.u32(40) != kSignature) {
        return fail("This is not an enhanced metafile.");
    }
    const qint64 headerSize = file.u32(4);
    if (headerSize < kMinHeader || headerSize % 4 != 0 || !file.has(0, headerSize)) {
        return fail("The metafile header is damaged.");
    }
    Layout layout;
    layout.firstRecord = headerSize;
    layout.objectCount = file.u16(56);

    qint64 pos = headerSize;
    qint64 records = 0;
    while (file.has(pos, 8)) {
        const quint32 type = file.u32(pos);
        const qint64 size = file.u32(pos + 4);
        if (size < 8 || size % 4 != 0 || !file.has(pos, size)) {
            return fail("The metafile is truncated or damaged.");
        }
        if (++records > kMaxRecords) {
            return fail("The metafile has too many records.");
        }
        // GDI+ records through a GDI device context of its own: what such a file draws
        // with EMF records, GDI mapped with its own viewport.
        if (type == kComment && size >= 20 && file.u32(pos + 12) == kPlusSignature &&
            file.u16(pos + 16) == kPlusHeader) {
            layout.setup.gdiViewport = true;
        }
        pos += size;
        if (type == kEof) {
            break;
        }
    }
    layout.end = pos;

    const qint64 deviceX = file.i32(72);
    const qint64 deviceY = file.i32(76);
    const qint64 mmX = file.i32(80);
    const qint64 mmY = file.i32(84);
    if (deviceX > 0 && deviceY > 0 && mmX > 0 && mmY > 0) {
        layout.setup.devicePerMmX = double(deviceX) / double(mmX);
        layout.setup.devicePerMmY = double(deviceY) / double(mmY);
    }
    const QRectF frame = rectAt(file, 24);  // in HIMETRIC
    QRectF device(QPointF(frame.left() * layout.setup.devicePerMmX / 100,
                          frame.top() * layout.setup.devicePerMmY / 100),
                  QPointF(frame.right() * layout.setup.devicePerMmX / 100,
                          frame.bottom() * layout.setup.devicePerMmY / 100));
    double himetricW = frame.width();
    double himetricH = frame.height();
    if (!(himetricW > 0 && himetricH > 0 && device.width() > 0 && device.height() > 0)) {
        // No usable frame: fall back on the bounds, inclusive device pixels.
        const QRectF bounds = rectAt(file, 8);
        device = QRectF(bounds.topLeft(), QSizeF(bounds.width() + 1, bounds.height() + 1));
        himetricW = device.width() * 100 / layout.setup.devicePerMmX;
        himetricH = device.height() * 100 / layout.setup.devicePerMmY;
        if (!(bounds.width() >= 0 && bounds.height() >= 0)) {
            return fail("The metafile has no size.");
        }
    }
    if (const auto grown = frameAroundDrawing(device, rectAt(file, 8), frame)) {
        // Keep the frame's own scale for the part the drawing adds.
        himetricW *= grown->width() / device.width();
        himetricH *= grown->height() / device.height();
        device = *grown;
        // Bounds are what GDI measured while recording, so its mapping rules made them.
        layout.setup.gdiViewport = true;
    }
    layout.setup.frame = device;
    layout.himetric = QSize(int(std::lround(std::clamp(himetricW, 1.0, 2e9))),
                            int(std::lround(std::clamp(himetricH, 1.0, 2e9))));
    return layout;
}

void playEmf(const ByteReader& file, const Layout& layout, Canvas& canvas) {
    EmfPlayer player(layout, canvas);
    EmfPlusPlayer plus(layout, canvas);
    bool plusDraws = false;
    for (qint64 at = layout.firstRecord; at < layout.end && !plusDraws && file.has(at, 8);) {
        const qint64 size = file.u32(at + 4);
        if (size < 8 || !file.has(at, size)) {
            break;
        }
        plusDraws = file.u32(at) == kComment && EmfPlusPlayer::draws(file.sub(at, size));
        at += size;
    }
    qint64 pos = layout.firstRecord;
    while (pos < layout.end && file.has(pos, 8) && !canvas.exhausted()) {
        const quint32 type = file.u32(pos);
        const qint64 size = file.u32(pos + 4);
        if (size < 8 || !file.has(pos, size) || type == kEof) {
            break;
        }
        const ByteReader record = file.sub(pos, size);
        // EMF+ drawing, once it has begun, stands in for the EMF records that follow it.
        if (!(plusDraws && type == kComment && plus.comment(record)) && plus.emfShown()) {
            player.play(type, record);
        }
        pos += size;
    }
}

}  // namespace gv::metafile
