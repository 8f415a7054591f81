#pragma once
// Icon and cursor files (.ico, .cur): the directory and the image it lists with the most
// pixels (then the most colours), as a bitmap with its AND mask or as an embedded PNG.

#include <QByteArrayView>

#include "images/RasterRead.h"

namespace gv {

RasterRead readIcon(QByteArrayView file, qint64 budget);

}  // namespace gv
