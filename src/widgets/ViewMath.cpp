#include "widgets/ViewMath.h"

#include <cmath>

namespace gv {
namespace {

// round(a * b) \ c with whole numbers, as the fitted side is computed.
int scaledSide(int fitted, int numerator, int denominator) {
    const qint64 product = static_cast<qint64>(fitted) * numerator;
    return denominator > 0 ? static_cast<int>(product / denominator) : 0;
}

}  // namespace

FitResult bestFit(const QSize& image, const QSize& view) {
    const int W = image.width();
    const int H = image.height();
    const int vw = view.width();
    const int vh = view.height();
    FitResult r;
    if (W <= vw && H <= vh) {
        r.size = image;
        r.origin = actualSizeOrigin(image, view);
        return r;
    }
    bool fitWidth = false;
    if (W > vw && H <= vh) {
        fitWidth = true;
    } else if (H > vh && W <= vw) {
        fitWidth = false;
    } else if (W - vw > H - vh) {
        fitWidth = scaledSide(vw, H, W) < vh;
    } else {
        fitWidth = !(scaledSide(vh, W, H) < vw);
    }
    r.scaled = true;
    if (fitWidth) {
        r.size = QSize(vw, scaledSide(vw, H, W));
        r.origin = QPointF(0, (vh - r.size.height()) / 2.0);
    } else {
        r.size = QSize(scaledSide(vh, W, H), vh);
        r.origin = QPointF((vw - r.size.width()) / 2.0, 0);
    }
    return r;
}

QPointF actualSizeOrigin(const QSize& image, const QSize& view) {
    return QPointF(image.width() < view.width() ? (view.width() - image.width()) / 2.0 : 0,
                   image.height() < view.height() ? (view.height() - image.height()) / 2.0 : 0);
}

QSize actualSizeInView(const QSize& image, double ratio) {
    if (ratio <= 0) {
        return image;
    }
    // A ratio such as 1.25 carries a rounding error; it must not add a unit to an exact fit.
    const auto side = [ratio](int pixels) {
        return static_cast<int>(std::ceil(pixels / ratio - 1e-6));
    };
    return QSize(side(image.width()), side(image.height()));
}

QSize tileGrid(const QSize& tile, const QSize& view) {
    if (tile.width() <= 0 || tile.height() <= 0) {
        return QSize(0, 0);
    }
    return QSize((view.width() + tile.width() - 1) / tile.width(),
                 (view.height() + tile.height() - 1) / tile.height());
}

int dragScrollValue(int value, int minimum, int maximum, double start, double pointer,
                    int divisor) {
    if (divisor <= 0) {
        return value;
    }
    int next = value;
    if (pointer > start) {
        next = value - static_cast<int>(std::lround(pointer - start)) / divisor;
    } else {
        next = value + static_cast<int>(std::lround(start - pointer)) / divisor;
    }
    return (next < minimum || next > maximum) ? value : next;
}

QRect devicePixelRect(const QRect& r, double ratio) {
    if (ratio == 1.0 || ratio <= 0) {
        return r;
    }
    return QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio).toAlignedRect();
}

QRect selectionRect(const QPoint& start, const QPoint& pointer, const QSize& image) {
    const int right = qMin(pointer.x(), image.width());
    const int bottom = qMin(pointer.y(), image.height());
    return QRect(start, QSize(right - start.x(), bottom - start.y()));
}

}  // namespace gv
