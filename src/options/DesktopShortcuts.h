#pragma once
// Desktop launchers for the program and its update program.

#include <QString>

namespace gv {

// Writes an executable launcher named `name` for `target` into the desktop folder; returns
// the launcher's path, or an empty string when it could not be written.
QString CreateDesktopShortcut(const QString& target, const QString& name,
                              const QString& desktopFolder = QString());

}  // namespace gv
