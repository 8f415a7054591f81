#pragma once
// Screen metrics: the screen size in pixels and the twips per pixel.

#include <QRect>
#include <QSize>

class QWidget;

namespace gv {

QSize screenSizePx();
double twipsPerPixelX();
double twipsPerPixelY();
// The monitor that holds the widget's window (its geometry on the desktop); a full-screen
// window covers this monitor only.
QRect monitorOf(const QWidget* widget);
// Returns once the display has drawn all that the program has sent it so far (one round trip to
// the X server); at once where there is no X server.
void waitForDisplay();
// Tests pretend another screen size; an empty size removes the override.
void overrideScreenSize(const QSize& size);

}  // namespace gv
