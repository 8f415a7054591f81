#include "platform/Artwork.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QResource>
#include <QStyle>
#include <QStyleOption>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <functional>

// The program's bitmaps are built into the library; a static library has to register them.
static void registerGlimvaneResources() {
    Q_INIT_RESOURCE(glimvane);
}

namespace gv {
namespace {

// The built-in bitmaps are runs of equal pixels (see decodePixelRuns), filled straight into
// the image: neither an image reader, whose search through every image-format plugin would
// cost the start-up more than the pictures themselves, nor a decompressor, whose work on the
// splash picture and the logo was nearly a tenth of the start-up's. Each is stored at 1x and at
// 2x ("name@2x.rle"); only the one the screen needs is read.
QPixmap builtInPixmap(const QString& name, int scale) {
    static const bool registered = (registerGlimvaneResources(), true);
    Q_UNUSED(registered);
    const QResource resource(QStringLiteral(":/glimvane/images/") + name +
                             (scale == 2 ? QStringLiteral("@2x.rle") : QStringLiteral(".rle")));
    QPixmap pixmap = QPixmap::fromImage(decodePixelRuns(resource.uncompressedData()));
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

// The highest ratio of the screens: a picture made for it is at worst scaled down elsewhere.
int screenPictureScale() {
    return builtInPictureScale(qApp ? qApp->devicePixelRatio() : 1.0);
}

constexpr QColor kInk(40, 70, 120);
constexpr QColor kAccent(230, 150, 40);

QPixmap canvas(int w, int h) {
    QPixmap p(w, h);
    p.fill(Qt::transparent);
    return p;
}

QPen inkPen(qreal width = 2.2) {
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A block arrow across the 32 x 32 canvas, its tip on the left or the right.
void arrow(QPainter& p, bool left) {
    QPainterPath path;
    const qreal d = left ? -1 : 1;
    path.moveTo(16 + 10 * d, 16);
    path.lineTo(16 + 1 * d, 7);
    path.lineTo(16 + 1 * d, 12);
    path.lineTo(16 - 10 * d, 12);
    path.lineTo(16 - 10 * d, 20);
    path.lineTo(16 + 1 * d, 20);
    path.lineTo(16 + 1 * d, 25);
    path.closeSubpath();
    p.setPen(inkPen(1.5));
    p.setBrush(QColor(120, 170, 230));
    p.drawPath(path);
}

void refreshGlyph(QPainter& p, qreal s) {
    p.setPen(inkPen(2.4 * s));
    p.setBrush(Qt::NoBrush);
    const QRectF r(8 * s, 8 * s, 16 * s, 16 * s);
    p.drawArc(r, 40 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(22 * s, 6 * s);
    head.lineTo(24.5 * s, 12.5 * s);
    head.lineTo(18 * s, 12 * s);
    head.closeSubpath();
    p.setBrush(kInk);
    p.drawPath(head);
}

void folderGlyph(QPainter& p, QColor fill) {
    p.setPen(inkPen(1.4));
    p.setBrush(fill);
    QPainterPath path;
    path.moveTo(5, 9);
    path.lineTo(12, 9);
    path.lineTo(14, 11);
    path.lineTo(27, 11);
    path.lineTo(27, 25);
    path.lineTo(5, 25);
    path.closeSubpath();
    p.drawPath(path);
}

void starGlyph(QPainter& p, QPointF c, qreal r) {
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal a = -M_PI / 2 + i * M_PI / 5;
        const qreal rr = (i % 2) ? r * 0.45 : r;
        const QPointF pt(c.x() + rr * std::cos(a), c.y() + rr * std::sin(a));
        i ? path.lineTo(pt) : path.moveTo(pt);
    }
    path.closeSubpath();
    p.setPen(inkPen(1.2));
    p.setBrush(kAccent);
    p.drawPath(path);
}

// The pictures are designed on a 32 x 32 grid and painted when a size is first asked for,
// at that size and device pixel ratio, so they stay sharp on scaled screens and cost nothing
// before they are shown.
class DrawnIconEngine final : public QIconEngine {
public:
    explicit DrawnIconEngine(std::function<void(QPainter&)> draw) : m_draw(std::move(draw)) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(m_draw); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        // Painted on every repaint of its button: a key that costs no formatting.
        const quint64 key = (quint64(quint16(size.width())) << 48) |
                            (quint64(quint16(size.height())) << 32) |
                            (quint64(quint32(qRound(scale * 100))) << 8) | quint64(mode);
        if (const auto it = m_cache.constFind(key); it != m_cache.constEnd()) {
            return *it;
        }
        QPixmap pm = canvas(qRound(size.width() * scale), qRound(size.height() * scale));
        pm.setDevicePixelRatio(scale);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(size.width() / 32.0, size.height() / 32.0);
            m_draw(p);
        }
        if (mode == QIcon::Disabled && qApp) {
            QStyleOption option;
            option.palette = QApplication::palette();
            pm = QApplication::style()->generatedIconPixmap(QIcon::Disabled, pm, &option);
        }
        m_cache.insert(key, pm);
        return pm;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

private:
    std::function<void(QPainter&)> m_draw;
    QHash<quint64, QPixmap> m_cache;
};

QIcon drawnIcon(const std::function<void(QPainter&)>& draw) {
    return QIcon(new DrawnIconEngine(draw));
}

void drawGlyph(QPainter& p, int index) {
    switch (index) {
        case 0:
            arrow(p, true);
            break;
        case 1:
            arrow(p, false);
            break;
        case 2: {  // home
            p.setPen(inkPen(1.6));
            p.setBrush(QColor(250, 235, 200));
            QPainterPath house;
            house.moveTo(16, 5);
            house.lineTo(28, 16);
            house.lineTo(25, 16);
            house.lineTo(25, 27);
            house.lineTo(7, 27);
            house.lineTo(7, 16);
            house.lineTo(4, 16);
            house.closeSubpath();
            p.drawPath(house);
            p.setBrush(kAccent);
            p.drawRect(QRectF(13, 19, 6, 8));
            break;
        }
        case 3:
            refreshGlyph(p, 1.0);
            break;
        case 4:
            folderGlyph(p, QColor(245, 210, 120));
            break;
        case 5: {  // full screen
            p.setPen(inkPen(1.6));
            p.setBrush(QColor(200, 220, 245));
            p.drawRect(QRectF(5, 7, 22, 16));
            p.setPen(inkPen(2.0));
            for (const auto& c :
                 {QPointF(8, 10), QPointF(24, 10), QPointF(8, 20), QPointF(24, 20)}) {
                const qreal dx = c.x() < 16 ? 4 : -4;
                const qreal dy = c.y() < 16 ? 3 : -3;
                p.drawLine(c, c + QPointF(dx, 0));
                p.drawLine(c, c + QPointF(0, dy));
            }
            p.drawLine(QPointF(12, 27), QPointF(20, 27));
            break;
        }
        case 6: {  // display mode: a frame with a picture inside
            p.setPen(inkPen(1.6));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4, 6, 24, 20));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(110, 170, 90));
            QPainterPath hill;
            hill.moveTo(6, 24);
            hill.lineTo(13, 14);
            hill.lineTo(18, 20);
            hill.lineTo(21, 17);
            hill.lineTo(26, 24);
            hill.closeSubpath();
            p.drawPath(hill);
            p.setBrush(kAccent);
            p.drawEllipse(QPointF(22, 11), 2.5, 2.5);
            break;
        }
        case 7: {  // options: a cog
            p.setPen(inkPen(1.4));
            p.setBrush(QColor(190, 200, 215));
            QPainterPath cog;
            for (int i = 0; i < 16; ++i) {
                const qreal a = i * M_PI / 8;
                const qreal r = (i % 2) ? 9.0 : 12.0;
                const QPointF pt(16 + r * std::cos(a), 16 + r * std::sin(a));
                i ? cog.lineTo(pt) : cog.moveTo(pt);
            }
            cog.closeSubpath();
            p.drawPath(cog);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(16, 16), 4, 4);
            break;
        }
        case 8: {  // help
            p.setPen(inkPen(1.6));
            p.setBrush(QColor(120, 170, 230));
            p.drawEllipse(QPointF(16, 16), 12, 12);
            // The question mark drawn as strokes: no font is loaded for it.
            QPainterPath mark;
            mark.moveTo(12, 12.5);
            mark.cubicTo(12, 8, 20, 8, 20, 12.5);
            mark.cubicTo(20, 15.5, 16, 15.5, 16, 19);
            p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(mark);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(16, 23.5), 1.9, 1.9);
            break;
        }
        case 9: {  // capture: a camera
            p.setPen(inkPen(1.5));
            p.setBrush(QColor(90, 100, 120));
            p.drawRoundedRect(QRectF(4, 10, 24, 16), 3, 3);
            p.drawRect(QRectF(11, 7, 9, 4));
            p.setBrush(QColor(170, 210, 250));
            p.drawEllipse(QPointF(16, 18), 5, 5);
            break;
        }
        default:
            break;
    }
}

void drawIconResource(QPainter& p, int id) {
    switch (id) {
        case 101: {  // Best Fit: a picture with arrows pointing inwards
            drawGlyph(p, 6);
            p.setPen(QPen(kAccent, 2.2));
            p.drawLine(QPointF(2, 2), QPointF(8, 8));
            p.drawLine(QPointF(30, 30), QPointF(24, 24));
            break;
        }
        case 102: {  // Actual Size: the picture with "1:1"
            drawGlyph(p, 6);
            // "1:1" drawn as strokes on a light band: no font is loaded for it.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 220));
            p.drawRect(QRectF(6, 6.5, 20, 11));
            p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            for (const qreal x : {10.0, 22.0}) {
                p.drawLine(QPointF(x, 8), QPointF(x, 16));
                p.drawLine(QPointF(x, 8), QPointF(x - 2, 10));
            }
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawEllipse(QPointF(16, 10), 1.2, 1.2);
            p.drawEllipse(QPointF(16, 14.5), 1.2, 1.2);
            break;
        }
        case 103:
            folderGlyph(p, QColor(245, 210, 120));
            break;
        case 104:
            folderGlyph(p, QColor(245, 210, 120));
            starGlyph(p, QPointF(18, 18), 7);
            break;
        case 105: {  // tile mode: four small pictures
            p.setPen(inkPen(1.2));
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 2; ++x) {
                    p.setBrush(QColor(120 + 40 * x, 170, 230 - 40 * y));
                    p.drawRect(QRectF(4 + 13 * x, 4 + 13 * y, 11, 11));
                }
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

QIcon iconResource(int id) {
    return drawnIcon([id](QPainter& p) { drawIconResource(p, id); });
}

int builtInPictureScale(qreal devicePixelRatio) {
    // Nearer of the two; at 1.5 the larger, as scaling down loses no detail.
    return devicePixelRatio >= 1.5 ? 2 : 1;
}

QPixmap logoBitmap() {
    return builtInPixmap(QStringLiteral("logo"), screenPictureScale());
}

QPixmap toolbarLogo() {
    return builtInPixmap(QStringLiteral("toolbar-logo"), screenPictureScale());
}

QPixmap splashPicture() {
    return builtInPixmap(QStringLiteral("splash"), screenPictureScale());
}

QIcon toolbarIcon(int index) {
    return drawnIcon([index](QPainter& p) { drawGlyph(p, index); });
}

namespace {

void drawPanelGlyph(QPainter& p, PanelGlyph glyph) {
    switch (glyph) {
        case PanelGlyph::Close:
            p.setPen(inkPen(3.5));
            p.drawLine(QPointF(9, 9), QPointF(23, 23));
            p.drawLine(QPointF(23, 9), QPointF(9, 23));
            break;
        case PanelGlyph::Refresh:
            refreshGlyph(p, 1.0);
            break;
        case PanelGlyph::Dock:
            p.setPen(inkPen(2.5));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4, 6, 24, 20));
            p.setBrush(QColor(120, 170, 230));
            p.drawRect(QRectF(4, 6, 9, 20));
            break;
        case PanelGlyph::Delete:
            p.setPen(QPen(QColor(190, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 8), QPointF(24, 24));
            p.drawLine(QPointF(24, 8), QPointF(8, 24));
            break;
        case PanelGlyph::Copy:
            p.setPen(inkPen(2.2));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(6, 4, 15, 19));
            p.drawRect(QRectF(12, 10, 15, 19));
            break;
        case PanelGlyph::Move:
            p.setPen(inkPen(2.2));
            p.setBrush(QColor(245, 210, 120));
            p.drawRect(QRectF(4, 12, 14, 14));
            arrow(p, false);
            break;
        case PanelGlyph::Rename:
            p.setPen(inkPen(2.2));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3, 10, 26, 12));
            p.drawLine(QPointF(20, 6), QPointF(20, 26));
            break;
        case PanelGlyph::Folder:
            folderGlyph(p, QColor(245, 210, 120));
            break;
        case PanelGlyph::Favourite:
            starGlyph(p, QPointF(16, 16), 12);
            break;
        case PanelGlyph::Search:
            p.setPen(inkPen(3));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(13, 13), 8, 8);
            p.drawLine(QPointF(19, 19), QPointF(27, 27));
            break;
    }
}

}  // namespace

QIcon panelIcon(PanelGlyph glyph) {
    return drawnIcon([glyph](QPainter& p) { drawPanelGlyph(p, glyph); });
}

QIcon applicationIcon() {
    // The icon's sizes are 64 and 128 pixels, not one size at two ratios: the window manager
    // takes them in device pixels, and QIcon picks the nearest for each size asked for. The
    // larger is read only where a screen is scaled, as the window's icon is set at start.
    QIcon icon(builtInPixmap(QStringLiteral("icon"), 1));
    if (screenPictureScale() == 2) {
        QPixmap large = builtInPixmap(QStringLiteral("icon"), 2);
        large.setDevicePixelRatio(1);
        icon.addPixmap(large);
    }
    return icon;
}

QImage decodePixelRuns(QByteArrayView data) {
    constexpr quint32 kMaxSide = 4096;
    constexpr qsizetype kRunSize = 6;
    if (data.size() < 8) {
        return QImage();
    }
    const quint32 width = qFromBigEndian<quint32>(data.data());
    const quint32 height = qFromBigEndian<quint32>(data.data() + 4);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        return QImage();
    }
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return QImage();
    }
    // Rows of 32-bit pixels carry no padding: the picture is one stretch of pixels.
    auto* pixels = reinterpret_cast<quint32*>(image.bits());
    const qsizetype total = qsizetype(width) * height;
    qsizetype filled = 0;
    for (qsizetype at = 8; at < data.size(); at += kRunSize) {
        if (data.size() - at < kRunSize) {
            return QImage();
        }
        const quint16 count = qFromLittleEndian<quint16>(data.data() + at);
        if (count == 0 || count > total - filled) {
            return QImage();
        }
        std::fill_n(pixels + filled, count, qFromLittleEndian<quint32>(data.data() + at + 2));
        filled += count;
    }
    return filled == total ? image : QImage();
}

namespace {

// Made on the UI thread; the folder model's reader thread only copies the icon.
class FolderTreeIcons final : public QAbstractFileIconProvider {
public:
    FolderTreeIcons() : m_folder(panelIcon(PanelGlyph::Folder)) {}
    QIcon icon(IconType) const override { return m_folder; }
    QIcon icon(const QFileInfo&) const override { return m_folder; }
    QString type(const QFileInfo& info) const override {
        return info.isRoot() ? QStringLiteral("Drive") : QStringLiteral("Folder");
    }

private:
    const QIcon m_folder;
};

}  // namespace

QAbstractFileIconProvider* folderTreeIcons() {
    static FolderTreeIcons icons;
    return &icons;
}

namespace {

class ApplicationStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        // Dialog buttons carry their caption only, as the program's messages were designed:
        // the theme's stock pictures on them are small bitmaps, blurred on a scaled screen.
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (icon != SP_ToolBarHorizontalExtensionButton) {
            return QProxyStyle::standardIcon(icon, option, widget);
        }
        // A double chevron pointing right, as the platform's own.
        QPixmap pm = canvas(16, 16);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(inkPen(1.5));
        for (const qreal x : {4.0, 9.0}) {
            p.drawPolyline(QPolygonF({QPointF(x, 4), QPointF(x + 4, 8), QPointF(x, 12)}));
        }
        return QIcon(pm);
    }
};

}  // namespace

QStyle* applicationStyle() {
    return new ApplicationStyle;
}

}  // namespace gv
