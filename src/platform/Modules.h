#pragma once
// The program's own modules: shared objects beside the executable that are loaded on first
// need, so that the libraries behind them cost a start nothing.

#include <QString>

namespace gv {

// The running executable's path (never the overridable program folder: the modules and the
// lock's owner name follow the real file).
QString executablePath();

// Loads the module `fileName` from beside the executable and returns its symbol `entry`, or
// nullptr when either is missing. A loaded module stays loaded for the life of the process.
void* moduleEntry(const char* fileName, const char* entry);

}  // namespace gv
