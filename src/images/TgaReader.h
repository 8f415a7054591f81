#pragma once
// Truevision Targa files (.tga): colour-mapped, true-colour and greyscale images, plain or
// run-length compressed, with their alpha bits, any of the four origins, the image ID field
// and colour maps that start past entry 0.

#include <QByteArrayView>

#include "images/RasterRead.h"

namespace gv {

RasterRead readTga(QByteArrayView file, qint64 budget);

}  // namespace gv
