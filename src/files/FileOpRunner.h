#pragma once
// Runs a file operation on a thread of its own while the program's windows stay responsive:
// the progress window comes up when the work takes longer than half a second (unless
// silent), questions and errors are shown on the user-interface thread through the Dialogs
// service, and the user's input to the other windows is held back until the work has ended.

#include "files/FileOpEngine.h"

class QWidget;

namespace gv {

inline constexpr int kProgressDelayMs = 500;
inline constexpr int kProgressIntervalMs = 100;

FileOpOutcome runFileOperation(const FileOpRequest& request, QWidget* owner);

}  // namespace gv
