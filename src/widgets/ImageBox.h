#pragma once
// The two painted surfaces of the image view: the view itself (`Picture1`), which shows the
// background colour or the tiles, and the image box (`Image1`), which paints the shown picture
// at whatever size the display mode gave it.

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <memory>

#include "images/BackgroundRender.h"
#include "images/Picture.h"

namespace gv {

class ImageBox final : public QWidget {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);

    void setPicture(const Picture& picture);
    void setLogo(const QPixmap& logo);
    const Picture& picture() const { return m_picture; }
    bool showsLogo() const { return !m_logo.isNull(); }
    void clear();
    // The image as shown now, at the box's size (what tiles and copies are made of).
    QImage shownImage() const;

Q_SIGNALS:
    void mousePressed(QMouseEvent* event);
    void mouseMoved(QMouseEvent* event);
    void mouseReleased(QMouseEvent* event);
    void mouseDoubleClicked(QMouseEvent* event);
    // The rest of the picture shown turned out not to be decodable: it holds nothing now.
    void restFailed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Shown while the picture is rendered at the box's size.
    void paintStandIn(QPainter& p) const;
    void renderArrived();

    Picture m_picture;
    QPixmap m_logo;
    // The picture rendered at the box's size, kept while the size stays.
    mutable QImage m_scaled;
    // What stands in while a slow render is made: the last logo shown.
    QPixmap m_standIn;
    // Slow renders (metafiles, huge rasters scaled) are made here, never in a paint.
    mutable BackgroundRender m_render{this, [this] { renderArrived(); }};
    // The same at the device pixels of a scaled screen.
    mutable QImage m_onScreen;
    // Lives as long as the box: calls queued from a decoding thread check it first.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    // Counts what the box was given to show, so that such a call for an earlier picture is
    // dropped.
    quint64 m_shown = 0;
};

class ViewArea final : public QWidget {
    Q_OBJECT
public:
    explicit ViewArea(QWidget* parent = nullptr);

    void setBackground(const QColor& colour);
    QColor background() const;
    // Tiles of the image over the whole view; a null image ends tiling.
    void setTile(const QImage& tile);
    bool tiled() const { return !m_tile.isNull(); }
    // Columns and rows of tiles that cover the view.
    QSize tileGridShown() const;

Q_SIGNALS:
    void mouseReleased(QMouseEvent* event);
    void mouseDoubleClicked(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_tile;
};

}  // namespace gv
