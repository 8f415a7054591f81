#pragma once
// The error a class raises when its caller misuses it: a number in the object-error range,
// the class's name and an English description.

#include <QString>

namespace gv {

inline constexpr int kObjectErrorBase = static_cast<int>(0x80040000u);

struct ObjectError {
    int number = 0;
    QString source;
    QString description;
};

}  // namespace gv
