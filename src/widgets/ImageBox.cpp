#include "widgets/ImageBox.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "images/Metafile.h"
#include "platform/Trace.h"
#include "widgets/ViewMath.h"

namespace gv {

ImageBox::ImageBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(false);
}

void ImageBox::setPicture(const Picture& picture) {
    m_picture = picture;
    m_logo = QPixmap();
    m_scaled = QImage();
    m_render.forget();
    m_onScreen = QImage();
    ++m_shown;
    update();
    if (picture.decodingRest()) {
        // Shows the rest as soon as it is decoded; the call is dropped once this box has gone
        // or shows something else.
        std::weak_ptr<int> alive = m_alive;
        const quint64 shown = m_shown;
        picture.whenDecoded([alive, shown, this] {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [alive, shown, this] {
                    if (!alive.lock() || shown != m_shown) {
                        return;
                    }
                    if (m_picture.restFailed()) {
                        Q_EMIT restFailed();
                    } else {
                        update();
                    }
                },
                Qt::QueuedConnection);
        });
    }
}

void ImageBox::setLogo(const QPixmap& logo) {
    ++m_shown;
    m_picture = Picture();
    m_logo = logo;
    m_standIn = logo;
    m_scaled = QImage();
    m_render.forget();
    m_onScreen = QImage();
    update();
}

void ImageBox::clear() {
    ++m_shown;
    m_picture = Picture();
    m_logo = QPixmap();
    m_scaled = QImage();
    m_render.forget();
    m_onScreen = QImage();
    update();
}

QImage ImageBox::shownImage() const {
    if (!m_logo.isNull()) {
        return m_logo.toImage().scaled(size());
    }
    if (m_picture.isNull() || width() <= 0 || height() <= 0) {
        return QImage();
    }
    const qreal ratio = devicePixelRatioF();
    if (ratio != 1.0) {
        // On a scaled screen tiles and copies hold what is seen at the screen's own detail:
        // the device pixels the box covers, at 1:1 the image's own.
        QImage image;
        if (!m_picture.isMetafile() && actualSizeInView(m_picture.sizePixels(), ratio) == size()) {
            image = m_picture.fullRaster();
        } else {
            const QSize devicePixels = (QSizeF(size()) * ratio).toSize();
            if (m_onScreen.size() != devicePixels) {
                m_onScreen = m_picture.render(devicePixels);
            }
            image = m_onScreen;
        }
        image.setDevicePixelRatio(ratio);
        return image;
    }
    if (m_scaled.size() != size()) {
        // Made here, as the caller needs it now (tiles, copies); a paint never gets here
        // for a slow one.
        m_scaled = m_picture.sizePixels() == size() && !m_picture.isMetafile()
                       ? m_picture.fullRaster()
                       : m_picture.render(size());
    }
    return m_scaled;
}

void ImageBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (!m_logo.isNull()) {
        p.drawPixmap(rect(), m_logo);
        return;
    }
    if (m_picture.isNull()) {
        return;
    }
    // The box is in the screen's units; at 1:1 each image pixel is one device pixel, so on a
    // scaled screen the pixels drawn are the exposed part at the screen's ratio.
    const qreal ratio = devicePixelRatioF();
    const bool actualSize =
        !m_picture.isMetafile() && actualSizeInView(m_picture.sizePixels(), ratio) == size();
    const QRect exposed = event->rect();
    const QRect exposedPixels =
        QRectF(QPointF(exposed.topLeft()) * ratio, QSizeF(exposed.size()) * ratio)
            .toAlignedRect()
            .intersected(QRect(QPoint(0, 0), m_picture.sizePixels()));
    const auto drawPixels = [&](QImage pixels) {
        pixels.setDevicePixelRatio(ratio);
        p.drawImage(QPointF(exposedPixels.topLeft()) / ratio, pixels);
    };
    if (actualSize && m_picture.decodingRest()) {
        // At 1:1 while the rest is decoded: the part decoded first covers what the view shows
        // at first; anything beyond it waits for the whole image.
        const QImage part = m_picture.topLeftPart();
        if (part.rect().contains(exposedPixels)) {
            drawPixels(part.copy(exposedPixels));
            // Shown: now the rest, which would have slowed the way to these first pixels.
            m_picture.decodeRestInBackground();
            return;
        }
    }
    if (actualSize) {
        // At 1:1 only the exposed part is painted; a large JPEG makes it from its planes.
        drawPixels(m_picture.region(exposedPixels));
        return;
    }
    if (ratio == 1.0) {
        if (m_scaled.size() != size() && BackgroundRender::slow(m_picture, size())) {
            if (const std::optional<QImage> rendered = m_render.take(m_picture, size())) {
                m_scaled = *rendered;
            } else {
                paintStandIn(p);
                return;
            }
        }
        p.drawImage(0, 0, shownImage());
        return;
    }
    // Scaled on a scaled screen: rendered at the device pixels it covers, so it stays sharp.
    const QSize devicePixels = (QSizeF(size()) * ratio).toSize();
    if (m_onScreen.size() != devicePixels) {
        if (BackgroundRender::slow(m_picture, devicePixels)) {
            const std::optional<QImage> rendered = m_render.take(m_picture, devicePixels);
            if (!rendered) {
                paintStandIn(p);
                return;
            }
            m_onScreen = *rendered;
        } else {
            m_onScreen = m_picture.render(devicePixels);
        }
        m_onScreen.setDevicePixelRatio(ratio);
    }
    p.drawImage(0, 0, m_onScreen);
}

void ImageBox::paintStandIn(QPainter& p) const {
    // Unsmoothed, so it costs what the box's pixels cost, however large the source.
    if (!m_scaled.isNull()) {
        p.drawImage(rect(), m_scaled);
    } else if (!m_picture.isMetafile() && !m_picture.decodingRest() && !m_picture.heldAsPlanes()) {
        p.drawImage(rect(), m_picture.raster());
    } else if (!m_standIn.isNull()) {
        p.drawPixmap(0, 0, m_standIn);
    }
}

void ImageBox::renderArrived() {
    trace(QStringLiteral("rendered: %1x%2").arg(width()).arg(height()));
    update();
}

void ImageBox::mousePressEvent(QMouseEvent* event) {
    Q_EMIT mousePressed(event);
}
void ImageBox::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT mouseMoved(event);
}
void ImageBox::mouseReleaseEvent(QMouseEvent* event) {
    Q_EMIT mouseReleased(event);
}
void ImageBox::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_EMIT mouseDoubleClicked(event);
}

ViewArea::ViewArea(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
}

void ViewArea::setBackground(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
    update();
}

QColor ViewArea::background() const {
    return palette().color(QPalette::Window);
}

void ViewArea::setTile(const QImage& tile) {
    m_tile = tile;
    update();
}

QSize ViewArea::tileGridShown() const {
    // Tiles lie side by side in device pixels: on a scaled screen a tile of an odd number of
    // pixels covers no whole number of units.
    const qreal ratio = m_tile.devicePixelRatio();
    return tiled() ? tileGrid(m_tile.size(), (QSizeF(size()) * ratio).toSize()) : QSize(0, 0);
}

void ViewArea::paintEvent(QPaintEvent* event) {
    if (m_tile.isNull()) {
        return;
    }
    QPainter p(this);
    p.setClipRegion(event->region());
    const qreal ratio = m_tile.devicePixelRatio();
    QImage tile = m_tile;
    tile.setDevicePixelRatio(1);
    p.scale(1 / ratio, 1 / ratio);
    const QSize grid = tileGridShown();
    for (int row = 0; row < grid.height(); ++row) {
        for (int col = 0; col < grid.width(); ++col) {
            p.drawImage(col * tile.width(), row * tile.height(), tile);
        }
    }
}

void ViewArea::mouseReleaseEvent(QMouseEvent* event) {
    Q_EMIT mouseReleased(event);
}
void ViewArea::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_EMIT mouseDoubleClicked(event);
}

}  // namespace gv
