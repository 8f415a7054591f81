#include "images/metafile/Canvas.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEngine>
#include <QPainterPathStroker>
#include <QPolygonF>

#include <cmath>

namespace gv::metafile {

namespace {

// Pen styles, end caps and joins (the PS_* bits).
constexpr quint32 kPsStyleMask = 0x0000000F;
constexpr quint32 kPsDash = 1;
constexpr quint32 kPsDot = 2;
constexpr quint32 kPsDashDot = 3;
constexpr quint32 kPsDashDotDot = 4;
constexpr quint32 kPsNull = 5;
constexpr quint32 kPsAlternate = 8;
constexpr quint32 kPsEndCapMask = 0x00000F00;
constexpr quint32 kPsEndCapSquare = 0x00000100;
constexpr quint32 kPsEndCapFlat = 0x00000200;
constexpr quint32 kPsJoinMask = 0x0000F000;
constexpr quint32 kPsJoinBevel = 0x00001000;
constexpr quint32 kPsJoinMiter = 0x00002000;
constexpr quint32 kPsGeometric = 0x00010000;

// Brush styles and hatches.
constexpr int kBsSolid = 0;
constexpr int kBsNull = 1;
constexpr int kBsHatched = 2;
constexpr int kBsPattern = 3;
constexpr int kBsDibPattern = 5;
constexpr int kBsDibPatternPt = 6;

// Region combination modes.
constexpr int kRgnAnd = 1;
constexpr int kRgnOr = 2;
constexpr int kRgnXor = 3;
constexpr int kRgnDiff = 4;
constexpr int kRgnCopy = 5;

// Text alignment bits.
constexpr quint32 kTaUpdateCp = 0x0001;
constexpr quint32 kTaHorizontalMask = 0x0006;
constexpr quint32 kTaRight = 0x0002;
constexpr quint32 kTaCenter = 0x0006;
constexpr quint32 kTaVerticalMask = 0x0018;
constexpr quint32 kTaBottom = 0x0008;
constexpr quint32 kTaBaseline = 0x0018;

// Raster operations we tell apart.
constexpr quint32 kSrcCopy = 0x00CC0020;
constexpr quint32 kSrcPaint = 0x00EE0086;
constexpr quint32 kSrcAnd = 0x008800C6;
constexpr quint32 kSrcInvert = 0x00660046;
constexpr quint32 kNotSrcCopy = 0x00330008;
constexpr quint32 kPatCopy = 0x00F00021;
constexpr quint32 kPatInvert = 0x005A0049;
constexpr quint32 kDstInvert = 0x00550009;
constexpr quint32 kBlackness = 0x00000042;
constexpr quint32 kWhiteness = 0x00FF0062;

// Output coordinates beyond this are nonsense from a hostile transform; nothing that far
// out can be seen, and the rasteriser should not be asked to try.
constexpr double kMaxCoordinate = 1e8;
// Beyond this many dashes along a path, a dashed pen is drawn solid.
constexpr double kMaxDashes = 100000;

bool finite(const QTransform& t) {
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy()) &&
           std::isfinite(t.m13()) && std::isfinite(t.m23()) && std::isfinite(t.m33());
}

bool sane(const QRectF& r) {
    return std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.right()) &&
           std::isfinite(r.bottom()) && std::abs(r.left()) < kMaxCoordinate &&
           std::abs(r.right()) < kMaxCoordinate && std::abs(r.top()) < kMaxCoordinate &&
           std::abs(r.bottom()) < kMaxCoordinate;
}

QRect roundedRect(const QRectF& r) {
    const QRectF n = r.normalized();
    const int left = int(std::lround(n.left()));
    const int top = int(std::lround(n.top()));
    const int right = int(std::lround(n.right()));
    const int bottom = int(std::lround(n.bottom()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QPainterPath polyPath(const std::vector<QPointF>& points, bool close) {
    QPainterPath path;
    if (points.empty()) {
        return path;
    }
    path.moveTo(points.front());
    for (size_t i = 1; i < points.size(); ++i) {
        path.lineTo(points[i]);
    }
    if (close) {
        path.closeSubpath();
    }
    return path;
}

QFont qtFont(const Font& font) {
    QFont f;
    if (!font.face.isEmpty()) {
        f.setFamilies({font.face});
    }
    switch (font.pitchAndFamily & 0xF0) {
        case 0x10:
            f.setStyleHint(QFont::Serif);
            break;
        case 0x20:
            f.setStyleHint(QFont::SansSerif);
            break;
        case 0x30:
            f.setStyleHint(QFont::Monospace);
            break;
        case 0x40:
            f.setStyleHint(QFont::Cursive);
            break;
        case 0x50:
            f.setStyleHint(QFont::Decorative);
            break;
        default:
            break;
    }
    if ((font.pitchAndFamily & 3) == 1) {
        f.setFixedPitch(true);
    }
    f.setWeight(QFont::Weight(font.weight <= 0 ? 400 : qBound(1, font.weight, 1000)));
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    f.setStrikeOut(font.strikeOut);
    return f;
}

// Sutherland-Hodgman clipping of a polygon against a rectangle, one edge at a time.
QPolygonF clipPolygon(const QPolygonF& polygon, const QRectF& r) {
    QPolygonF current = polygon;
    for (int edge = 0; edge < 4 && !current.isEmpty(); ++edge) {
        auto inside = [&](QPointF p) {
            switch (edge) {
                case 0:
                    return p.x() >= r.left();
                case 1:
                    return p.x() <= r.right();
                case 2:
                    return p.y() >= r.top();
                default:
                    return p.y() <= r.bottom();
            }
        };
        auto cross = [&](QPointF a, QPointF b) {
            double t = 0;
            switch (edge) {
                case 0:
                    t = (r.left() - a.x()) / (b.x() - a.x());
                    break;
                case 1:
                    t = (r.right() - a.x()) / (b.x() - a.x());
                    break;
                case 2:
                    t = (r.top() - a.y()) / (b.y() - a.y());
                    break;
                default:
                    t = (r.bottom() - a.y()) / (b.y() - a.y());
                    break;
            }
            return a + (b - a) * t;
        };
        QPolygonF next;
        next.reserve(current.size() + 4);
        QPointF previous = current.last();
        for (const QPointF& point : current) {
            if (inside(point)) {
                if (!inside(previous)) {
                    next.append(cross(previous, point));
                }
                next.append(point);
            } else if (inside(previous)) {
                next.append(cross(previous, point));
            }
            previous = point;
        }
        current = next;
    }
    return current;
}

}  // namespace

Canvas::Canvas(QPainter& painter, const QRectF& target, const FrameSetup& setup)
    : m_painter(painter), m_target(target), m_setup(setup) {
    const QRectF& f = setup.frame;
    const double sx = target.width() / f.width();
    const double sy = target.height() / f.height();
    m_deviceToOutput = QTransform(sx, 0, 0, sy, target.x() - f.x() * sx, target.y() - f.y() * sy);
    m_baseClip = QRegion(target.toAlignedRect());
    m_rasterOps = painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster;
    if (setup.wmfDefaults) {
        m_state.mapMode = MapMode::Anisotropic;
        m_state.windowOrg = implicitViewportOrg();
        m_state.windowExt = QPointF(f.width(), f.height());
    }
    m_base = painter.transform();
    m_workLimit = kMaxOverdraw * std::max(65536.0, target.width() * target.height());
    m_painter.save();
    updateTransform();
    applyClip();
}

Canvas::~Canvas() {
    m_painter.restore();
}

void Canvas::select(const GdiObject& object) {
    if (const auto* pen = std::get_if<Pen>(&object)) {
        m_state.pen = *pen;
    } else if (const auto* brush = std::get_if<Brush>(&object)) {
        m_state.brush = *brush;
    } else if (const auto* font = std::get_if<Font>(&object)) {
        m_state.font = *font;
    } else if (const auto* region = std::get_if<Region>(&object)) {
        selectClipRegion(&region->area, kRgnCopy);
    }
}

void Canvas::charge(const QRectF& outputBounds) {
    const QRectF seen = outputBounds.normalized() & m_target;
    // Every operation costs something even when nothing of it shows.
    m_work += 64 + seen.width() * seen.height();
}

void Canvas::setPolyFillMode(int mode) {
    m_state.fillRule = mode == 2 ? Qt::WindingFill : Qt::OddEvenFill;
}

// --- Mapping ---------------------------------------------------------------------------

QPointF Canvas::implicitViewportOrg() const {
    return m_setup.windowAtOrigin ? QPointF(0, 0) : m_setup.frame.topLeft();
}

QTransform Canvas::pageToDevice() const {
    const State& s = m_state;
    double sx = 1;
    double sy = 1;
    QPointF viewportOrg = s.viewportOrg;
    auto fixed = [&](double mmPerUnit) {
        sx = mmPerUnit * m_setup.devicePerMmX;
        sy = -mmPerUnit * m_setup.devicePerMmY;
    };
    switch (s.mapMode) {
        case MapMode::Text:
            break;
        case MapMode::LoMetric:
            fixed(0.1);
            break;
        case MapMode::HiMetric:
            fixed(0.01);
            break;
        case MapMode::LoEnglish:
            fixed(0.254);
            break;
        case MapMode::HiEnglish:
            fixed(0.0254);
            break;
        case MapMode::Twips:
            fixed(25.4 / 1440);
            break;
        case MapMode::Isotropic:
        case MapMode::Anisotropic: {
            // A picture that scales itself without naming a viewport means "my window is
            // the whole picture", which is how pictures are played into a frame, unless
            // GDI laid the drawing out with its own viewport.
            QPointF viewportExt = s.viewportExt;
            if (!s.viewportExtSet && !m_setup.gdiViewport) {
                viewportExt = QPointF(m_setup.frame.width(), m_setup.frame.height());
                if (!s.viewportOrgSet) {
                    viewportOrg = implicitViewportOrg();
                }
            }
            sx = viewportExt.x() / s.windowExt.x();
            sy = viewportExt.y() / s.windowExt.y();
            if (s.mapMode == MapMode::Isotropic) {
                const double m = std::min(std::abs(sx), std::abs(sy));
                sx = std::copysign(m, sx);
                sy = std::copysign(m, sy);
            }
            break;
        }
    }
    return QTransform(sx, 0, 0, sy, viewportOrg.x() - s.windowOrg.x() * sx,
                      viewportOrg.y() - s.windowOrg.y() * sy);
}

void Canvas::updateTransform() {
    m_transform = m_state.world * pageToDevice() * m_deviceToOutput;
    const double det = m_transform.determinant();
    m_usable = finite(m_transform) && std::isfinite(det) && det != 0;
}

void Canvas::setMapMode(int mode) {
    if (mode >= int(MapMode::Text) && mode <= int(MapMode::Anisotropic)) {
        m_state.mapMode = MapMode(mode);
        updateTransform();
    }
}

void Canvas::setWindowOrg(QPointF p) {
    m_state.windowOrg = p;
    updateTransform();
}

void Canvas::setWindowExt(QPointF e) {
    if (e.x() != 0 && e.y() != 0) {
        m_state.windowExt = e;
        updateTransform();
    }
}

void Canvas::setViewportOrg(QPointF p) {
    m_state.viewportOrg = p;
    m_state.viewportOrgSet = true;
    updateTransform();
}

void Canvas::setViewportExt(QPointF e) {
    if (e.x() != 0 && e.y() != 0) {
        m_state.viewportExt = e;
        m_state.viewportExtSet = true;
        updateTransform();
    }
}

void Canvas::offsetWindowOrg(QPointF d) {
    setWindowOrg(m_state.windowOrg + d);
}

void Canvas::offsetViewportOrg(QPointF d) {
    const bool implicit =
        !m_state.viewportOrgSet && !m_state.viewportExtSet && !m_setup.gdiViewport &&
        (m_state.mapMode == MapMode::Isotropic || m_state.mapMode == MapMode::Anisotropic);
    setViewportOrg((implicit ? implicitViewportOrg() : m_state.viewportOrg) + d);
}

void Canvas::scaleWindowExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen != 0 && yDen != 0) {
        setWindowExt(
            QPointF(m_state.windowExt.x() * xNum / xDen, m_state.windowExt.y() * yNum / yDen));
    }
}

void Canvas::scaleViewportExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen == 0 || yDen == 0) {
        return;
    }
    QPointF ext = m_state.viewportExt;
    if (!m_state.viewportExtSet && !m_setup.gdiViewport) {
        ext = QPointF(m_setup.frame.width(), m_setup.frame.height());
    }
    setViewportExt(QPointF(ext.x() * xNum / xDen, ext.y() * yNum / yDen));
}

void Canvas::setWorldTransform(const QTransform& t) {
    if (finite(t) && t.determinant() != 0) {
        m_state.world = t;
        updateTransform();
    }
}

void Canvas::modifyWorldTransform(const QTransform& t, int mode) {
    switch (mode) {
        case 1:  // MWT_IDENTITY
            m_state.world.reset();
            break;
        case 2:  // MWT_LEFTMULTIPLY: the new transform applies first
            if (finite(t)) {
                m_state.world = t * m_state.world;
            }
            break;
        case 3:  // MWT_RIGHTMULTIPLY
            if (finite(t)) {
                m_state.world = m_state.world * t;
            }
            break;
        case 4:  // MWT_SET
            setWorldTransform(t);
            return;
        default:
            return;
    }
    if (!finite(m_state.world)) {
        m_state.world.reset();
    }
    updateTransform();
}

// --- State stack -----------------------------------------------------------------------

void Canvas::saveDc() {
    if (m_saved.size() < size_t(kMaxSaveDepth)) {
        m_saved.push_back(m_state);
    }
}

void Canvas::restoreDc(int which) {
    const qint64 depth = qint64(m_saved.size());
    qint64 keep = 0;
    if (which < 0) {
        keep = depth + which;
    } else if (which > 0) {
        keep = qint64(which) - 1;
    } else {
        return;
    }
    if (keep < 0 || keep >= depth) {
        return;
    }
    m_state = m_saved[size_t(keep)];
    m_saved.resize(size_t(keep));
    updateTransform();
    applyClip();
}

// --- Clipping --------------------------------------------------------------------------

void Canvas::applyClip() {
    // Restoring and saving again drops our previous clip and returns to the caller's own.
    m_painter.restore();
    m_painter.save();
    m_painter.setClipRegion(m_state.clipped ? m_state.clip : m_baseClip, Qt::IntersectClip);
}

QRegion Canvas::deviceRect(const QRectF& logical) const {
    if (!m_usable) {
        return {};
    }
    if (m_transform.type() <= QTransform::TxScale) {
        const QRectF r = m_transform.mapRect(logical.normalized());
        return sane(r) ? QRegion(roundedRect(r)) : QRegion();
    }
    QPainterPath path;
    path.addRect(logical.normalized());
    return regionFromPath(m_transform.map(path), Qt::OddEvenFill);
}

QRegion Canvas::regionFromPath(const QPainterPath& outputPath, Qt::FillRule rule) const {
    if (outputPath.isEmpty() || !sane(outputPath.controlPointRect())) {
        return {};
    }
    QPainterPath path = outputPath;
    path.setFillRule(rule);
    QPolygonF polygon = path.toFillPolygon();
    // Scan-converting a polygon costs time in proportion to its height, so what lies
    // beyond the output is cut away first (this keeps the winding of every point inside).
    const QRectF visible = m_target.adjusted(-2, -2, 2, 2);
    if (!visible.contains(polygon.boundingRect())) {
        polygon = clipPolygon(polygon, visible);
    }
    return QRegion(polygon.toPolygon(), rule);
}

void Canvas::combineClip(const QRegion& region, int mode) {
    const QRegion current = m_state.clipped ? m_state.clip : m_baseClip;
    QRegion result;
    switch (mode) {
        case kRgnAnd:
            result = current & region;
            break;
        case kRgnOr:
            result = current | region;
            break;
        case kRgnXor:
            result = current ^ region;
            break;
        case kRgnDiff:
            result = current - region;
            break;
        case kRgnCopy:
            result = region;
            break;
        default:
            return;
    }
    result &= m_baseClip;
    // A region shattered into very many pieces is costly for every later operation.
    if (result.rectCount() > kMaxClipRects) {
        result = QRegion(result.boundingRect());
    }
    m_state.clip = result;
    m_state.clipped = true;
    applyClip();
}

void Canvas::intersectClipRect(const QRectF& r) {
    combineClip(deviceRect(r), kRgnAnd);
}

void Canvas::excludeClipRect(const QRectF& r) {
    combineClip(deviceRect(r), kRgnDiff);
}

void Canvas::offsetClip(QPointF d) {
    if (!m_state.clipped || !m_usable) {
        return;
    }
    const QPointF moved = m_transform.map(d) - m_transform.map(QPointF(0, 0));
    if (!std::isfinite(moved.x()) || !std::isfinite(moved.y()) ||
        std::abs(moved.x()) > kMaxCoordinate || std::abs(moved.y()) > kMaxCoordinate) {
        return;
    }
    m_state.clip.translate(int(std::lround(moved.x())), int(std::lround(moved.y())));
    m_state.clip &= m_baseClip;
    applyClip();
}

QRegion Canvas::regionToOutput(const QRegion& deviceRegion) const {
    QRegion out;
    for (const QRect& r : deviceRegion) {
        const QRectF mapped = m_deviceToOutput.mapRect(QRectF(r));
        if (sane(mapped)) {
            out += roundedRect(mapped);
        }
    }
    return out;
}

void Canvas::selectClipRegion(const QRegion* deviceRegion, int mode) {
    if (!deviceRegion) {
        if (mode == kRgnCopy) {
            m_state.clipped = false;
            m_state.clip = QRegion();
            applyClip();
        }
        return;
    }
    combineClip(regionToOutput(*deviceRegion), mode);
}

void Canvas::selectClipPath(int mode) {
    QPainterPath path = m_path;
    path.setFillRule(m_state.fillRule);
    m_path = QPainterPath();
    m_inPath = false;
    combineClip(regionFromPath(path, m_state.fillRule), mode);
}

// --- Pens, brushes and the actual painting ---------------------------------------------

bool Canvas::hasPen() const {
    return (m_state.pen.style & kPsStyleMask) != kPsNull;
}

bool Canvas::hasBrush() const {
    return m_state.brush.style != kBsNull;
}

double Canvas::penPixels() const {
    const Pen& pen = m_state.pen;
    if (pen.cosmetic) {
        return 0;
    }
    const double scale = std::sqrt(std::abs(m_transform.determinant()));
    const double width = std::abs(pen.width) * scale;
    // GDI never draws a line thinner than a pixel.
    if (!(width >= 1.5)) {
        return 0;
    }
    const double limit = 4 * std::max(m_target.width(), m_target.height()) + 4;
    return std::min(width, limit);
}

QPen Canvas::qtPen(const QPainterPath& devicePath) const {
    const Pen& pen = m_state.pen;
    const quint32 style = pen.style & kPsStyleMask;
    if (style == kPsNull) {
        return Qt::NoPen;
    }
    QPen q(pen.color);
    const double width = penPixels();
    q.setWidthF(width);
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    if (pen.style & kPsGeometric) {
        switch (pen.style & kPsEndCapMask) {
            case kPsEndCapSquare:
                cap = Qt::SquareCap;
                break;
            case kPsEndCapFlat:
                cap = Qt::FlatCap;
                break;
            default:
                break;
        }
        switch (pen.style & kPsJoinMask) {
            case kPsJoinBevel:
                join = Qt::BevelJoin;
                break;
            case kPsJoinMiter:
                join = Qt::MiterJoin;
                break;
            default:
                break;
        }
    }
    q.setCapStyle(cap);
    q.setJoinStyle(join);
    Qt::PenStyle dash = Qt::SolidLine;
    switch (style) {
        case kPsDash:
            dash = Qt::DashLine;
            break;
        case kPsDot:
        case kPsAlternate:
            dash = Qt::DotLine;
            break;
        case kPsDashDot:
            dash = Qt::DashDotLine;
            break;
        case kPsDashDotDot:
            dash = Qt::DashDotDotLine;
            break;
        default:
            break;
    }
    if (dash != Qt::SolidLine) {
        const QRectF b = devicePath.controlPointRect();
        const double extent =
            (b.width() + b.height()) * 2 * std::max<qsizetype>(1, devicePath.elementCount());
        if (extent / std::max(width, 1.0) > kMaxDashes) {
            dash = Qt::SolidLine;
        }
    }
    q.setStyle(dash);
    return q;
}

void Canvas::fillDevice(const QPainterPath& devicePath, const Brush& brush) {
    switch (brush.style) {
        case kBsSolid:
            m_painter.fillPath(devicePath, brush.color);
            break;
        case kBsHatched: {
            if (m_state.bkOpaque) {
                m_painter.fillPath(devicePath, m_state.bkColor);
            }
            static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                          Qt::FDiagPattern, Qt::BDiagPattern,
                                                          Qt::CrossPattern, Qt::DiagCrossPattern};
            const Qt::BrushStyle hatch =
                (brush.hatch >= 0 && brush.hatch < 6) ? kHatches[brush.hatch] : Qt::SolidPattern;
            m_painter.fillPath(devicePath, QBrush(brush.color, hatch));
            break;
        }
        case kBsPattern:
        case kBsDibPattern:
        case kBsDibPatternPt:
            if (brush.pattern.isNull()) {
                m_painter.fillPath(devicePath, brush.color);
            } else {
                m_painter.fillPath(devicePath, QBrush(brush.pattern));
            }
            break;
        default:
            break;
    }
}

void Canvas::paintDevice(const QPainterPath& devicePath, bool fill, bool stroke) {
    if (devicePath.isEmpty() || !sane(devicePath.controlPointRect())) {
        return;
    }
    charge(devicePath.controlPointRect());
    m_painter.setTransform(m_base);
    if (fill && hasBrush()) {
        fillDevice(devicePath, m_state.brush);
    }
    if (stroke && hasPen()) {
        const QPen pen = qtPen(devicePath);
        m_painter.setBrush(Qt::NoBrush);
        if (pen.style() != Qt::SolidLine && m_state.bkOpaque) {
            QPen gaps = pen;
            gaps.setStyle(Qt::SolidLine);
            gaps.setColor(m_state.bkColor);
            m_painter.strokePath(devicePath, gaps);
        }
        m_painter.strokePath(devicePath, pen);
    }
}

void Canvas::appendToPath(const QPainterPath& logical, bool continueFigure) {
    const QPainterPath mapped = m_transform.map(logical);
    if (mapped.isEmpty()) {
        return;
    }
    QPainterPath& path = m_path;
    const QPointF start = mapped.elementAt(0);
    if (continueFigure && !path.isEmpty() &&
        QLineF(path.currentPosition(), start).length() < 1e-6) {
        path.connectPath(mapped);
    } else {
        path.addPath(mapped);
    }
}

void Canvas::paint(const QPainterPath& logical, bool fill, bool stroke) {
    if (!m_usable) {
        return;
    }
    if (m_inPath) {
        appendToPath(logical, !fill);
        return;
    }
    QPainterPath mapped = m_transform.map(logical);
    mapped.setFillRule(logical.fillRule());
    paintDevice(mapped, fill, stroke);
}

// --- Drawing ---------------------------------------------------------------------------

void Canvas::moveTo(QPointF p) {
    m_state.position = p;
}

void Canvas::lineTo(QPointF p) {
    QPainterPath path(m_state.position);
    path.lineTo(p);
    m_state.position = p;
    paint(path, false, true);
}

void Canvas::polyline(const std::vector<QPointF>& points) {
    if (points.size() >= 2) {
        paint(polyPath(points, false), false, true);
    }
}

void Canvas::polylineTo(const std::vector<QPointF>& points) {
    if (points.empty()) {
        return;
    }
    QPainterPath path(m_state.position);
    for (const QPointF& p : points) {
        path.lineTo(p);
    }
    m_state.position = points.back();
    paint(path, false, true);
}

void Canvas::polygon(const std::vector<QPointF>& points) {
    if (points.size() < 2) {
        return;
    }
    QPainterPath path = polyPath(points, true);
    path.setFillRule(m_state.fillRule);
    paint(path, true, true);
}

void Canvas::polyPolygon(const std::vector<std::vector<QPointF>>& polygons) {
    QPainterPath path;
    path.setFillRule(m_state.fillRule);
    for (const auto& points : polygons) {
        if (points.size() >= 2) {
            path.addPath(polyPath(points, true));
        }
    }
    paint(path, true, true);
}

void Canvas::polyPolyline(const std::vector<std::vector<QPointF>>& lines) {
    QPainterPath path;
    for (const auto& points : lines) {
        if (points.size() >= 2) {
            path.addPath(polyPath(points, false));
        }
    }
    paint(path, false, true);
}

void Canvas::polyBezier(const std::vector<QPointF>& points) {
    if (points.size() < 4) {
        return;
    }
    QPainterPath path(points[0]);
    for (size_t i = 1; i + 2 < points.size(); i += 3) {
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    }
    paint(path, false, true);
}

void Canvas::polyBezierTo(const std::vector<QPointF>& points) {
    if (points.size() < 3) {
        return;
    }
    QPainterPath path(m_state.position);
    size_t i = 0;
    for (; i + 2 < points.size(); i += 3) {
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    }
    m_state.position = points[i - 1];
    paint(path, false, true);
}

void Canvas::polyDraw(const std::vector<QPointF>& points, const std::vector<quint8>& types) {
    constexpr quint8 kCloseFigure = 0x01;
    constexpr quint8 kLineTo = 0x02;
    constexpr quint8 kBezierTo = 0x04;
    constexpr quint8 kMoveTo = 0x06;
    QPainterPath path(m_state.position);
    const size_t n = std::min(points.size(), types.size());
    for (size_t i = 0; i < n; ++i) {
        const quint8 type = types[i] & ~kCloseFigure;
        if (type == kMoveTo) {
            path.moveTo(points[i]);
        } else if (type == kLineTo) {
            path.lineTo(points[i]);
        } else if (type == kBezierTo && i + 2 < n) {
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
            i += 2;
        } else {
            continue;
        }
        m_state.position = points[i];
        if (types[i] & kCloseFigure) {
            path.closeSubpath();
        }
    }
    paint(path, false, true);
}

void Canvas::rectangle(const QRectF& r) {
    QPainterPath path;
    path.addRect(r.normalized());
    paint(path, true, true);
}

void Canvas::roundRect(const QRectF& r, QSizeF corner) {
    QPainterPath path;
    path.addRoundedRect(r.normalized(), std::abs(corner.width()) / 2,
                        std::abs(corner.height()) / 2);
    paint(path, true, true);
}

void Canvas::ellipse(const QRectF& r) {
    QPainterPath path;
    path.addEllipse(r.normalized());
    paint(path, true, true);
}

QPainterPath Canvas::arcPath(const QRectF& box, QPointF start, QPointF end, ArcKind kind) const {
    QPainterPath path;
    const QRectF b = box.normalized();
    const double rx = b.width() / 2;
    const double ry = b.height() / 2;
    if (!(rx > 0) || !(ry > 0)) {
        return path;
    }
    const QPointF c = b.center();
    // Qt's arcs take angles on the ellipse's parameter, GDI's the direction of a radial
    // line through the given point; dividing by the radii converts one into the other.
    auto angle = [&](QPointF p) {
        return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / M_PI;
    };
    const double a0 = angle(start);
    const double a1 = angle(end);
    // The direction is counter-clockwise as seen on the output, so a mapping that mirrors
    // the picture reverses it in logical space.
    const bool clockwise = m_state.clockwiseArcs != (m_transform.determinant() < 0);
    double sweep = a1 - a0;
    if (!clockwise) {
        while (sweep <= 0) {
            sweep += 360;
        }
    } else {
        while (sweep >= 0) {
            sweep -= 360;
        }
    }
    const QPointF first(c.x() + rx * std::cos(a0 * M_PI / 180),
                        c.y() - ry * std::sin(a0 * M_PI / 180));
    switch (kind) {
        case ArcKind::Arc:
        case ArcKind::Chord:
            path.moveTo(first);
            path.arcTo(b, a0, sweep);
            if (kind == ArcKind::Chord) {
                path.closeSubpath();
            }
            break;
        case ArcKind::ArcTo:
            path.moveTo(m_state.position);
            path.lineTo(first);
            path.arcTo(b, a0, sweep);
            break;
        case ArcKind::Pie:
            path.moveTo(c);
            path.arcTo(b, a0, sweep);
            path.closeSubpath();
            break;
    }
    return path;
}

void Canvas::arc(const QRectF& box, QPointF start, QPointF end, ArcKind kind) {
    const QPainterPath path = arcPath(box, start, end, kind);
    if (kind == ArcKind::ArcTo && !path.isEmpty()) {
        m_state.position = path.currentPosition();
    }
    const bool closed = kind == ArcKind::Chord || kind == ArcKind::Pie;
    paint(path, closed, true);
}

void Canvas::angleArc(QPointF center, double radius, double startDeg, double sweepDeg) {
    if (!std::isfinite(radius) || !std::isfinite(startDeg) || !std::isfinite(sweepDeg) ||
        std::abs(startDeg) > 1e6 || std::abs(sweepDeg) > 1e6) {
        return;
    }
    const double r = std::abs(radius);
    const QRectF box(center.x() - r, center.y() - r, 2 * r, 2 * r);
    QPainterPath path(m_state.position);
    path.arcTo(box, startDeg, sweepDeg);
    m_state.position = path.currentPosition();
    paint(path, false, true);
}

void Canvas::setPixel(QPointF p, QColor c) {
    if (!m_usable || m_inPath) {
        return;
    }
    const QPointF at = m_transform.map(p);
    const QRectF cell = m_transform.mapRect(QRectF(p, QSizeF(1, 1)));
    if (!sane(cell)) {
        return;
    }
    m_painter.setTransform(m_base);
    m_painter.fillRect(
        QRectF(at, QSizeF(std::max(1.0, cell.width()), std::max(1.0, cell.height()))), c);
}

void Canvas::gradientRect(const QRectF& r, QColor from, QColor to, bool vertical) {
    if (!m_usable || m_inPath) {
        return;
    }
    const QRectF n = r.normalized();
    QPainterPath path;
    path.addRect(n);
    path = m_transform.map(path);
    if (!sane(path.controlPointRect())) {
        return;
    }
    charge(path.controlPointRect());
    const QPointF start = m_transform.map(n.topLeft());
    const QPointF end = m_transform.map(vertical ? n.bottomLeft() : n.topRight());
    QLinearGradient gradient(start, end);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    m_painter.setTransform(m_base);
    m_painter.fillPath(path, gradient);
}

void Canvas::gradientTriangle(const std::vector<QPointF>& points, QColor average) {
    if (!m_usable || m_inPath || points.size() != 3) {
        return;
    }
    QPainterPath path = polyPath(points, true);
    path = m_transform.map(path);
    if (!sane(path.controlPointRect())) {
        return;
    }
    charge(path.controlPointRect());
    m_painter.setTransform(m_base);
    m_painter.fillPath(path, average);
}

void Canvas::fillRegion(const QRegion& deviceRegion, const Brush& brush) {
    QPainterPath path;
    path.addRegion(regionToOutput(deviceRegion));
    if (path.isEmpty()) {
        return;
    }
    charge(path.controlPointRect());
    m_painter.setTransform(m_base);
    fillDevice(path, brush);
}

void Canvas::frameRegion(const QRegion& deviceRegion, const Brush& brush, double w, double h) {
    const QRegion out = regionToOutput(deviceRegion);
    const QPointF size = m_deviceToOutput.map(QPointF(w, h)) - m_deviceToOutput.map(QPointF());
    const int dx = std::max(1, int(std::lround(std::min(std::abs(size.x()), 1e4))));
    const int dy = std::max(1, int(std::lround(std::min(std::abs(size.y()), 1e4))));
    const QRegion inner = out.translated(dx, 0) & out.translated(-dx, 0) & out.translated(0, dy) &
                          out.translated(0, -dy);
    m_painter.setTransform(m_base);
    QPainterPath path;
    path.addRegion(out - inner);
    if (!path.isEmpty()) {
        fillDevice(path, brush);
    }
}

void Canvas::invertRegion(const QRegion& deviceRegion) {
    if (!m_rasterOps) {
        return;
    }
    const QRegion out = regionToOutput(deviceRegion);
    m_painter.setTransform(m_base);
    m_painter.save();
    m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    for (const QRect& r : out) {
        m_painter.fillRect(r, Qt::black);
    }
    m_painter.restore();
}

// --- Text ------------------------------------------------------------------------------

void Canvas::text(QPointF reference, const QString& text, const std::vector<double>& dx,
                  quint32 options, const QRectF* rect, const std::vector<double>& dy) {
    if (!m_usable) {
        return;
    }
    const bool updateCp = (m_state.textAlign & kTaUpdateCp) != 0;
    const QPointF origin = updateCp ? m_state.position : reference;
    QPainterPath rectPath;
    if (rect) {
        rectPath.addRect(rect->normalized());
        rectPath = m_transform.map(rectPath);
        if (!sane(rectPath.controlPointRect())) {
            rect = nullptr;
        }
    }
    if (rect && (options & kEtoOpaque) && !m_inPath) {
        m_painter.setTransform(m_base);
        m_painter.fillPath(rectPath, m_state.bkColor);
    }
    if (text.isEmpty()) {
        return;
    }

    const QPointF at = m_transform.map(origin);
    const QPointF ux = m_transform.map(origin + QPointF(1, 0)) - at;
    const QPointF uy = m_transform.map(origin + QPointF(0, 1)) - at;
    const double sx = std::hypot(ux.x(), ux.y());
    const double sy = std::hypot(uy.x(), uy.y());
    if (!sane(QRectF(at, QSizeF(1, 1)))) {
        return;
    }
    // Text stays upright on the output; only a rotating world transform turns it.
    double angle = 0;
    if (m_transform.type() > QTransform::TxScale) {
        angle = std::atan2(ux.y(), ux.x()) * 180 / M_PI;
    }
    const Font& font = m_state.font;
    QFont qfont = qtFont(font);
    double em = 0;
    if (font.height == 0) {
        // The stock system font: about 16 pixels on the reference device.
        em = 16 * std::abs(m_deviceToOutput.m22());
    } else {
        em = std::abs(font.height) * sy;
        if (font.height > 0) {
            // A positive height is the cell height, which includes the internal leading.
            QFont probe = qfont;
            probe.setPixelSize(100);
            const QFontMetricsF probeMetrics(probe);
            const double cell = probeMetrics.ascent() + probeMetrics.descent();
            if (cell > 0) {
                em = em * 100 / cell;
            }
        }
    }
    if (!(em >= 0.5) || em > kMaxFontPixels) {
        return;
    }
    qfont.setPixelSize(std::max(1, int(std::lround(em))));
    const QFontMetricsF metrics(qfont);

    // Each character's origin from the spacing array: across by dx, up the font by dy.
    std::vector<QPointF> positions;
    double width = 0;
    double rise = 0;
    const bool rises = dy.size() >= size_t(text.size());
    if (!dx.empty() && dx.size() >= size_t(text.size())) {
        positions.reserve(size_t(text.size()));
        for (qsizetype i = 0; i < text.size(); ++i) {
            positions.emplace_back(width, -rise);
            width += dx[size_t(i)] * sx;
            rise += rises ? dy[size_t(i)] * sy : 0;
        }
        if (!std::isfinite(rise) || std::abs(rise) > kMaxCoordinate) {
            return;
        }
    } else {
        width = metrics.horizontalAdvance(text);
    }
    if (!std::isfinite(width) || std::abs(width) > kMaxCoordinate) {
        return;
    }
    double x0 = 0;
    switch (m_state.textAlign & kTaHorizontalMask) {
        case kTaRight:
            x0 = -width;
            break;
        case kTaCenter:
            x0 = -width / 2;
            break;
        default:
            break;
    }
    double baseline = metrics.ascent();
    switch (m_state.textAlign & kTaVerticalMask) {
        case kTaBottom:
            baseline = -metrics.descent();
            break;
        case kTaBaseline:
            baseline = 0;
            break;
        default:
            break;
    }
    if (updateCp && sx > 0) {
        const double advance = width / sx;
        switch (m_state.textAlign & kTaHorizontalMask) {
            case kTaRight:
                m_state.position = origin - QPointF(advance, 0);
                break;
            case kTaCenter:
                break;
            default:
                m_state.position = origin + QPointF(advance, 0);
                break;
        }
    }

    QTransform local;
    local.translate(at.x(), at.y());
    local.rotate(angle - font.escapement / 10.0);

    if (m_inPath) {
        QPainterPath glyphs;
        if (positions.empty()) {
            glyphs.addText(QPointF(x0, baseline), qfont, text);
        } else {
            for (qsizetype i = 0; i < text.size(); ++i) {
                glyphs.addText(positions[size_t(i)] + QPointF(x0, baseline), qfont,
                               QString(text[i]));
            }
        }
        m_path.addPath(local.map(glyphs));
        return;
    }

    charge(local.mapRect(QRectF(x0, baseline - metrics.ascent(), width, metrics.height())));
    m_painter.save();
    m_painter.setTransform(m_base);
    if (rect && (options & kEtoClipped)) {
        m_painter.setClipPath(rectPath, Qt::IntersectClip);
    }
    m_painter.setTransform(local * m_base);
    if (m_state.bkOpaque) {
        m_painter.fillRect(QRectF(x0, baseline - metrics.ascent(), width, metrics.height()),
                           m_state.bkColor);
    }
    m_painter.setFont(qfont);
    m_painter.setPen(m_state.textColor);
    if (positions.empty()) {
        m_painter.drawText(QPointF(x0, baseline), text);
    } else {
        for (qsizetype i = 0; i < text.size(); ++i) {
            qsizetype n = 1;
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                n = 2;
            }
            m_painter.drawText(positions[size_t(i)] + QPointF(x0, baseline), text.mid(i, n));
            i += n - 1;
        }
    }
    m_painter.restore();
}

// --- Bitmaps ---------------------------------------------------------------------------

void Canvas::bitmap(const QRectF& dest, const QImage& image, const QRectF& src, quint32 rop) {
    if (!m_usable || image.isNull() || m_inPath) {
        return;
    }
    if (src.width() == 0 || src.height() == 0 || dest.width() == 0 || dest.height() == 0) {
        return;
    }
    const QRectF visible = src.normalized() & QRectF(image.rect());
    if (visible.isEmpty()) {
        return;
    }
    const double kx = dest.width() / src.width();
    const double ky = dest.height() / src.height();
    const QTransform sourceToLogical(kx, 0, 0, ky, dest.x() - src.x() * kx,
                                     dest.y() - src.y() * ky);
    const QTransform toOutput = sourceToLogical * m_transform;
    if (!finite(toOutput) || !sane(toOutput.mapRect(visible))) {
        return;
    }
    charge(toOutput.mapRect(visible));
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    QImage shown = image;
    switch (rop) {
        case kSrcPaint:
            mode = QPainter::RasterOp_SourceOrDestination;
            break;
        case kSrcAnd:
            mode = QPainter::RasterOp_SourceAndDestination;
            break;
        case kSrcInvert:
            mode = QPainter::RasterOp_SourceXorDestination;
            break;
        case kNotSrcCopy:
            shown.invertPixels();
            break;
        default:
            break;
    }
    if (!m_rasterOps) {
        mode = QPainter::CompositionMode_SourceOver;
    }
    m_painter.save();
    m_painter.setTransform(toOutput * m_base);
    m_painter.setCompositionMode(mode);
    // GDI enlarges bitmaps by repeating pixels; smoothing only helps when shrinking.
    const QRectF shownRect = toOutput.mapRect(QRectF(0, 0, 1, 1));
    if (shownRect.width() >= 1 && shownRect.height() >= 1) {
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
    m_painter.drawImage(visible, shown, visible);
    m_painter.restore();
}

void Canvas::patBlt(const QRectF& dest, quint32 rop) {
    if (!m_usable || m_inPath) {
        return;
    }
    QPainterPath path;
    path.addRect(dest.normalized());
    path = m_transform.map(path);
    if (!sane(path.controlPointRect())) {
        return;
    }
    charge(path.controlPointRect());
    m_painter.setTransform(m_base);
    switch (rop) {
        case kPatCopy:
            fillDevice(path, m_state.brush);
            break;
        case kBlackness:
            m_painter.fillPath(path, Qt::black);
            break;
        case kWhiteness:
            m_painter.fillPath(path, Qt::white);
            break;
        case kDstInvert:
        case kPatInvert:
            if (m_rasterOps) {
                m_painter.save();
                if (rop == kDstInvert) {
                    m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
                    m_painter.fillPath(path, Qt::black);
                } else {
                    m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
                    m_painter.fillPath(path, m_state.brush.color);
                }
                m_painter.restore();
            }
            break;
        default:
            break;
    }
}

// --- Paths -----------------------------------------------------------------------------

void Canvas::beginPath() {
    m_path = QPainterPath();
    m_inPath = true;
}

void Canvas::closeFigure() {
    if (m_inPath) {
        m_path.closeSubpath();
    }
}

void Canvas::abortPath() {
    m_path = QPainterPath();
    m_inPath = false;
}

void Canvas::fillPath() {
    QPainterPath path = m_path;
    path.setFillRule(m_state.fillRule);
    abortPath();
    paintDevice(path, true, false);
}

void Canvas::strokePath() {
    const QPainterPath path = m_path;
    abortPath();
    paintDevice(path, false, true);
}

void Canvas::strokeAndFillPath() {
    QPainterPath path = m_path;
    path.setFillRule(m_state.fillRule);
    abortPath();
    paintDevice(path, true, true);
}

void Canvas::flattenPath() {
    QPainterPath flat;
    for (const QPolygonF& polygon : m_path.toSubpathPolygons()) {
        flat.addPolygon(polygon);
    }
    m_path = flat;
}

void Canvas::widenPath() {
    if (!sane(m_path.controlPointRect())) {
        return;
    }
    QPainterPathStroker stroker(qtPen(m_path));
    stroker.setWidth(std::max(1.0, penPixels()));
    m_path = stroker.createStroke(m_path);
}

// --- EMF+ ------------------------------------------------------------------------------

bool Canvas::plusBegin(const QPainterPath& path, const PlusPaint& how, double margin,
                       QTransform* toOutput) {
    *toOutput = how.toDevice * m_deviceToOutput;
    const double det = toOutput->determinant();
    if (!finite(*toOutput) || !std::isfinite(det) || det == 0) {
        return false;
    }
    const QRectF bounds =
        toOutput->mapRect(path.controlPointRect()).adjusted(-margin, -margin, margin, margin);
    if (path.isEmpty() || !sane(bounds)) {
        return false;
    }
    charge(bounds);
    m_painter.save();  // callers restore: the hints are the caller's again for EMF records
    m_painter.setTransform(*toOutput * m_base);
    m_painter.setRenderHint(QPainter::Antialiasing, how.antialias);
    m_painter.setRenderHint(QPainter::TextAntialiasing, how.textAntialias);
    return true;
}

void Canvas::plusFill(const QPainterPath& path, const QBrush& brush, const PlusPaint& how) {
    QTransform toOutput;
    if (!plusBegin(path, how, 0, &toOutput)) {
        return;
    }
    m_painter.fillPath(path, brush);
    m_painter.restore();
}

void Canvas::plusStroke(const QPainterPath& path, const QPen& pen, const PlusPaint& how) {
    QTransform toOutput;
    const double scale =
        std::sqrt(std::abs(how.toDevice.determinant() * m_deviceToOutput.determinant()));
    const double limit = 4 * std::max(m_target.width(), m_target.height()) + 4;
    if (!(scale > 1e-9) || !std::isfinite(scale)) {
        return;
    }
    QPen shown = pen;
    double pixels = pen.widthF() * scale;
    if (!(pixels >= 1) || !std::isfinite(pixels)) {
        shown.setWidthF(0);  // GDI+ draws thinner pens one pixel wide
        pixels = 1;
    } else if (pixels > limit) {
        shown.setWidthF(limit / scale);
        pixels = limit;
    }
    if (!plusBegin(path, how, pixels, &toOutput)) {
        return;
    }
    if (shown.style() != Qt::SolidLine) {
        const QRectF b = toOutput.mapRect(path.controlPointRect());
        const double extent =
            (b.width() + b.height()) * 2 * std::max<qsizetype>(1, path.elementCount());
        double shortest = 1;
        for (double d : shown.dashPattern()) {
            shortest = std::min(shortest, std::max(d, 0.01));
        }
        if (extent / (pixels * shortest) > kMaxDashes) {
            shown.setStyle(Qt::SolidLine);
        }
    }
    m_painter.strokePath(path, shown);
    m_painter.restore();
}

void Canvas::plusText(const QRectF& layout, const QString& text, QFont font, double em, int flags,
                      const QBrush& brush, const PlusPaint& how,
                      const std::vector<QPointF>* origins) {
    // Text without a layout size runs from its point; its ink lies within a few ems of it.
    QPainterPath box;
    const double reach = std::min(em * (double(text.size()) + 2), 1e7);
    QRectF area = layout.isEmpty() ? QRectF(layout.topLeft(), QSizeF(1, 1)) : layout;
    if (origins) {
        for (const QPointF& p : *origins) {
            area |= QRectF(p, QSizeF(1, 1));
        }
    }
    box.addRect(layout.isEmpty() ? area.adjusted(-reach, -2 * em, reach, 2 * em) : area);
    QTransform toOutput;
    if (text.isEmpty() || !std::isfinite(em) || em <= 0 || !plusBegin(box, how, 0, &toOutput)) {
        return;
    }
    // The font is set up at its size on the output, and the world drawn at that scale.
    // Text stretched far more one way than the other is left out: it would be unreadable,
    // and the glyph rasteriser fails on it.
    const double a = toOutput.m11();
    const double b = toOutput.m12();
    const double c = toOutput.m21();
    const double d = toOutput.m22();
    const double sum = a * a + b * b + c * c + d * d;
    const double det = a * d - b * c;
    const double spread = std::sqrt(std::max(0.0, sum * sum - 4 * det * det));
    const double largest = std::sqrt((sum + spread) / 2);
    const double smallest = std::sqrt(std::max(0.0, (sum - spread) / 2));
    const double k = std::sqrt(std::abs(det));
    const double outputEm = em * k;
    if (!(outputEm >= 0.5) || outputEm > kMaxFontPixels || !(largest <= 4 * smallest)) {
        m_painter.restore();
        return;
    }
    font.setPixelSize(std::max(1, int(std::lround(outputEm))));
    const double f = font.pixelSize() / em;  // scene units per world unit
    m_painter.setTransform(QTransform::fromScale(1 / f, 1 / f) * toOutput * m_base);
    m_painter.setFont(font);
    m_painter.setPen(QPen(brush, 0));
    const QRectF scaled(layout.topLeft() * f, layout.size() * f);
    if (origins && origins->size() == size_t(text.size())) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            m_painter.drawText((*origins)[size_t(i)] * f, QString(text[i]));
        }
    } else if (origins && !origins->empty()) {
        m_painter.drawText(origins->front() * f, text);
    } else if (layout.isEmpty()) {
        m_painter.drawText(QRectF(scaled.topLeft(), QSizeF(0, 0)), flags | Qt::TextDontClip, text);
    } else {
        m_painter.drawText(scaled, flags, text);
    }
    m_painter.restore();
}

void Canvas::plusImage(const QImage& image, const QRectF& source, const QTransform& sourceToWorld,
                       const PlusPaint& how) {
    const QRectF visible = source.normalized() & QRectF(image.rect());
    if (image.isNull() || visible.isEmpty()) {
        return;
    }
    QPainterPath area;
    area.addRect(visible);
    const PlusPaint imageHow{sourceToWorld * how.toDevice, how.antialias, how.textAntialias};
    QTransform toOutput;
    if (!finite(sourceToWorld) || !plusBegin(area, imageHow, 0, &toOutput)) {
        return;
    }
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_painter.drawImage(visible, image, visible);
    m_painter.restore();
}

void Canvas::plusClip(const QPainterPath* path, int mode, const PlusPaint& how) {
    if (!path) {
        m_state.clipped = false;
        m_state.clip = QRegion();
        applyClip();
        return;
    }
    const QTransform toOutput = how.toDevice * m_deviceToOutput;
    if (!finite(toOutput)) {
        return;
    }
    QRegion region = regionFromPath(toOutput.map(*path), path->fillRule());
    if (mode == 6) {  // complement: the new area less the current one
        region -= m_state.clipped ? m_state.clip : m_baseClip;
        mode = kRgnCopy;
    }
    combineClip(region, mode);
}

void Canvas::plusClear(QColor color) {
    m_painter.setTransform(m_base);
    m_painter.fillRect(m_target, color);
    charge(m_target);
}

void Canvas::plusOffsetClip(QPointF deviceOffset) {
    if (!m_state.clipped) {
        return;
    }
    const QPointF moved = m_deviceToOutput.map(deviceOffset) - m_deviceToOutput.map(QPointF());
    if (!std::isfinite(moved.x()) || !std::isfinite(moved.y()) ||
        std::abs(moved.x()) > kMaxCoordinate || std::abs(moved.y()) > kMaxCoordinate) {
        return;
    }
    m_state.clip.translate(int(std::lround(moved.x())), int(std::lround(moved.y())));
    m_state.clip &= m_baseClip;
    applyClip();
}

void Canvas::setClipState(const ClipState& clip) {
    m_state.clipped = clip.clipped;
    m_state.clip = clip.clip;
    applyClip();
}

}  // namespace gv::metafile
