#pragma once
// The arithmetic of the image view: Best Fit sizes, tiling, dragging and the selection
// rectangle, free of widgets so that it can be checked directly.

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

namespace gv {

struct FitResult {
    QSize size;      // the shown size
    QPointF origin;  // the image's top-left corner inside the view (halves where it centres)
    bool scaled = false;
};

// Best Fit of an image of `image` pixels into a view of `view` pixels.
FitResult bestFit(const QSize& image, const QSize& view);

// Actual Size: the image at 1:1, centred along each axis where it is smaller than the view.
QPointF actualSizeOrigin(const QSize& image, const QSize& view);

// An image's size in the view's units at 1:1, one image pixel to one device pixel, on a screen
// of `ratio` device pixels to the unit (2 at 200 %); a last odd pixel takes a whole unit.
QSize actualSizeInView(const QSize& image, double ratio);

// Number of tile columns and rows that cover the view (the last ones clipped).
QSize tileGrid(const QSize& tile, const QSize& view);

// The new scroll value after a drag move: the distance from the start point divided by the
// divisor moves the view; nullopt-like -1 when the value would leave the range.
int dragScrollValue(int value, int minimum, int maximum, double start, double pointer, int divisor);

// A rectangle in the view's units as the device pixels it covers on a screen of `ratio`.
QRect devicePixelRect(const QRect& r, double ratio);

// The selection rectangle from the start point to the pointer, ending at the image's edge.
QRect selectionRect(const QPoint& start, const QPoint& pointer, const QSize& image);

}  // namespace gv
