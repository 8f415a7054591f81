#pragma once
// ZSoft Paintbrush files (.pcx): 1 to 8 bits a pixel in 1 to 4 planes, with the header's
// 16-colour palette, the 256-colour palette at the end of the file, or none (monochrome).

#include <QByteArrayView>

#include "images/RasterRead.h"

namespace gv {

RasterRead readPcx(QByteArrayView file, qint64 budget);

}  // namespace gv
