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

    WmfWriter& setMapMode(int mode);
    WmfWriter& setWindowOrg(QPoint p);
    WmfWriter& setWindowExt(QSize s);
    WmfWriter& setViewportOrg(QPoint p);
    WmfWriter& setViewportExt(QSize s);
    WmfWriter& offsetWindowOrg(QPoint d);
    WmfWriter& offsetViewportOrg(QPoint d);
    WmfWriter& scaleWindowExt(int xNum, int xDenom, int yNum, int yDenom);
    WmfWriter& scaleViewportExt(int xNum, int xDenom, int yNum, int yDenom);

    // Objects go to the lowest free slot, which these return.
    int createPen(int style, int width, QColor color);
    int createBrush(int style, QColor color, int hatch = 0);
    int createFont(int height, const QString& face, int weight = 400, bool italic = false,
                   bool underline = false, int escapement = 0);
    int createPalette();
    int createDibPatternBrush(const QImage& pattern);
    WmfWriter& selectObject(int index);
    WmfWriter& deleteObject(int index);

    WmfWriter& setTextColor(QColor c);
    WmfWriter& setBkColor(QColor c);
    WmfWriter& setBkMode(int mode);
    WmfWriter& setTextAlign(int align);
    WmfWriter& setPolyFillMode(int mode);

    WmfWriter& moveTo(QPoint p);
    WmfWriter& lineTo(QPoint p);
    // Rectangles as QRect(x, y, w, h): GDI's right and bottom are x + w and y + h.
    WmfWriter& rectangle(QRect r);
    WmfWriter& roundRect(QRect r, QSize corner);
    WmfWriter& ellipse(QRect r);
    WmfWriter& arc(QRect r, QPoint start, QPoint end);
    WmfWriter& pie(QRect r, QPoint start, QPoint end);
    WmfWriter& chord(QRect r, QPoint start, QPoint end);
    WmfWriter& polygon(const QList<QPoint>& points);
    WmfWriter& polyline(const QList<QPoint>& points);
    WmfWriter& polyPolygon(const QList<QList<QPoint>>& polygons);
    WmfWriter& textOut(QPoint p, const QByteArray& text);
    WmfWriter& extTextOut(QPoint p, const QByteArray& text, int options = 0, QRect rect = {},
                          const QList<qint16>& dx = {});

    WmfWriter& saveDc();
    WmfWriter& restoreDc(int which = -1);
    WmfWriter& intersectClipRect(QRect r);
    WmfWriter& excludeClipRect(QRect r);

    WmfWriter& stretchDib(QRect dest, const QImage& image, DibFormat format,
                          quint32 rop = kSrcCopy);
    WmfWriter& dibStretchBlt(QRect dest, const QImage& image, DibFormat format);
    WmfWriter& dibBitBlt(QPoint dest, const QImage& image, DibFormat format);
    WmfWriter& patBlt(QRect dest, quint32 rop);

    // Forces the object count in the header (normally the highest slot used plus one).
    WmfWriter& setObjectCount(int count);
    // The finished file, with the end record and the header totals.
    QByteArray finish() const;

private:
    int allocate();
    WmfWriter& rect4(quint16 function, QRect r, const QList<qint16>& before = {});

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

    EmfWriter& setMapMode(int mode);
    EmfWriter& setWindowOrg(QPoint p);
    EmfWriter& setWindowExt(QSize s);
    EmfWriter& setViewportOrg(QPoint p);
    EmfWriter& setViewportExt(QSize s);
    EmfWriter& scaleWindowExt(int xNum, int xDenom, int yNum, int yDenom);
    EmfWriter& scaleViewportExt(int xNum, int xDenom, int yNum, int yDenom);
    EmfWriter& setWorldTransform(const QTransform& t);
    EmfWriter& modifyWorldTransform(const QTransform& t, int mode);

    EmfWriter& createPen(quint32 index, int style, int width, QColor color);
    EmfWriter& extCreatePen(quint32 index, quint32 style, int width, QColor color);
    EmfWriter& createBrush(quint32 index, int style, QColor color, int hatch = 0);
    EmfWriter& createDibPatternBrush(quint32 index, const QImage& pattern);
    EmfWriter& createFont(quint32 index, int height, const QString& face, int weight = 400,
                          bool italic = false, bool underline = false, int escapement = 0);
    EmfWriter& selectObject(quint32 index);
    EmfWriter& selectStockObject(int stock) { return selectObject(0x80000000u | quint32(stock)); }
    EmfWriter& deleteObject(quint32 index);

    EmfWriter& setTextColor(QColor c);
    EmfWriter& setBkColor(QColor c);
    EmfWriter& setBkMode(int mode);
    EmfWriter& setTextAlign(int align);
    EmfWriter& setPolyFillMode(int mode);

    EmfWriter& moveTo(QPoint p);
    EmfWriter& lineTo(QPoint p);
    EmfWriter& rectangle(QRect r);
    EmfWriter& roundRect(QRect r, QSize corner);
    EmfWriter& ellipse(QRect r);
    EmfWriter& arc(QRect r, QPoint start, QPoint end);
    EmfWriter& chord(QRect r, QPoint start, QPoint end);
    EmfWriter& pie(QRect r, QPoint start, QPoint end);
    EmfWriter& arcTo(QRect r, QPoint start, QPoint end);
    EmfWriter& polygon(const QList<QPoint>& points, bool small = false);
    EmfWriter& polyline(const QList<QPoint>& points, bool small = false);
    EmfWriter& polylineTo(const QList<QPoint>& points, bool small = false);
    EmfWriter& polyBezier(const QList<QPoint>& points, bool small = false);
    EmfWriter& polyBezierTo(const QList<QPoint>& points, bool small = false);
    EmfWriter& polyPolygon(const QList<QList<QPoint>>& polygons, bool small = false);
    // A poly-shape record with a point count that need not match the points written.
    EmfWriter& pointsRecord(quint32 type, quint32 count, const QList<QPoint>& points);

    EmfWriter& beginPath();
    EmfWriter& endPath();
    EmfWriter& closeFigure();
    EmfWriter& fillPath();
    EmfWriter& strokePath();
    EmfWriter& strokeAndFillPath();
    EmfWriter& selectClipPath(int mode);

    EmfWriter& saveDc();
    EmfWriter& restoreDc(int which = -1);
    EmfWriter& intersectClipRect(QRect r);
    EmfWriter& excludeClipRect(QRect r);
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
    EmfWriter& setHandleCount(int count);
    // Bounds in device pixels, inclusive, written instead of those of the frame.
    EmfWriter& setBounds(QRect inclusive);
    QByteArray finish() const;

private:
    EmfWriter& points(quint32 type, const QList<QPoint>& points, bool small);
    EmfWriter& extText(quint32 type, QPoint p, QByteArray chars, int count, int options, QRect rect,
                       const QList<qint32>& dx);
    void useHandle(quint32 index);

    QRect m_frame;
    QSize m_devicePixels;
    QSize m_deviceMm;
    QByteArray m_records;
    quint32 m_recordCount = 0;
    int m_handles = 1;
    bool m_handlesForced = false;
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

    EmfPlusWriter& clear(QColor c);
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
    EmfPlusWriter& resetWorldTransform();
    // type 0x402C multiply (6 values), 0x402D translate, 0x402E scale (2), 0x402F rotate (1)
    EmfPlusWriter& transform(quint16 type, const QList<float>& values, bool append = false);
    EmfPlusWriter& setPageTransform(int unit, float scale);
    EmfPlusWriter& save(int index);
    EmfPlusWriter& restore(int index);
    EmfPlusWriter& setClipRect(QRectF r, int mode = 0);
    EmfPlusWriter& setClipPath(int path, int mode = 0);
    EmfPlusWriter& resetClip();
    EmfPlusWriter& setAntiAlias(bool on);
    EmfPlusWriter& getDc();
    EmfPlusWriter& endOfFile();

private:
    EmfWriter& m_emf;
};

// Small colourful pictures (shapes, text, a bitmap) for the sample folder and fuzz seeds.
QByteArray sampleWmf();
QByteArray sampleEmf();
// GDI+ drawing (gradients, a hatch, dashes, text, a bitmap) in EMF+ records.
QByteArray sampleEmfPlus();

}  // namespace gvtest
