// The WMF record player. Parameters of most WMF records are stored in reverse order, so
// param(0) is usually the last argument of the drawing call the record replays.

#include <QRegion>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

#include "images/metafile/Canvas.h"
#include "images/metafile/Dib.h"
#include "images/metafile/Players.h"

namespace gv::metafile {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr qint64 kPlaceableSize = 22;
constexpr qint64 kHeaderSize = 18;
constexpr qint64 kRecordHeader = 6;
constexpr int kMaxRegionRects = 2000;

enum Function : quint16 {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetPolyFillMode = 0x0106,
    kRestoreDc = 0x0127,
    kInvertRegion = 0x012A,
    kPaintRegion = 0x012B,
    kSelectClipRegion = 0x012C,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kOffsetClipRgn = 0x0220,
    kFillRegion = 0x0228,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kExcludeClipRect = 0x0415,
    kIntersectClipRect = 0x0416,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kFrameRegion = 0x0429,
    kTextOut = 0x0521,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kPatBlt = 0x061D,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kDibBitBlt = 0x0940,
    kExtTextOut = 0x0A32,
    kDibStretchBlt = 0x0B41,
    kSetDibToDev = 0x0D33,
    kStretchDib = 0x0F43,
};

QColor colorRef(quint32 c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The object table: GDI puts each new object in the lowest free slot.
class ObjectTable final {
public:
    explicit ObjectTable(int capacity) : m_capacity(capacity) {}

    void create(GdiObject object) {
        if (!m_free.empty()) {
            const int slot = m_free.top();
            m_free.pop();
            m_slots[size_t(slot)] = std::move(object);
        } else if (qint64(m_slots.size()) < m_capacity) {
            m_slots.emplace_back(std::move(object));
        }
        // A full table makes the creation fail, as it would on Windows.
    }

    const GdiObject* get(int slot) const {
        if (slot < 0 || size_t(slot) >= m_slots.size() || !m_slots[size_t(slot)]) {
            return nullptr;
        }
        return &*m_slots[size_t(slot)];
    }

    void remove(int slot) {
        if (get(slot)) {
            m_slots[size_t(slot)].reset();
            m_free.push(slot);
        }
    }

private:
    qint64 m_capacity = 0;
    std::vector<std::optional<GdiObject>> m_slots;
    std::priority_queue<int, std::vector<int>, std::greater<int>> m_free;
};

// One record: its bytes and the 16-bit parameters after the function number.
struct Record final {
    ByteReader bytes;
    quint16 function = 0;

    qint64 paramBytes() const { return bytes.size() - kRecordHeader; }
    qint64 paramCount() const { return paramBytes() / 2; }
    qint16 p(int i) const { return bytes.i16(kRecordHeader + 2 * qint64(i)); }
    quint16 u(int i) const { return bytes.u16(kRecordHeader + 2 * qint64(i)); }
    quint32 u32(int i) const { return bytes.u32(kRecordHeader + 2 * qint64(i)); }
    QPointF point(int yIndex) const { return QPointF(p(yIndex + 1), p(yIndex)); }
    // A rectangle stored as bottom, right, top, left from parameter i on.
    QRectF rect(int i) const {
        return QRectF(QPointF(p(i + 3), p(i + 2)), QPointF(p(i + 1), p(i)));
    }
};

// Points stored as x, y pairs from byte offset `at` of the record, if they are all there.
bool readPoints(const Record& r, qint64 at, qint64 count, std::vector<QPointF>& out) {
    if (count < 0 || !r.bytes.has(at, count * 4)) {
        return false;
    }
    out.clear();
    out.reserve(size_t(count));
    for (qint64 i = 0; i < count; ++i) {
        out.emplace_back(r.bytes.i16(at + 4 * i), r.bytes.i16(at + 4 * i + 2));
    }
    return true;
}

Font readFont(const Record& r) {
    Font font;
    font.height = r.p(0);
    font.escapement = r.p(2);
    font.weight = r.p(4);
    const qint64 flags = kRecordHeader + 10;
    font.italic = r.bytes.u8(flags) != 0;
    font.underline = r.bytes.u8(flags + 1) != 0;
    font.strikeOut = r.bytes.u8(flags + 2) != 0;
    font.charSet = r.bytes.u8(flags + 3);
    font.pitchAndFamily = r.bytes.u8(flags + 7);
    const qint64 faceAt = flags + 8;
    qint64 length = 0;
    while (length < 32 && r.bytes.has(faceAt + length, 1) && r.bytes.u8(faceAt + length) != 0) {
        ++length;
    }
    font.face = decodeAnsi(r.bytes, faceAt, length);
    return font;
}

// WMF regions: a header, a bounding box and scans of left/right pairs, in device units.
Region readRegion(const Record& r) {
    const qint64 base = kRecordHeader;
    const int scanCount = r.bytes.u16(base + 10);
    const QRect bounds(QPoint(r.bytes.i16(base + 14), r.bytes.i16(base + 16)),
                       QPoint(r.bytes.i16(base + 18) - 1, r.bytes.i16(base + 20) - 1));
    QRegion area;
    qint64 at = base + 22;
    int rects = 0;
    for (int scan = 0; scan < scanCount; ++scan) {
        const qint64 count = r.bytes.u16(at);
        if (!r.bytes.has(at, 6 + count * 2 + 2)) {
            break;
        }
        const int top = r.bytes.i16(at + 2);
        const int bottom = r.bytes.i16(at + 4);
        for (qint64 i = 0; i + 1 < count; i += 2) {
            if (++rects > kMaxRegionRects) {
                return Region{QRegion(bounds.normalized())};
            }
            const int left = r.bytes.i16(at + 6 + 2 * i);
            const int right = r.bytes.i16(at + 8 + 2 * i);
            if (right > left && bottom > top) {
                area += QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
            }
        }
        at += 6 + count * 2 + 2;
    }
    if (scanCount == 0 || area.isEmpty()) {
        area = QRegion(bounds.normalized());
    }
    return Region{area};
}

class WmfPlayer final {
public:
    WmfPlayer(const Layout& layout, Canvas& canvas)
        : m_canvas(canvas), m_objects(layout.objectCount) {}

    void play(const Record& r);

private:
    void createObject(GdiObject object) { m_objects.create(std::move(object)); }
    void bitmapRecord(const Record& r);
    void textOut(const Record& r);
    void extTextOut(const Record& r);

    Canvas& m_canvas;
    ObjectTable m_objects;
    std::vector<QPointF> m_points;
};

void WmfPlayer::play(const Record& r) {
    Canvas& c = m_canvas;
    switch (r.function) {
        case kSaveDc:
            c.saveDc();
            break;
        case kRestoreDc:
            c.restoreDc(r.p(0));
            break;
        case kSetBkMode:
            c.setBkMode(r.u(0));
            break;
        case kSetMapMode:
            c.setMapMode(r.u(0));
            break;
        case kSetPolyFillMode:
            c.setPolyFillMode(r.u(0));
            break;
        case kSetTextAlign:
            c.setTextAlign(r.u(0));
            break;
        case kSetBkColor:
            c.setBkColor(colorRef(r.u32(0)));
            break;
        case kSetTextColor:
            c.setTextColor(colorRef(r.u32(0)));
            break;
        case kSetWindowOrg:
            c.setWindowOrg(r.point(0));
            break;
        case kSetWindowExt:
            c.setWindowExt(r.point(0));
            break;
        case kSetViewportOrg:
            c.setViewportOrg(r.point(0));
            break;
        case kSetViewportExt:
            c.setViewportExt(r.point(0));
            break;
        case kOffsetWindowOrg:
            c.offsetWindowOrg(r.point(0));
            break;
        case kOffsetViewportOrg:
            c.offsetViewportOrg(r.point(0));
            break;
        case kScaleWindowExt:
            c.scaleWindowExt(r.p(3), r.p(2), r.p(1), r.p(0));
            break;
        case kScaleViewportExt:
            c.scaleViewportExt(r.p(3), r.p(2), r.p(1), r.p(0));
            break;
        case kIntersectClipRect:
            c.intersectClipRect(r.rect(0));
            break;
        case kExcludeClipRect:
            c.excludeClipRect(r.rect(0));
            break;
        case kOffsetClipRgn:
            c.offsetClip(r.point(0));
            break;
        case kSelectClipRegion: {
            const GdiObject* object = m_objects.get(r.u(0));
            const auto* region = object ? std::get_if<Region>(object) : nullptr;
            c.selectClipRegion(region ? &region->area : nullptr, 5);
            break;
        }

        case kCreatePenIndirect: {
            Pen pen;
            pen.style = r.u(0);
            pen.width = r.p(1);
            pen.color = colorRef(r.u32(3));
            createObject(pen);
            break;
        }
        case kCreateBrushIndirect: {
            Brush brush;
            brush.style = r.u(0);
            brush.color = colorRef(r.u32(1));
            brush.hatch = r.u(3);
            createObject(brush);
            break;
        }
        case kCreateFontIndirect:
            createObject(readFont(r));
            break;
        case kDibCreatePatternBrush: {
            Brush brush;
            brush.style = 6;  // BS_DIBPATTERNPT
            brush.color = Qt::gray;
            const ByteReader dib = r.bytes.sub(kRecordHeader + 4, r.paramBytes() - 4);
            if (auto decoded = decodePackedDib(dib, r.u(1) == 1)) {
                brush.pattern = decoded->image;
            }
            createObject(brush);
            break;
        }
        case kCreatePatternBrush: {
            // The old device-dependent bitmap brush: kept as a plain grey brush.
            Brush brush;
            brush.color = Qt::gray;
            createObject(brush);
            break;
        }
        case kCreatePalette:
            createObject(Placeholder{});
            break;
        case kCreateRegion:
            createObject(readRegion(r));
            break;
        case kSelectObject:
            if (const GdiObject* object = m_objects.get(r.u(0))) {
                c.select(*object);
            }
            break;
        case kDeleteObject:
            m_objects.remove(r.u(0));
            break;

        case kMoveTo:
            c.moveTo(r.point(0));
            break;
        case kLineTo:
            c.lineTo(r.point(0));
            break;
        case kRectangle:
            c.rectangle(r.rect(0));
            break;
        case kEllipse:
            c.ellipse(r.rect(0));
            break;
        case kRoundRect:
            c.roundRect(r.rect(2), QSizeF(r.p(1), r.p(0)));
            break;
        case kArc:
        case kPie:
        case kChord: {
            const auto kind = r.function == kArc   ? Canvas::ArcKind::Arc
                              : r.function == kPie ? Canvas::ArcKind::Pie
                                                   : Canvas::ArcKind::Chord;
            c.arc(r.rect(4), r.point(2), r.point(0), kind);
            break;
        }
        case kPolygon:
        case kPolyline:
            if (readPoints(r, kRecordHeader + 2, r.u(0), m_points)) {
                if (r.function == kPolygon) {
                    c.polygon(m_points);
                } else {
                    c.polyline(m_points);
                }
            }
            break;
        case kPolyPolygon: {
            const qint64 count = r.u(0);
            if (!r.bytes.has(kRecordHeader + 2, count * 2)) {
                break;
            }
            std::vector<std::vector<QPointF>> polygons;
            qint64 at = kRecordHeader + 2 + count * 2;
            for (qint64 i = 0; i < count; ++i) {
                const qint64 n = r.u(int(1 + i));
                std::vector<QPointF> points;
                if (!readPoints(r, at, n, points)) {
                    return;
                }
                at += n * 4;
                polygons.push_back(std::move(points));
            }
            c.polyPolygon(polygons);
            break;
        }
        case kSetPixel:
            c.setPixel(r.point(2), colorRef(r.u32(0)));
            break;
        case kPatBlt:
            c.patBlt(QRectF(r.p(5), r.p(4), r.p(3), r.p(2)), r.u32(0));
            break;
        case kFillRegion:
        case kPaintRegion:
        case kFrameRegion:
        case kInvertRegion: {
            const GdiObject* object = m_objects.get(r.u(0));
            const auto* region = object ? std::get_if<Region>(object) : nullptr;
            if (!region) {
                break;
            }
            if (r.function == kInvertRegion) {
                c.invertRegion(region->area);
            } else if (r.function == kPaintRegion) {
                c.fillRegion(region->area, c.brush());
            } else {
                const GdiObject* b = m_objects.get(r.u(1));
                const auto* brush = b ? std::get_if<Brush>(b) : nullptr;
                if (!brush) {
                    break;
                }
                if (r.function == kFillRegion) {
                    c.fillRegion(region->area, *brush);
                } else {
                    c.frameRegion(region->area, *brush, r.p(3), r.p(2));
                }
            }
            break;
        }
        case kTextOut:
            textOut(r);
            break;
        case kExtTextOut:
            extTextOut(r);
            break;
        case kDibBitBlt:
        case kDibStretchBlt:
        case kStretchDib:
        case kSetDibToDev:
            bitmapRecord(r);
            break;
        default:
            break;  // palettes, escapes and the rest change nothing we draw
    }
}

void WmfPlayer::textOut(const Record& r) {
    const qint64 length = r.u(0);
    const qint64 stored = (length + 1) & ~qint64(1);
    if (!r.bytes.has(kRecordHeader + 2, stored + 4)) {
        return;
    }
    const QString text = decodeAnsi(r.bytes, kRecordHeader + 2, length);
    const qint64 at = kRecordHeader + 2 + stored;
    m_canvas.text(QPointF(r.bytes.i16(at + 2), r.bytes.i16(at)), text, {}, 0, nullptr);
}

void WmfPlayer::extTextOut(const Record& r) {
    const QPointF at(r.p(1), r.p(0));
    const qint64 length = r.u(2);
    const quint32 options = r.u(3);
    qint64 offset = kRecordHeader + 8;
    QRectF rect;
    const bool hasRect = (options & (Canvas::kEtoOpaque | Canvas::kEtoClipped)) != 0;
    if (hasRect) {
        rect = QRectF(QPointF(r.bytes.i16(offset), r.bytes.i16(offset + 2)),
                      QPointF(r.bytes.i16(offset + 4), r.bytes.i16(offset + 6)));
        offset += 8;
    }
    if (!r.bytes.has(offset, length)) {
        m_canvas.text(at, QString(), {}, options, hasRect ? &rect : nullptr);
        return;
    }
    const QString text = decodeAnsi(r.bytes, offset, length);
    offset += (length + 1) & ~qint64(1);
    std::vector<double> dx;
    if (r.bytes.has(offset, length * 2)) {
        dx.reserve(size_t(length));
        for (qint64 i = 0; i < length; ++i) {
            dx.push_back(r.bytes.i16(offset + 2 * i));
        }
    }
    m_canvas.text(at, text, dx, options, hasRect ? &rect : nullptr);
}

void WmfPlayer::bitmapRecord(const Record& r) {
    const quint32 rop = r.u32(0);
    // The forms without a bitmap are one parameter longer than their word count suggests
    // by the function number's high byte; they paint with the brush.
    const bool noBitmap = r.bytes.size() / 2 == 3 + (r.function >> 8);
    QRectF dest;
    QRectF src;
    qint64 dibAt = 0;
    bool paletteIndices = false;
    bool sourceFromBottom = false;
    switch (r.function) {
        case kDibBitBlt:
            if (noBitmap) {
                m_canvas.patBlt(QRectF(r.p(8), r.p(7), r.p(6), r.p(5)), rop);
                return;
            }
            dest = QRectF(r.p(7), r.p(6), r.p(5), r.p(4));
            src = QRectF(r.p(3), r.p(2), r.p(5), r.p(4));
            dibAt = kRecordHeader + 16;
            break;
        case kDibStretchBlt:
            if (noBitmap) {
                m_canvas.patBlt(QRectF(r.p(10), r.p(9), r.p(8), r.p(7)), rop);
                return;
            }
            dest = QRectF(r.p(9), r.p(8), r.p(7), r.p(6));
            src = QRectF(r.p(5), r.p(4), r.p(3), r.p(2));
            dibAt = kRecordHeader + 20;
            break;
        case kStretchDib:
            paletteIndices = r.u(2) == 1;
            dest = QRectF(r.p(10), r.p(9), r.p(8), r.p(7));
            src = QRectF(r.p(6), r.p(5), r.p(4), r.p(3));
            dibAt = kRecordHeader + 22;
            sourceFromBottom = true;
            break;
        case kSetDibToDev:
            paletteIndices = r.u(0) == 1;
            dest = QRectF(r.p(8), r.p(7), r.p(6), r.p(5));
            src = QRectF(r.p(4), r.p(3), r.p(6), r.p(5));
            dibAt = kRecordHeader + 18;
            sourceFromBottom = true;
            break;
        default:
            return;
    }
    if (!ropUsesSource(rop) && r.function != kSetDibToDev) {
        m_canvas.patBlt(dest, rop);
        return;
    }
    const auto dib = decodePackedDib(r.bytes.sub(dibAt, r.bytes.size() - dibAt), paletteIndices);
    if (!dib) {
        return;
    }
    if (sourceFromBottom && dib->bottomUp) {
        // These records count source rows from the bottom of a bottom-up bitmap.
        src.moveTop(dib->image.height() - src.top() - src.height());
    }
    m_canvas.bitmap(dest, dib->image, src, r.function == kSetDibToDev ? 0x00CC0020 : rop);
}

// The extent of a picture's drawing, for pictures that do not say how large they are:
// every shape, text and bitmap record's logical coordinates, less the window origin in
// force when it is drawn.
class DrawingExtent final {
public:
    explicit DrawingExtent(int objectCount) : m_objects(objectCount) {}

    void record(const Record& r);
    const QRectF& box() const { return m_box; }

private:
    void add(QPointF p) {
        const QPointF q = p - m_org;
        if (!m_seen) {
            m_box = QRectF(q, q);
            m_seen = true;
        }
        m_box.setLeft(std::min(m_box.left(), q.x()));
        m_box.setRight(std::max(m_box.right(), q.x()));
        m_box.setTop(std::min(m_box.top(), q.y()));
        m_box.setBottom(std::max(m_box.bottom(), q.y()));
    }
    void add(const QRectF& r) {
        add(r.topLeft());
        add(r.bottomRight());
    }
    void points(const Record& r, qint64 at, qint64 count) {
        for (qint64 i = 0; i < count && r.bytes.has(at + 4 * i, 4); ++i) {
            add(QPointF(r.bytes.i16(at + 4 * i), r.bytes.i16(at + 4 * i + 2)));
        }
    }
    // Text at p, measured roughly: the sum of its spacing array, or average-width letters.
    void text(QPointF p, qint64 length, qint64 dxAt, const Record& r) {
        const double height = m_fontHeight != 0 ? std::abs(m_fontHeight) : 16;
        double width = 0;
        if (dxAt > 0 && r.bytes.has(dxAt, length * 2)) {
            for (qint64 i = 0; i < length; ++i) {
                width += r.bytes.i16(dxAt + 2 * i);
            }
        } else {
            width = double(length) * height * 0.6;
        }
        // Alignment: right or centred, on the baseline or the bottom (TA_* bits).
        const double dx = (m_align & 6) == 2 ? -width : (m_align & 6) == 6 ? -width / 2 : 0;
        const double dy = (m_align & 0x18) == 0x18   ? -0.8 * height
                          : (m_align & 0x18) == 0x08 ? -height
                                                     : 0;
        add(QRectF(p + QPointF(dx, dy), QSizeF(width, height)));
    }

    ObjectTable m_objects;
    double m_fontHeight = 0;
    quint16 m_align = 0;
    QPointF m_org;
    std::vector<QPointF> m_savedOrgs;
    QRectF m_box;
    bool m_seen = false;
};

void DrawingExtent::record(const Record& r) {
    switch (r.function) {
        case kSetWindowOrg:
            m_org = r.point(0);
            break;
        case kOffsetWindowOrg:
            m_org += r.point(0);
            break;
        case kSaveDc:
            if (m_savedOrgs.size() < size_t(Canvas::kMaxSaveDepth)) {
                m_savedOrgs.push_back(m_org);
            }
            break;
        case kRestoreDc: {
            const qint64 back = r.p(0) < 0 ? -qint64(r.p(0)) : 0;
            if (back > 0 && back <= qint64(m_savedOrgs.size())) {
                m_org = m_savedOrgs[m_savedOrgs.size() - size_t(back)];
                m_savedOrgs.resize(m_savedOrgs.size() - size_t(back));
            }
            break;
        }
        case kSetTextAlign:
            m_align = r.u(0);
            break;
        case kCreateFontIndirect:
            m_objects.create(readFont(r));
            break;
        case kCreatePenIndirect:
        case kCreateBrushIndirect:
        case kDibCreatePatternBrush:
        case kCreatePatternBrush:
        case kCreatePalette:
        case kCreateRegion:
            m_objects.create(Placeholder{});
            break;
        case kSelectObject:
            if (const GdiObject* object = m_objects.get(r.u(0))) {
                if (const auto* font = std::get_if<Font>(object)) {
                    m_fontHeight = font->height;
                }
            }
            break;
        case kDeleteObject:
            m_objects.remove(r.u(0));
            break;
        case kMoveTo:
        case kLineTo:
            add(r.point(0));
            break;
        case kSetPixel:
            add(r.point(2));
            break;
        case kRectangle:
        case kEllipse:
            add(r.rect(0));
            break;
        case kRoundRect:
            add(r.rect(2));
            break;
        case kArc:
        case kPie:
        case kChord:
            add(r.rect(4));
            break;
        case kPolygon:
        case kPolyline:
            points(r, kRecordHeader + 2, r.u(0));
            break;
        case kPolyPolygon: {
            const qint64 count = r.u(0);
            qint64 total = 0;
            for (qint64 i = 0; i < count && r.bytes.has(kRecordHeader + 2 + 2 * i, 2); ++i) {
                total += r.u(int(1 + i));
            }
            points(r, kRecordHeader + 2 + count * 2, total);
            break;
        }
        case kPatBlt:
            add(QRectF(r.p(5), r.p(4), r.p(3), r.p(2)));
            break;
        case kStretchDib:
            add(QRectF(r.p(10), r.p(9), r.p(8), r.p(7)));
            break;
        case kDibStretchBlt:
            add(QRectF(r.p(9), r.p(8), r.p(7), r.p(6)));
            break;
        case kDibBitBlt:
            add(QRectF(r.p(7), r.p(6), r.p(5), r.p(4)));
            break;
        case kSetDibToDev:
            add(QRectF(r.p(8), r.p(7), r.p(6), r.p(5)));
            break;
        case kTextOut: {
            const qint64 length = r.u(0);
            const qint64 at = kRecordHeader + 2 + ((length + 1) & ~qint64(1));
            if (r.bytes.has(at, 4)) {
                text(QPointF(r.bytes.i16(at + 2), r.bytes.i16(at)), length, 0, r);
            }
            break;
        }
        case kExtTextOut: {
            const qint64 length = r.u(2);
            const bool hasRect = (r.u(3) & (Canvas::kEtoOpaque | Canvas::kEtoClipped)) != 0;
            const qint64 stringAt = kRecordHeader + 8 + (hasRect ? 8 : 0);
            text(r.point(0), length, stringAt + ((length + 1) & ~qint64(1)), r);
            break;
        }
        default:
            break;
    }
}

}  // namespace

bool ropUsesSource(quint32 rop) {
    // A ternary raster operation ignores its source when every entry of its truth table
    // (index bit 1 is the source) equals the entry with the source bit flipped.
    const quint32 table = (rop >> 16) & 0xFF;
    return ((table & 0xCC) >> 2) != (table & 0x33);
}

QString decodeAnsi(const ByteReader& bytes, qint64 offset, qint64 count) {
    // Code page 1252 differs from Latin-1 only in 0x80..0x9F.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    const ByteReader part = bytes.sub(offset, count);
    QString text;
    text.reserve(part.size());
    for (qint64 i = 0; i < part.size(); ++i) {
        const quint8 b = part.u8(i);
        text.append(QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b)));
    }
    return text;
}

std::optional<Layout> parseWmf(const ByteReader& file, QString* error) {
    auto fail = [&](const char* reason) -> std::optional<Layout> {
        if (error) {
            *error = QString::fromLatin1(reason);
        }
        return std::nullopt;
    };
    Layout layout;
    layout.setup.wmfDefaults = true;
    qint64 at = 0;
    bool placeable = false;
    QRectF box;
    double unitsPerInch = 96;
    if (file.u32(0) == kPlaceableKey) {
        if (!file.has(0, kPlaceableSize)) {
            return fail("The metafile header is truncated.");
        }
        placeable = true;
        box = QRectF(QPointF(file.i16(6), file.i16(8)), QPointF(file.i16(10), file.i16(12)))
                  .normalized();
        // Some writers leave the resolution at zero; twips is what they mean.
        unitsPerInch = file.u16(14) ? file.u16(14) : 1440;
        at = kPlaceableSize;
    }
    if (!file.has(at, kHeaderSize)) {
        return fail("The metafile header is truncated.");
    }
    const quint16 type = file.u16(at);
    const quint16 headerWords = file.u16(at + 2);
    if ((type != 1 && type != 2) || headerWords != kHeaderSize / 2) {
        return fail("This is not a Windows metafile.");
    }
    layout.objectCount = file.u16(at + 10);
    layout.firstRecord = at + kHeaderSize;

    // Walk the records once: every one must fit in the file. A picture without the
    // placeable header gets its frame from the window it sets up for itself.
    std::optional<QPointF> windowOrg;
    std::optional<QPointF> windowExt;
    DrawingExtent extent(layout.objectCount);
    qint64 pos = layout.firstRecord;
    qint64 records = 0;
    while (file.has(pos, kRecordHeader)) {
        const qint64 size = qint64(file.u32(pos)) * 2;
        const quint16 function = file.u16(pos + 4);
        if (size < kRecordHeader || !file.has(pos, size)) {
            return fail("The metafile is truncated or damaged.");
        }
        if (++records > kMaxRecords) {
            return fail("The metafile has too many records.");
        }
        if (function == kEof) {
            pos += size;
            break;
        }
        if (!placeable) {
            extent.record(Record{file.sub(pos, size), function});
        }
        if (function == kSetWindowOrg && !windowOrg && size >= 10) {
            windowOrg = QPointF(file.i16(pos + 8), file.i16(pos + 6));
        } else if (function == kSetWindowExt && !windowExt && size >= 10) {
            windowExt = QPointF(file.i16(pos + 8), file.i16(pos + 6));
        }
        pos += size;
    }
    layout.end = pos;

    if (!placeable || box.isEmpty()) {
        if (windowExt) {
            const QPointF org = windowOrg.value_or(QPointF(0, 0));
            box = QRectF(org, QSizeF(windowExt->x(), windowExt->y())).normalized();
        } else if (!placeable && !extent.box().isEmpty()) {
            // No size of its own: the picture is as large as its drawing.
            box = extent.box();
            layout.setup.windowAtOrigin = true;
        } else {
            return fail("The metafile does not say how large it is.");
        }
    }
    if (box.isEmpty()) {
        return fail("The metafile has no size.");
    }
    layout.setup.frame = box;
    layout.setup.devicePerMmX = unitsPerInch / 25.4;
    layout.setup.devicePerMmY = unitsPerInch / 25.4;
    layout.himetric = QSize(std::max(1, int(std::lround(box.width() * 2540 / unitsPerInch))),
                            std::max(1, int(std::lround(box.height() * 2540 / unitsPerInch))));
    return layout;
}

void playWmf(const ByteReader& file, const Layout& layout, Canvas& canvas) {
    WmfPlayer player(layout, canvas);
    qint64 pos = layout.firstRecord;
    while (pos < layout.end && file.has(pos, kRecordHeader) && !canvas.exhausted()) {
        const qint64 size = qint64(file.u32(pos)) * 2;
        if (size < kRecordHeader || !file.has(pos, size)) {
            break;
        }
        Record record{file.sub(pos, size), file.u16(pos + 4)};
        if (record.function == kEof) {
            break;
        }
        player.play(record);
        pos += size;
    }
}

}  // namespace gv::metafile
