#include "images/Orientation.h"

#include <QTransform>

namespace gv {

bool orientationSwapsAxes(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

QSize orientedSize(QSize stored, int orientation) {
    return orientationSwapsAxes(orientation) ? stored.transposed() : stored;
}

QImage applyOrientation(const QImage& stored, int orientation) {
    switch (orientation) {
        case 2:
            return stored.mirrored(true, false);
        case 3:
            return stored.mirrored(true, true);
        case 4:
            return stored.mirrored(false, true);
        default:
            break;
    }
    if (!orientationSwapsAxes(orientation)) {
        return stored;
    }
    // Qt turns by whole quarters without resampling; 5 and 7 are a quarter turn mirrored.
    const int degrees = orientation == 5 || orientation == 6 ? 90 : 270;
    QImage turned = stored.transformed(QTransform().rotate(degrees));
    if (orientation == 5 || orientation == 7) {
        turned = turned.mirrored(true, false);
    }
    turned.setDotsPerMeterX(stored.dotsPerMeterY());
    turned.setDotsPerMeterY(stored.dotsPerMeterX());
    return turned;
}

QRect storedRect(const QRect& shown, QSize stored, int orientation) {
    const int w = stored.width();
    const int h = stored.height();
    const QSize upright = orientedSize(stored, orientation);
    const int W = upright.width();
    const int H = upright.height();
    // The shown rectangle's edges as half-open ranges, taken back through the turn.
    const int x0 = shown.left();
    const int x1 = shown.left() + shown.width();
    const int y0 = shown.top();
    const int y1 = shown.top() + shown.height();
    switch (orientation) {
        case 2:
            return QRect(w - x1, y0, x1 - x0, y1 - y0);
        case 3:
            return QRect(w - x1, h - y1, x1 - x0, y1 - y0);
        case 4:
            return QRect(x0, h - y1, x1 - x0, y1 - y0);
        case 5:  // stored (x, y) shows at (y, x)
            return QRect(y0, x0, y1 - y0, x1 - x0);
        case 6:  // stored (x, y) shows at (W - 1 - y, x)
            return QRect(y0, W - x1, y1 - y0, x1 - x0);
        case 7:  // at (W - 1 - y, H - 1 - x)
            return QRect(H - y1, W - x1, y1 - y0, x1 - x0);
        case 8:  // at (y, H - 1 - x)
            return QRect(H - y1, x0, y1 - y0, x1 - x0);
        default:
            return shown;
    }
}

}  // namespace gv
