#pragma once
// A diagnostic trace of the program's major events (hand-over, activation, start-up
// steps). Written only when $GLIMVANE_TRACE names a file; costs nothing otherwise.

#include <QString>

namespace gv {

bool traceEnabled();
void trace(const QString& line);

}  // namespace gv
