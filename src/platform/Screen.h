#pragma once
// Screen metrics: the screen size in pixels and the twips per pixel.

#include <QSize>

namespace gv {

QSize screenSizePx();
double twipsPerPixelX();
double twipsPerPixelY();
// Tests pretend another screen size; an empty size removes the override.
void overrideScreenSize(const QSize& size);

}  // namespace gv
