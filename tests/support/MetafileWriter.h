// Writers that build WMF and EMF files record by record, for tests, fuzz seeds and the
// sample folder. They write exactly what they are told, including nonsense, so tests can
// also produce damaged files.

#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTransform>

namespace gvtest {

// How a QImage is stored as a device-independent bitmap.
enum class DibFormat {
    Mono1,         // 1 bpp with a two-colour table
    Palette4,      // 4 bpp
    Palette8,      // 8 bpp
    Rgb555,        // 16 bpp, plain
    Rgb565Fields,  // 16 bpp, BI_BITFIELDS 5-6-5
    Rgb24,         // 24 bpp
    Rgb32,         // 32 bpp, plain
    Bgr32Fields,   // 32 bpp, BI_BITFIELDS with unusual masks
};

// BITMAPINFO (header, masks, colour table) and pixel rows of an image. Paletted formats
// build their table from the image's colours, which must fit.
QByteArray dibInfo(const QImage& image, DibFormat format, bool topDown = false);
QByteArray dibBits(const QImage& image, DibFormat format, bool topDown = false);
// The colours as a bitmap of that format shows them (16-bit formats lose low bits).
QImage dibQuantised(const QImage& image, DibFormat format);

inline constexpr quint32 kSrcCopy = 0x00CC0020;

class WmfWriter final {
public:
    // bounds in logical units at unitsPerInch, written in the placeable header.
    explicit WmfWriter(QRect bounds, int unitsPerInch = 1440, bool placeable = true);

    // A record with its parameter words exactly as stored (most WMF records store the
    // call's arguments last-to-first).
    WmfWriter& record(quint16 function, const QList<qint16>& words);
    WmfWriter& rawRecord(quint16 function, const QByteArray& params);

    WmfWriter& setMapMode(int mode) { return record(0x0103, {qint16(mode)}); }
    WmfWriter& setWindowOrg(QPoint p) { return record(0x020B, yx(p)); }
    WmfWriter& setWindowExt(QSize s) { return record(0x020C, yx({s.width(), s.height()})); }
    WmfWriter& setViewportOrg(QPoint p) { return record(0x020D, yx(p)); }
    WmfWriter& setViewportExt(QSize s) { return record(0x020E, yx({s.width(), s.height()})); }
    WmfWriter& offsetWindowOrg(QPoint d) { return record(0x020F, yx(d)); }
    WmfWriter& scaleWindowExt(int xNum, int xDenom, int yNum, int yDenom) {
        return record(0x0410, yx({yNum, yDenom}) + yx({xNum, xDenom}));
    }
    WmfWriter& scaleViewportExt(int xNum, int xDenom, int yNum, int yDenom) {
        return record(0x0412, yx({yNum, yDenom}) + yx({xNum, xDenom}));
    }

    // Objects go to the lowest free slot, which these return.
    int createPen(int style, int width, QColor color);
    int createBrush(int style, QColor color, int hatch = 0);
    int createFont(int height, const QString& face, int weight = 400, bool italic = false,
                   bool underline = false, int escapement = 0);
    int createDibPatternBrush(const QImage& pattern);
    WmfWriter& selectObject(int index) { return record(0x012D, {qint16(index)}); }
    WmfWriter& deleteObject(int index);

    WmfWriter& setTextColor(QColor c) { return record(0x0209, colorWords(c)); }
    WmfWriter& setBkColor(QColor c) { return record(0x0201, colorWords(c)); }
    WmfWriter& setBkMode(int mode) { return record(0x0102, {qint16(mode), 0}); }
    WmfWriter& setTextAlign(int align) { return record(0x012E, {qint16(align), 0}); }
    WmfWriter& setPolyFillMode(int mode) { return record(0x0106, {qint16(mode), 0}); }

    WmfWriter& moveTo(QPoint p) { return record(0x0214, yx(p)); }
    WmfWriter& lineTo(QPoint p) { return record(0x0213, yx(p)); }
    // Rectangles as QRect(x, y, w, h): GDI's right and bottom are x + w and y + h.
    WmfWriter& rectangle(QRect r) { return rect4(0x041B, r); }
    WmfWriter& roundRect(QRect r, QSize corner) {
        return rect4(0x061C, r, yx({corner.width(), corner.height()}));
    }
    WmfWriter& ellipse(QRect r) { return rect4(0x0418, r); }
    WmfWriter& arc(QRect r, QPoint start, QPoint end) {
        return rect4(0x0817, r, yx(end) + yx(start));
    }
    WmfWriter& pie(QRect r, QPoint start, QPoint end) {
        return rect4(0x081A, r, yx(end) + yx(start));
    }
    WmfWriter& chord(QRect r, QPoint s, QPoint e) { return rect4(0x0830, r, yx(e) + yx(s)); }
    WmfWriter& polygon(const QList<QPoint>& points) { return poly(0x0324, points); }
    WmfWriter& polyline(const QList<QPoint>& points) { return poly(0x0325, points); }
    WmfWriter& polyPolygon(const QList<QList<QPoint>>& polygons);
    WmfWriter& textOut(QPoint p, const QByteArray& text);
    WmfWriter& extTextOut(QPoint p, const QByteArray& text, int options = 0, QRect rect = {},
                          const QList<qint16>& dx = {});

    WmfWriter& saveDc() { return record(0x001E, {}); }
    WmfWriter& restoreDc(int which = -1) { return record(0x0127, {qint16(which)}); }
    WmfWriter& intersectClipRect(QRect r) { return rect4(0x0416, r); }
    WmfWriter& excludeClipRect(QRect r) { return rect4(0x0415, r); }

    WmfWriter& stretchDib(QRect dest, const QImage& image, DibFormat format,
                          quint32 rop = kSrcCopy);
    WmfWriter& dibStretchBlt(QRect dest, const QImage& image, DibFormat format);
    WmfWriter& dibBitBlt(QPoint dest, const QImage& image, DibFormat format);

    // Forces the object count in the header (normally the highest slot used plus one).
    WmfWriter& setObjectCount(int count) {
        m_objectCount = count;
        return *this;
    }
    // The finished file, with the end record and the header totals.
    QByteArray finish() const;

private:
    // Parameter words of a point or pair: y (or the second) first.
    static QList<qint16> yx(QPoint p) { return {qint16(p.y()), qint16(p.x())}; }
    static QList<qint16> colorWords(QColor c);
    int allocate();
    WmfWriter& rect4(quint16 function, QRect r, const QList<qint16>& before = {});
    WmfWriter& poly(quint16 function, const QList<QPoint>& points);

    QRect m_bounds;
    int m_unitsPerInch;
    bool m_placeable;
    QByteArray m_records;
    quint32 m_maxRecordWords = 3;
    QList<bool> m_slots;
    int m_objectCount = -1;
};

class EmfWriter final {
public:
    // frame in HIMETRIC; the reference device is devicePixels over deviceMm millimetres.
    explicit EmfWriter(QRect frameHimetric, QSize devicePixels = {1000, 1000},
                       QSize deviceMm = {250, 250});

    // A record whose payload follows the type and size.
    EmfWriter& record(quint32 type, const QByteArray& payload);

    EmfWriter& setMapMode(int mode) { return words(17, {mode}); }
    EmfWriter& setWindowOrg(QPoint p) { return words(10, {p.x(), p.y()}); }
    EmfWriter& setWindowExt(QSize s) { return words(9, {s.width(), s.height()}); }
    EmfWriter& setViewportOrg(QPoint p) { return words(12, {p.x(), p.y()}); }
    EmfWriter& setViewportExt(QSize s) { return words(11, {s.width(), s.height()}); }
    EmfWriter& scaleWindowExt(int xNum, int xDenom, int yNum, int yDenom) {
        return words(32, {xNum, xDenom, yNum, yDenom});
    }
    EmfWriter& scaleViewportExt(int xNum, int xDenom, int yNum, int yDenom) {
        return words(31, {xNum, xDenom, yNum, yDenom});
    }
    EmfWriter& setWorldTransform(const QTransform& t);
    EmfWriter& modifyWorldTransform(const QTransform& t, int mode);

    EmfWriter& createPen(quint32 index, int style, int width, QColor color);
    EmfWriter& extCreatePen(quint32 index, quint32 style, int width, QColor color);
    EmfWriter& createBrush(quint32 index, int style, QColor color, int hatch = 0);
    EmfWriter& createDibPatternBrush(quint32 index, const QImage& pattern);
    EmfWriter& createFont(quint32 index, int height, const QString& face, int weight = 400,
                          bool italic = false, bool underline = false, int escapement = 0);
    EmfWriter& selectObject(quint32 index) { return words(37, {qint32(index)}); }
    EmfWriter& selectStockObject(int stock) { return selectObject(0x80000000u | quint32(stock)); }
    EmfWriter& deleteObject(quint32 index) { return words(40, {qint32(index)}); }

    EmfWriter& setTextColor(QColor c) { return words(24, {colorRef(c)}); }
    EmfWriter& setBkColor(QColor c) { return words(25, {colorRef(c)}); }
    EmfWriter& setBkMode(int mode) { return words(18, {mode}); }
    EmfWriter& setTextAlign(int align) { return words(22, {align}); }
    EmfWriter& setPolyFillMode(int mode) { return words(19, {mode}); }

    EmfWriter& moveTo(QPoint p) { return words(27, {p.x(), p.y()}); }
    EmfWriter& lineTo(QPoint p) { return words(54, {p.x(), p.y()}); }
    EmfWriter& rectangle(QRect r) { return words(43, ltrb(r)); }
    EmfWriter& roundRect(QRect r, QSize c) { return words(44, ltrb(r) << c.width() << c.height()); }
    EmfWriter& ellipse(QRect r) { return words(42, ltrb(r)); }
    EmfWriter& arc(QRect r, QPoint start, QPoint end) { return arcLike(45, r, start, end); }
    EmfWriter& chord(QRect r, QPoint start, QPoint end) { return arcLike(46, r, start, end); }
    EmfWriter& pie(QRect r, QPoint start, QPoint end) { return arcLike(47, r, start, end); }
    EmfWriter& arcTo(QRect r, QPoint start, QPoint end) { return arcLike(55, r, start, end); }
    // Poly-shapes in 32-bit points, or 16-bit ones when small.
    EmfWriter& polygon(const QList<QPoint>& p, bool small = false) { return points(3, p, small); }
    EmfWriter& polyline(const QList<QPoint>& p, bool small = false) { return points(4, p, small); }
    EmfWriter& polylineTo(const QList<QPoint>& p, bool small = false) {
        return points(6, p, small);
    }
    EmfWriter& polyBezier(const QList<QPoint>& p, bool small = false) {
        return points(2, p, small);
    }
    EmfWriter& polyBezierTo(const QList<QPoint>& p, bool small = false) {
        return points(5, p, small);
    }
    EmfWriter& polyPolygon(const QList<QList<QPoint>>& polygons, bool small = false);
    // A poly-shape record with a point count that need not match the points written.
    EmfWriter& pointsRecord(quint32 type, quint32 count, const QList<QPoint>& points);

    EmfWriter& beginPath() { return words(59, {}); }
    EmfWriter& endPath() { return words(60, {}); }
    EmfWriter& closeFigure() { return words(61, {}); }
    EmfWriter& fillPath() { return words(62, {0, 0, 0, 0}); }
    EmfWriter& strokeAndFillPath() { return words(63, {0, 0, 0, 0}); }
    EmfWriter& strokePath() { return words(64, {0, 0, 0, 0}); }
    EmfWriter& selectClipPath(int mode) { return words(67, {mode}); }

    EmfWriter& saveDc() { return words(33, {}); }
    EmfWriter& restoreDc(int which = -1) { return words(34, {which}); }
    EmfWriter& intersectClipRect(QRect r) { return words(30, ltrb(r)); }
    EmfWriter& excludeClipRect(QRect r) { return words(29, ltrb(r)); }
    // Region rectangles in reference device pixels; an empty list with mode 5 (RGN_COPY)
    // removes clipping.
    EmfWriter& extSelectClipRgn(const QList<QRect>& rects, int mode);

    EmfWriter& extTextOutW(QPoint p, const QString& text, int options = 0, QRect rect = {},
                           const QList<qint32>& dx = {});
    EmfWriter& extTextOutA(QPoint p, const QByteArray& text, const QList<qint32>& dx = {});

    EmfWriter& stretchDiBits(QRect dest, const QImage& image, DibFormat format, QRect src = {},
                             quint32 rop = kSrcCopy, bool topDown = false);
    EmfWriter& bitBlt(QRect dest, const QImage& image, DibFormat format, quint32 rop = kSrcCopy);
    EmfWriter& setDiBitsToDevice(QPoint dest, const QImage& image, DibFormat format);
    // A rectangle shading from one colour to the other (GRADIENT_FILL_RECT_H or _V).
    EmfWriter& gradientFillRect(QRect r, QColor from, QColor to, bool vertical);

    // Forces nHandles in the header (normally the highest index used plus one).
    EmfWriter& setHandleCount(int count) {
        m_handles = count;
        return *this;
    }
    // Bounds in device pixels, inclusive, written instead of those of the frame.
    EmfWriter& setBounds(QRect inclusive) {
        m_bounds = inclusive;
        return *this;
    }
    QByteArray finish() const;

private:
    static QList<qint32> ltrb(QRect r) {
        return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
    }
    static qint32 colorRef(QColor c) { return c.red() | c.green() << 8 | c.blue() << 16; }
    // A record of 32-bit words.
    EmfWriter& words(quint32 type, const QList<qint32>& values);
    EmfWriter& arcLike(quint32 type, QRect r, QPoint s, QPoint e) {
        return words(type, ltrb(r) << s.x() << s.y() << e.x() << e.y());
    }
    EmfWriter& points(quint32 type, const QList<QPoint>& points, bool small);
    static QByteArray dibOffsets(qint32 infoAt, const QByteArray& info, const QByteArray& bits);
    EmfWriter& extText(quint32 type, QPoint p, QByteArray chars, int count, int options, QRect rect,
                       const QList<qint32>& dx);
    void useHandle(quint32 index);

    QRect m_frame;
    QSize m_devicePixels;
    QSize m_deviceMm;
    QByteArray m_records;
    quint32 m_recordCount = 0;
    int m_handles = 1;
    QRect m_bounds;
};

// EMF+ records (GDI+ drawing), each written into the EMF as an EMR_COMMENT record of its
// own. The constructor writes the EMF+ header; endOfFile() the EMF+ end.
class EmfPlusWriter final {
public:
    enum class Points { Float, Int16, Relative };
    // A brush argument: an object id, or a solid colour.
    struct Brush {
        Brush(int id) : value(quint32(id)) {}
        Brush(QColor c) : value(c.rgba()), solid(true) {}
        quint32 value;
        bool solid = false;
    };

    explicit EmfPlusWriter(EmfWriter& emf, bool dual = true, int dpi = 96);

    EmfPlusWriter& record(quint16 type, quint16 flags, const QByteArray& data);
    // An object record, split over `pieces` continued records when asked.
    EmfPlusWriter& object(int id, int type, const QByteArray& data, int pieces = 1);
    EmfPlusWriter& solidBrush(int id, QColor c);
    EmfPlusWriter& hatchBrush(int id, int style, QColor fore, QColor back);
    EmfPlusWriter& linearBrush(int id, QRectF rect, QColor start, QColor end);
    EmfPlusWriter& pathBrush(int id, QPointF center, QColor centerColor,
                             const QList<QPointF>& boundary, QColor surround);
    EmfPlusWriter& pen(int id, float width, QColor c, int lineStyle = 0);
    // Path point types: 0 start, 1 line, 3 Bezier; 0x80 closes the figure.
    EmfPlusWriter& path(int id, const QList<QPointF>& points, const QList<quint8>& types,
                        Points form = Points::Float);
    EmfPlusWriter& font(int id, float emSize, const QString& family, int unit = 2);
    EmfPlusWriter& stringFormat(int id, int align, int lineAlign);
    EmfPlusWriter& bitmap(int id, const QImage& image, bool png = false, int pieces = 1);
    // An image object holding a whole WMF or EMF file.
    EmfPlusWriter& metafileImage(int id, const QByteArray& file, bool emf);

    EmfPlusWriter& fillRects(Brush b, const QList<QRectF>& rects, bool int16 = false);
    EmfPlusWriter& drawRects(int pen, const QList<QRectF>& rects);
    EmfPlusWriter& fillPolygon(Brush b, const QList<QPointF>& points, Points form = Points::Float);
    EmfPlusWriter& drawLines(int pen, const QList<QPointF>& points, bool closed = false,
                             Points form = Points::Float);
    EmfPlusWriter& fillEllipse(Brush b, QRectF r);
    EmfPlusWriter& drawEllipse(int pen, QRectF r);
    // type 0x4010 FillPie (with brush), 0x4011 DrawPie, 0x4012 DrawArc (with pen)
    EmfPlusWriter& pie(quint16 type, Brush brushOrPen, float start, float sweep, QRectF r);
    EmfPlusWriter& fillPath(Brush b, int path);
    EmfPlusWriter& drawPath(int pen, int path);
    EmfPlusWriter& drawString(Brush b, int font, const QString& text, QRectF layout,
                              int format = 255);
    // Characters (not glyph numbers), each at its baseline origin.
    EmfPlusWriter& drawDriverString(Brush b, int font, const QString& text,
                                    const QList<QPointF>& origins);
    EmfPlusWriter& drawImage(int image, QRectF source, QRectF dest);
    EmfPlusWriter& drawImagePoints(int image, QRectF source, const QList<QPointF>& three);

    EmfPlusWriter& setWorldTransform(const QTransform& t);
    EmfPlusWriter& resetWorldTransform() { return record(0x402B, 0, {}); }
    // type 0x402C multiply (6 values), 0x402D translate, 0x402E scale (2), 0x402F rotate (1)
    EmfPlusWriter& transform(quint16 type, const QList<float>& values, bool append = false);
    EmfPlusWriter& setPageTransform(int unit, float scale);
    EmfPlusWriter& save(int index);
    EmfPlusWriter& restore(int index);
    EmfPlusWriter& setClipRect(QRectF r, int mode = 0);
    EmfPlusWriter& setClipPath(int path, int mode = 0) {
        return record(0x4033, quint16((mode << 8) | path), {});
    }
    EmfPlusWriter& resetClip() { return record(0x4031, 0, {}); }
    EmfPlusWriter& setAntiAlias(bool on) { return record(0x401E, on ? 0x0009 : 0, {}); }
    EmfPlusWriter& getDc() { return record(0x4004, 0, {}); }
    EmfPlusWriter& endOfFile() { return record(0x4002, 0, {}); }

private:
    EmfWriter& m_emf;
};

// Small colourful pictures (shapes, text, a bitmap) for the sample folder and fuzz seeds.
QByteArray sampleWmf();
QByteArray sampleEmf();
// GDI+ drawing (gradients, a hatch, dashes, text, a bitmap) in EMF+ records.
QByteArray sampleEmfPlus();

}  // namespace gvtest
