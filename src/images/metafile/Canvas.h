// The drawing state the metafile records change (objects, colours, mapping, clipping, paths)
// and the drawing operations they call, in the terms both metafile flavours share. Geometry
// arrives in logical units and is mapped to the painter's device pixels here, so pens,
// hatches and text sizes follow GDI's device-space rules.

#pragma once

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <variant>
#include <vector>

#include "images/metafile/Layout.h"

namespace gv::metafile {

enum class MapMode {
    Text = 1,
    LoMetric = 2,
    HiMetric = 3,
    LoEnglish = 4,
    HiEnglish = 5,
    Twips = 6,
    Isotropic = 7,
    Anisotropic = 8,
};

struct Pen final {
    quint32 style = 0;  // PS_* style, end cap, join and type bits
    double width = 0;   // logical units; 0 is one device pixel
    QColor color = Qt::black;
    bool cosmetic = false;  // ExtCreatePen cosmetic pens are always one pixel wide
};

struct Brush final {
    int style = 0;  // BS_*
    QColor color = Qt::white;
    int hatch = 0;
    QImage pattern;
};

struct Font final {
    double height = 0;   // negative: character height; positive: cell height
    int escapement = 0;  // tenths of a degree, counter-clockwise
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charSet = 0;
    int pitchAndFamily = 0;
    QString face;
};

// Regions are kept as rectangles in device units of the picture.
struct Region final {
    QRegion area;
};

struct Placeholder final {};

using GdiObject = std::variant<Pen, Brush, Font, Region, Placeholder>;

class Canvas final {
public:
    static constexpr int kMaxSaveDepth = 1024;
    static constexpr double kMaxFontPixels = 8192;
    static constexpr int kMaxClipRects = 4000;
    static constexpr double kMaxOverdraw = 256;

    Canvas(QPainter& painter, const QRectF& target, const FrameSetup& setup);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // True once the picture has painted far more than any real picture would (hundreds of
    // times its own area); players stop there so a hostile file cannot run for hours.
    bool exhausted() const { return m_work > m_workLimit; }

    // Objects
    void select(const GdiObject& object);
    void setPen(const Pen& pen) { m_state.pen = pen; }
    void setBrush(const Brush& brush) { m_state.brush = brush; }
    void setFont(const Font& font) { m_state.font = font; }

    // Attributes
    void setTextColor(QColor c) { m_state.textColor = c; }
    void setBkColor(QColor c) { m_state.bkColor = c; }
    void setBkMode(int mode) { m_state.bkOpaque = mode == 2; }
    void setTextAlign(quint32 align) { m_state.textAlign = align; }
    void setPolyFillMode(int mode);
    void setArcDirection(int direction) { m_state.clockwiseArcs = direction == 2; }
    const Brush& brush() const { return m_state.brush; }

    // Mapping
    void setMapMode(int mode);
    void setWindowOrg(QPointF p);
    void setWindowExt(QPointF e);
    void setViewportOrg(QPointF p);
    void setViewportExt(QPointF e);
    void offsetWindowOrg(QPointF d);
    void offsetViewportOrg(QPointF d);
    void scaleWindowExt(double xNum, double xDen, double yNum, double yDen);
    void scaleViewportExt(double xNum, double xDen, double yNum, double yDen);
    void setWorldTransform(const QTransform& t);
    void modifyWorldTransform(const QTransform& t, int mode);

    // State stack
    void saveDc();
    void restoreDc(int which);

    // Clipping, in logical units unless said otherwise
    void intersectClipRect(const QRectF& r);
    void excludeClipRect(const QRectF& r);
    void offsetClip(QPointF d);
    // Region rectangles in reference device units; mode is RGN_AND/OR/XOR/DIFF/COPY.
    void selectClipRegion(const QRegion* deviceRegion, int mode);
    void selectClipPath(int mode);

    // Current position
    void moveTo(QPointF p);
    QPointF currentPosition() const { return m_state.position; }

    // Drawing
    void lineTo(QPointF p);
    void polyline(const std::vector<QPointF>& points);
    void polylineTo(const std::vector<QPointF>& points);
    void polygon(const std::vector<QPointF>& points);
    void polyPolygon(const std::vector<std::vector<QPointF>>& polygons);
    void polyPolyline(const std::vector<std::vector<QPointF>>& lines);
    void polyBezier(const std::vector<QPointF>& points);
    void polyBezierTo(const std::vector<QPointF>& points);
    void polyDraw(const std::vector<QPointF>& points, const std::vector<quint8>& types);
    void rectangle(const QRectF& r);
    void roundRect(const QRectF& r, QSizeF corner);
    void ellipse(const QRectF& r);
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    void arc(const QRectF& box, QPointF start, QPointF end, ArcKind kind);
    void angleArc(QPointF center, double radius, double startDeg, double sweepDeg);
    void setPixel(QPointF p, QColor c);
    // A rectangle shading from one colour to another, left to right or top to bottom.
    void gradientRect(const QRectF& r, QColor from, QColor to, bool vertical);
    // A triangle of three vertex colours, shown in their average colour.
    void gradientTriangle(const std::vector<QPointF>& points, QColor average);
    void fillRegion(const QRegion& deviceRegion, const Brush& brush);
    void frameRegion(const QRegion& deviceRegion, const Brush& brush, double w, double h);
    void invertRegion(const QRegion& deviceRegion);

    // Text; dx holds per-character advances in logical units, or is empty; dy, where
    // given, how far each character's successor rises along the font's vertical.
    static constexpr quint32 kEtoOpaque = 0x0002;
    static constexpr quint32 kEtoClipped = 0x0004;
    void text(QPointF reference, const QString& text, const std::vector<double>& dx,
              quint32 options, const QRectF* rect, const std::vector<double>& dy = {});

    // Bitmaps. src is in bitmap pixels from the top-left; dest in logical units.
    void bitmap(const QRectF& dest, const QImage& image, const QRectF& src, quint32 rop);
    void patBlt(const QRectF& dest, quint32 rop);

    // Paths
    void beginPath();
    void endPath() { m_inPath = false; }
    void closeFigure();
    void abortPath();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void flattenPath();
    void widenPath();

    // EMF+ drawing. Geometry is in EMF+ world units; `toDevice` takes it to the picture's
    // reference device units (the EMF+ world and page transforms); pens and brushes are
    // ready Qt ones in world units.
    struct PlusPaint final {
        QTransform toDevice;
        bool antialias = true;
        bool textAntialias = true;
    };
    void plusFill(const QPainterPath& path, const QBrush& brush, const PlusPaint& how);
    void plusStroke(const QPainterPath& path, const QPen& pen, const PlusPaint& how);
    // Text laid out in a world rectangle (a point where it has no size) with Qt alignment
    // flags, in a font of em world units; or, with origins, each character on its own
    // baseline origin (one origin: the whole text from there).
    void plusText(const QRectF& layout, const QString& text, QFont font, double em, int flags,
                  const QBrush& brush, const PlusPaint& how,
                  const std::vector<QPointF>* origins = nullptr);
    // The part `source` of the image, placed by sourceToWorld (image pixels to world).
    void plusImage(const QImage& image, const QRectF& source, const QTransform& sourceToWorld,
                   const PlusPaint& how);
    // Combines a world path with the clip (RGN_* modes); no path: no clipping at all.
    void plusClip(const QPainterPath* path, int mode, const PlusPaint& how);
    void plusClear(QColor color);
    void plusOffsetClip(QPointF deviceOffset);
    struct ClipState final {
        bool clipped = false;
        QRegion clip;
    };
    ClipState clipState() const { return {m_state.clipped, m_state.clip}; }
    void setClipState(const ClipState& clip);

private:
    bool plusBegin(const QPainterPath& path, const PlusPaint& how, double margin,
                   QTransform* toOutput);

    struct State final {
        Pen pen;
        Brush brush;
        Font font;
        QColor textColor = Qt::black;
        QColor bkColor = Qt::white;
        bool bkOpaque = true;
        quint32 textAlign = 0;
        Qt::FillRule fillRule = Qt::OddEvenFill;
        bool clockwiseArcs = false;
        MapMode mapMode = MapMode::Text;
        QPointF windowOrg{0, 0};
        QPointF windowExt{1, 1};
        QPointF viewportOrg{0, 0};
        QPointF viewportExt{1, 1};
        bool viewportOrgSet = false;
        bool viewportExtSet = false;
        QTransform world;
        QPointF position;
        bool clipped = false;
        QRegion clip;  // output pixels
    };

    void charge(const QRectF& outputBounds);
    void updateTransform();
    QTransform pageToDevice() const;
    QPointF implicitViewportOrg() const;
    double penPixels() const;
    QPen qtPen(const QPainterPath& devicePath) const;
    bool hasPen() const;
    bool hasBrush() const;
    void fillDevice(const QPainterPath& devicePath, const Brush& brush);
    void paint(const QPainterPath& logical, bool fill, bool stroke);
    void paintDevice(const QPainterPath& devicePath, bool fill, bool stroke);
    void appendToPath(const QPainterPath& logical, bool continueFigure);
    void applyClip();
    QRegion deviceRect(const QRectF& logical) const;
    QRegion regionFromPath(const QPainterPath& outputPath, Qt::FillRule rule) const;
    void combineClip(const QRegion& region, int mode);
    QRegion regionToOutput(const QRegion& deviceRegion) const;
    QPainterPath arcPath(const QRectF& box, QPointF start, QPointF end, ArcKind kind) const;

    QPainter& m_painter;
    QRectF m_target;
    FrameSetup m_setup;
    QTransform m_deviceToOutput;
    QTransform m_base;  // the caller's own painter transform
    QRegion m_baseClip;
    State m_state;
    std::vector<State> m_saved;
    // The path under construction stays out of the saved states: copies of a growing path
    // in every saved state would let a small file use memory quadratic in its size.
    bool m_inPath = false;
    QPainterPath m_path;     // output pixels
    QTransform m_transform;  // logical to output pixels
    bool m_usable = false;
    bool m_rasterOps = false;
    double m_work = 0;
    double m_workLimit = 0;
};

}  // namespace gv::metafile
